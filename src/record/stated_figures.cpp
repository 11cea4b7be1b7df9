// The one place a point's stated figures come from (declared in
// calibration_record.h): what is judged, with which U, and how many decimals
// the certificate needs so that its printed numbers give its printed verdict.
#include "record/calibration_record.h"
#include "record/decision_texts.h"

#include "metrology/point_budget.h"

#include <algorithm>
#include <cmath>

namespace record {

namespace {

using metrology::Decision;
using metrology::DecisionRule;

constexpr int kCurrentDecimals = 3;   // 1 µA: what a loop current is read to

// `value` rounded to `decimals`, half away from zero, as a double that prints back as those digits.
double onDecimals(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::isfinite(value) ? double(std::llround(value * scale)) / scale : value;
}

// The fewest decimals, `least` or more, at which the printed error judged
// against the printed tolerance and U gets the unrounded error's decision.
// decide() judges on a grid of kDecisionDecimals, so that many always does.
int decimalsFor(const DecisionRule &rule, double error, double tolerance, double expanded, int least)
{
    const Decision truth = metrology::decide(rule, error, tolerance, expanded);
    for (int d = least; d < metrology::kDecisionDecimals; ++d)
        if (metrology::decide(rule, onDecimals(error, d), tolerance, expanded) == truth)
            return d;
    return std::max(least, metrology::kDecisionDecimals);
}

struct CurrentU {
    double expanded;
    double coverageFactor;
};

std::optional<CurrentU> currentBudget(const Point &point, const Header &header)
{
    if (point.uncertainty && point.uncertainty->currentExpandedMa)
        return CurrentU{*point.uncertainty->currentExpandedMa, point.uncertainty->currentCoverageFactor};
    const double u = pointUncertainty(point, header);
    if (!header.currentMeter || !point.currentMa || !(std::isfinite(u) && u > 0) || !header.range.valid())
        return std::nullopt;
    const MeterTerms &m = *header.currentMeter;
    const double k = point.uncertainty ? point.uncertainty->coverageFactor : 2.0;
    const auto terms = metrology::meterCurrentTerms(
        u / k, header.range.span(), metrology::Accuracy{m.percentOfReading, m.floorMa, m.resolutionMa, false},
        metrology::StandardCalibration{m.certificateMa, m.certificateK}, *point.currentMa);
    if (terms.empty())
        return std::nullopt;
    const metrology::Combined c = metrology::combine(terms);
    return CurrentU{c.expanded, c.coverageFactor};
}

int severity(Decision d)
{
    switch (d) {
    case Decision::Pass: return 0;
    case Decision::ConditionalPass: return 1;
    case Decision::ConditionalFail: return 2;
    case Decision::CannotPass: return 3;
    case Decision::Fail: break;
    }
    return 4;
}

void currentFigures(const Point &point, const Header &header, PointFigures &f)
{
    const double expected = expectedCurrentMa(point.reference, header.range);
    f.currentToleranceMa = currentToleranceMa(header);
    f.currentDecimals = kCurrentDecimals;
    if (point.currentMa) {
        const double raw = *point.currentMa - expected;
        const auto u = f.uncertaintyUnusable ? std::nullopt : currentBudget(point, header);
        f.currentUnjudged = !u;
        if (u) {
            f.currentExpandedMa = statedUncertainty(u->expanded);
            f.currentCoverageFactor = u->coverageFactor;
            f.currentDecision = metrology::decide(header.decisionRule, raw, f.currentToleranceMa, *f.currentExpandedMa);
            f.currentDecimals = decimalsFor(header.decisionRule, raw, f.currentToleranceMa, *f.currentExpandedMa,
                                            std::max(kCurrentDecimals, uncertaintyDecimals(*f.currentExpandedMa)));
        }
        f.currentErrorMa = onDecimals(raw, f.currentDecimals);
    }
    f.expectedMa = onDecimals(expected, f.currentDecimals);
}

} // namespace

double currentToleranceMa(const Header &header)
{
    if (header.currentToleranceMa)
        return *header.currentToleranceMa;
    if (!header.range.valid())
        return 0.0;
    const double derived = toleranceDegrees(header.tolerance, header.range) * 16.0 / header.range.span();
    return std::floor(derived * 1e6 + 1e-6) / 1e6;
}

std::optional<double> currentUncertaintyMa(const Point &point, const Header &header)
{
    const auto u = currentBudget(point, header);
    return u ? std::optional<double>(u->expanded) : std::nullopt;
}

PointFigures figures(const Point &point, const Header &header)
{
    // Judged unrounded with U as stated (rounded up); rounded only for printing.
    PointFigures f;
    const DecisionRule &rule = header.decisionRule;
    const double raw = error(point.reference, point.reading);
    const double u = pointUncertainty(point, header);
    const bool given = point.uncertainty || header.uncertainty;
    f.uncertaintyUnusable = given && !(std::isfinite(u) && u > 0);
    if (given && !f.uncertaintyUnusable) {
        f.expanded = statedUncertainty(u);
        f.coverageFactor = point.uncertainty ? point.uncertainty->coverageFactor : 2.0;
    }
    const double expanded = f.expanded.value_or(0.0);
    f.tolerance = toleranceDegrees(header.tolerance, header.range);
    f.limit = f.uncertaintyUnusable ? std::nullopt : metrology::acceptanceLimit(rule, f.tolerance, expanded);
    f.decision = f.uncertaintyUnusable ? Decision::Fail : metrology::decide(rule, raw, f.tolerance, expanded);
    int least = std::max(decimalsOf(header.resolution), exactDecimals(point.reference, 1));
    if (f.expanded)
        least = std::max(least, uncertaintyDecimals(*f.expanded));
    f.decimals = f.uncertaintyUnusable ? least : decimalsFor(rule, raw, f.tolerance, expanded, least);
    f.reading = onDecimals(point.reading, f.decimals);
    f.error = onDecimals(raw, f.decimals);
    // The percentage to the digit the printed error has, from the unrounded error.
    f.percentDecimals = std::clamp(decimalsOf(percentOfSpan(std::pow(10.0, -f.decimals), header.range)), 1, 6);
    f.errorPercent = onDecimals(percentOfSpan(raw, header.range), f.percentDecimals);
    currentFigures(point, header, f);
    f.passed = point.status == Point::Status::Recorded && !f.uncertaintyUnusable && metrology::conforms(f.decision)
               && (!f.currentDecision || metrology::conforms(*f.currentDecision));
    return f;
}

Decision pointDecision(const PointFigures &f)
{
    if (f.currentDecision && severity(*f.currentDecision) > severity(f.decision))
        return *f.currentDecision;
    return f.decision;
}

Statement statement(const Record &record)
{
    if (!record.incompleteReason.isEmpty())
        return Statement::Incomplete;
    bool complete = !record.points.isEmpty();
    int worst = 0;
    for (const Point &p : record.points) {
        if (p.status != Point::Status::Recorded) {
            complete = false;
            continue;
        }
        const PointFigures f = figures(p, record.header);
        const Decision d = f.uncertaintyUnusable ? Decision::Fail : pointDecision(f);
        if (d == Decision::Fail)
            return Statement::Fail;
        worst = std::max(worst, severity(d));
    }
    if (!complete)
        return Statement::Incomplete;
    switch (worst) {
    case 0: return Statement::Pass;
    case 1: return Statement::ConditionalPass;
    case 2: return Statement::ConditionalFail;
    default: break;
    }
    return Statement::NotPossible;
}

} // namespace record
