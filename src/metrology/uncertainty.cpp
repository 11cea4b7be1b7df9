#include "metrology/uncertainty.h"

#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>

#include <cmath>

namespace metrology {

double rectangular(double halfWidth) { return std::abs(halfWidth) / std::sqrt(3.0); }

double resolutionTerm(double resolution) { return std::abs(resolution) / (2.0 * std::sqrt(3.0)); }

std::optional<TypeA> typeA(const std::vector<double> &samples)
{
    const std::size_t n = samples.size();
    if (n < 2)
        return std::nullopt;
    double sum = 0.0;
    for (double x : samples) {
        if (!std::isfinite(x))
            return std::nullopt;
        sum += x;
    }
    const double mean = sum / double(n);
    double squares = 0.0;
    for (double x : samples)
        squares += (x - mean) * (x - mean);
    const double s = std::sqrt(squares / double(n - 1));
    return TypeA{mean, s, s / std::sqrt(double(n)), double(n - 1)};
}

static double combinedVariance(const std::vector<Contribution> &items)
{
    double sum = 0.0;
    for (const Contribution &c : items)
        sum += c.standardUncertainty * c.standardUncertainty;
    return sum;
}

double effectiveDegreesOfFreedom(const std::vector<Contribution> &items)
{
    double denominator = 0.0;
    for (const Contribution &c : items) {
        if (std::isinf(c.degreesOfFreedom) || c.standardUncertainty == 0.0)
            continue;
        const double u2 = c.standardUncertainty * c.standardUncertainty;
        denominator += u2 * u2 / c.degreesOfFreedom;
    }
    if (denominator == 0.0)
        return std::numeric_limits<double>::infinity();
    const double variance = combinedVariance(items);
    return variance * variance / denominator;
}

// A degree of freedom or probability out of domain gives NaN, not an exception.
using QuietPolicy = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::errno_on_error>,
    boost::math::policies::overflow_error<boost::math::policies::errno_on_error>>;

double coverageFactor(double degreesOfFreedom, double probability)
{
    const double tail = (1.0 + probability) / 2.0;
    if (std::isinf(degreesOfFreedom) && degreesOfFreedom > 0)
        return boost::math::quantile(boost::math::normal_distribution<double, QuietPolicy>(), tail);
    return boost::math::quantile(
        boost::math::students_t_distribution<double, QuietPolicy>(degreesOfFreedom), tail);
}

Combined combine(const std::vector<Contribution> &items, double probability)
{
    const double u = std::sqrt(combinedVariance(items));
    const double nu = effectiveDegreesOfFreedom(items);
    const double k = coverageFactor(nu, probability);
    double biases = 0.0;
    for (const Contribution &c : items)
        biases += std::abs(c.bias);
    return Combined{u, nu, k, k * u + biases, probability};
}

} // namespace metrology
