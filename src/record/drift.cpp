#include "record/drift.h"

#include <algorithm>

namespace record {

QVector<DriftSeries> driftSeries(const QVector<Record> &checks)
{
    QVector<Record> found;
    for (const Record &r : checks)
        if (r.stage == Stage::AsFound)
            found << r;
    std::sort(found.begin(), found.end(), [](const Record &a, const Record &b) { return a.started < b.started; });
    QVector<DriftSeries> series;
    for (const Record &r : found) {
        for (const Point &p : r.points) {
            if (p.status != Point::Status::Recorded)
                continue;
            auto it = std::find_if(series.begin(), series.end(),
                                   [&](const DriftSeries &s) { return qFuzzyCompare(s.reference + 1.0, p.reference + 1.0); });
            if (it == series.end())
                it = series.insert(series.end(), DriftSeries{p.reference, {}});
            it->errors.append({r.started, figures(p, r.header).error});
        }
    }
    std::sort(series.begin(), series.end(), [](const DriftSeries &a, const DriftSeries &b) { return a.reference < b.reference; });
    return series;
}

} // namespace record
