#include "record/repeats.h"

#include "metrology/uncertainty.h"

#include <cmath>
#include <numeric>

namespace record {

std::optional<RepeatedPoint> repeatedPoint(const std::vector<double> &readings, std::optional<double> statedExpanded)
{
    if (readings.empty() || !std::all_of(readings.begin(), readings.end(), [](double v) { return std::isfinite(v); }))
        return std::nullopt;
    RepeatedPoint p;
    p.reading = std::accumulate(readings.begin(), readings.end(), 0.0) / double(readings.size());
    const auto a = metrology::typeA(readings);
    if (!a || !statedExpanded || !(*statedExpanded > 0) || !std::isfinite(*statedExpanded))
        return p;
    const std::vector<metrology::Contribution> items{
        {"stated uncertainty (k = 2)", *statedExpanded / 2.0, std::numeric_limits<double>::infinity(), "normal"},
        {"repeatability", a->standardUncertainty, a->degreesOfFreedom, "Type A"}};
    const metrology::Combined c = metrology::combine(items);
    PointUncertainty u;
    u.expanded = c.expanded;
    u.coverageFactor = c.coverageFactor;
    u.effectiveDegreesOfFreedom = c.effectiveDegreesOfFreedom;
    for (const metrology::Contribution &i : items)
        u.budget.push_back({QString::fromStdString(i.name), QString::fromStdString(i.distribution), 1.0, QString(),
                            i.standardUncertainty, i.degreesOfFreedom, 0.0});
    p.uncertainty = u;
    return p;
}

} // namespace record
