// Uncertainty of measurement by the GUM (JCGM 100:2008): standard
// uncertainties of the usual distributions, Type A, Welch-Satterthwaite and
// the Student-t coverage factor.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace metrology {

struct Contribution {
    std::string name;
    double standardUncertainty = 0;   // in the result's unit, sensitivity already applied
    double degreesOfFreedom = std::numeric_limits<double>::infinity();
    std::string distribution = "normal";   // "normal", "rectangular", "Type A"
    double sensitivity = 1;                // |c| from the input's unit to the result's
    std::string inputUnit;                 // the unit the input's own uncertainty is in
    // A known bias left uncorrected, in the result's unit: no part of u_c, added
    // to U in full (JCGM 100 F.2.4.5). Its standardUncertainty is 0.
    double bias = 0;
};

// a / sqrt(3): a rectangular distribution of half-width a.
double rectangular(double halfWidth);
// resolution / (2 sqrt(3)): a display's rounding.
double resolutionTerm(double resolution);

struct TypeA {
    double mean;
    double standardDeviation;     // s, experimental
    double standardUncertainty;   // s / sqrt(n)
    double degreesOfFreedom;      // n - 1
};
// nullopt for fewer than 2 samples or a sample that is not a finite number.
std::optional<TypeA> typeA(const std::vector<double> &samples);

// Welch-Satterthwaite (GUM G.4.1); infinity when every term is infinite.
double effectiveDegreesOfFreedom(const std::vector<Contribution> &items);
// Two-sided Student-t quantile for the coverage probability; the normal
// quantile for infinite degrees of freedom. Non-integer nu is allowed.
double coverageFactor(double degreesOfFreedom, double probability = 0.9545);

struct Combined {
    double standardUncertainty;
    double effectiveDegreesOfFreedom;
    double coverageFactor;
    double expanded;
    double probability;
};
// U = k·u_c plus every uncorrected bias in full.
Combined combine(const std::vector<Contribution> &items, double probability = 0.9545);

} // namespace metrology
