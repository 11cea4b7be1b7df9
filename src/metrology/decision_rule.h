// Decision rules for a statement of conformity (ILAC-G8:09/2019, JCGM 106:2012):
// the one place where an error, its expanded uncertainty and a tolerance become
// a verdict. Every verdict the tool prints comes from decide().
#pragma once

#include <optional>
#include <string>

namespace metrology {

struct DecisionRule {
    enum class Kind {
        Simple,      // w = 0: accepted within the tolerance
        Guarded,     // w = r*U: accepted within T - w, rejected otherwise
        NonBinary,   // pass, conditional pass, conditional fail, fail (ILAC-G8 4.2.3)
    };
    Kind kind = Kind::Guarded;
    double guardFactor = 1.0;   // r; the guard band is r*U
};

// Figures are compared on a grid of 10^-kDecisionDecimals of their own unit,
// each rounded there half away from zero: a limit typed or computed in
// decimals is met at its edge exactly, whatever the last bit of a double, and
// a certificate printing that many decimals prints what was judged.
constexpr int kDecisionDecimals = 9;

enum class Decision { Pass, ConditionalPass, ConditionalFail, Fail, CannotPass };

// `error` is the unrounded mean error, `tolerance` the half-width of the
// tolerance interval and `expanded` the error's U, all in one unit.
// U >= T never passes under any rule: "cannot pass" within the tolerance,
// "fail" beyond it. A tolerance that is not positive, or an error or U that
// is not a finite number, gives Fail.
Decision decide(const DecisionRule &rule, double error, double tolerance, double expanded);

// Only Pass is conformity; the conditional statements are not.
inline bool conforms(Decision d) { return d == Decision::Pass; }

// The acceptance limit |error| <= limit for a pass; nullopt when nothing can pass.
std::optional<double> acceptanceLimit(const DecisionRule &rule, double tolerance, double expanded);

// The specific false-accept risk at the acceptance limit (JCGM 106 9.5): the
// probability that the true value lies beyond the tolerance when the error is
// at T - w, the error's distribution normal with U = k·u; 0.5 when w = 0.
double specificFalseAcceptRisk(const DecisionRule &rule, double coverageFactor = 2.0);

// "simple acceptance", "guarded acceptance", "non-binary"; and back.
std::string ruleKey(DecisionRule::Kind kind);
std::optional<DecisionRule::Kind> ruleKind(const std::string &key);
// "pass", "conditional pass", "conditional fail", "fail", "cannot pass".
std::string decisionKey(Decision d);

} // namespace metrology
