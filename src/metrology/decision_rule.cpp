#include "metrology/decision_rule.h"

#include <cmath>

namespace metrology {

namespace {

// A tolerance and an error typed or computed to the same decimals must meet
// at the edge, not miss it by the last bit of a double.
bool within(double magnitude, double limit)
{
    constexpr double grid = 1e9;
    static_assert(kDecisionDecimals == 9, "the grid is 10^-kDecisionDecimals");
    if (!(std::abs(magnitude) < 1e6 && std::abs(limit) < 1e6))
        return magnitude <= limit;
    return std::llround(magnitude * grid) <= std::llround(limit * grid);
}

double guardBand(const DecisionRule &rule, double expanded)
{
    return rule.kind == DecisionRule::Kind::Simple ? 0.0 : rule.guardFactor * expanded;
}

bool usable(const DecisionRule &rule, double error, double tolerance, double expanded)
{
    return std::isfinite(error) && std::isfinite(tolerance) && tolerance > 0.0 && std::isfinite(expanded)
        && expanded >= 0.0 && std::isfinite(rule.guardFactor) && rule.guardFactor >= 0.0;
}

} // namespace

std::optional<double> acceptanceLimit(const DecisionRule &rule, double tolerance, double expanded)
{
    if (!usable(rule, 0.0, tolerance, expanded) || (expanded > 0.0 && within(tolerance, expanded)))
        return std::nullopt;
    const double limit = tolerance - guardBand(rule, expanded);
    if (within(limit, 0.0))
        return std::nullopt;
    return limit;
}

Decision decide(const DecisionRule &rule, double error, double tolerance, double expanded)
{
    if (!usable(rule, error, tolerance, expanded))
        return Decision::Fail;
    const double e = std::abs(error);
    const double w = guardBand(rule, expanded);
    const auto limit = acceptanceLimit(rule, tolerance, expanded);
    if (rule.kind == DecisionRule::Kind::NonBinary) {
        if (limit && within(e, *limit))
            return Decision::Pass;
        if (within(e, tolerance))
            return Decision::ConditionalPass;
        return within(e, tolerance + w) ? Decision::ConditionalFail : Decision::Fail;
    }
    if (limit && within(e, *limit))
        return Decision::Pass;
    return !limit && within(e, tolerance) ? Decision::CannotPass : Decision::Fail;
}

double specificFalseAcceptRisk(const DecisionRule &rule, double coverageFactor)
{
    const double r = rule.kind == DecisionRule::Kind::Simple ? 0.0 : rule.guardFactor;
    return 0.5 * std::erfc(r * coverageFactor / std::sqrt(2.0));
}

std::string ruleKey(DecisionRule::Kind kind)
{
    switch (kind) {
    case DecisionRule::Kind::Simple: return "simple acceptance";
    case DecisionRule::Kind::NonBinary: return "non-binary";
    case DecisionRule::Kind::Guarded: break;
    }
    return "guarded acceptance";
}

std::optional<DecisionRule::Kind> ruleKind(const std::string &key)
{
    for (auto k : {DecisionRule::Kind::Simple, DecisionRule::Kind::Guarded, DecisionRule::Kind::NonBinary})
        if (ruleKey(k) == key)
            return k;
    return std::nullopt;
}

std::string decisionKey(Decision d)
{
    switch (d) {
    case Decision::Pass: return "pass";
    case Decision::ConditionalPass: return "conditional pass";
    case Decision::ConditionalFail: return "conditional fail";
    case Decision::CannotPass: return "cannot pass";
    case Decision::Fail: break;
    }
    return "fail";
}

} // namespace metrology
