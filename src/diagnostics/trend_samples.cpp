#include "diagnostics/trend_samples.h"

#include <cmath>

namespace diag {

double valueOf(const TrendSample &sample, TrendValue which)
{
    return which == TrendValue::Measured ? sample.measured : sample.room;
}

int firstSampleFrom(const RingBuffer<TrendSample> &samples, qint64 fromMsecs)
{
    int low = 0;
    int high = samples.size();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (samples.at(middle).msecs < fromMsecs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

SpanStats spanStats(const RingBuffer<TrendSample> &samples, qint64 fromMsecs, TrendValue which)
{
    // Welford's running mean and squared deviations: no cancellation when the
    // values sit far from zero with little spread, as a settled reading does.
    SpanStats s;
    double squares = 0;
    for (int i = firstSampleFrom(samples, fromMsecs); i < samples.size(); ++i) {
        const double v = valueOf(samples.at(i), which);
        if (std::isnan(v))
            continue;
        ++s.count;
        if (s.count == 1) {
            s.min = s.max = v;
        } else {
            s.min = std::min(s.min, v);
            s.max = std::max(s.max, v);
        }
        const double delta = v - s.mean;
        s.mean += delta / s.count;
        squares += delta * (v - s.mean);
    }
    if (s.count > 0)
        s.stddev = std::sqrt(squares / s.count);
    return s;
}

QVector<QPointF> spanPoints(const RingBuffer<TrendSample> &samples, qint64 fromMsecs,
                            TrendValue which, int maxPoints)
{
    const int first = firstSampleFrom(samples, fromMsecs);
    const int n = samples.size() - first;
    const int bucket = maxPoints > 1 && n > maxPoints ? (2 * n + maxPoints - 1) / maxPoints : 1;
    QVector<QPointF> points;
    points.reserve(bucket == 1 ? n : 2 * (n / bucket + 1));
    for (int start = first; start < samples.size(); start += bucket) {
        const int end = std::min(start + bucket, samples.size());
        int low = -1;
        int high = -1;
        for (int i = start; i < end; ++i) {
            const double v = valueOf(samples.at(i), which);
            if (std::isnan(v))
                continue;
            if (low < 0 || v < valueOf(samples.at(low), which))
                low = i;
            if (high < 0 || v > valueOf(samples.at(high), which))
                high = i;
        }
        if (low < 0)
            continue;
        for (int i : {std::min(low, high), std::max(low, high)}) {
            points.append(QPointF(double(samples.at(i).msecs), valueOf(samples.at(i), which)));
            if (low == high)
                break;
        }
    }
    return points;
}

} // namespace diag
