#pragma once
// The trend's history of live values and the statistics of a time span of it.
// No widgets: the chart and the figures beside it are drawn from this.

#include "diagnostics/ring_buffer.h"

#include <QPointF>
#include <QVector>
#include <QtGlobal>

namespace diag {

struct TrendSample {
    qint64 msecs = 0;   // milliseconds since the epoch
    double measured = 0; // NaN when the poll carried no displayable value
    double room = 0;
};

enum class TrendValue { Measured, Room };

struct SpanStats {
    int count = 0;      // samples with a value; the figures below mean nothing at 0
    double min = 0;
    double max = 0;
    double mean = 0;
    double stddev = 0;  // population standard deviation of the span
};

// One hour of polls at the fastest poll rate the window reaches, with room to spare.
constexpr int kTrendCapacity = 8 * 3600;

double valueOf(const TrendSample &sample, TrendValue which);

// Index of the first sample at or after `fromMsecs` (size() when none); the
// samples are in time order, so this is a binary search.
int firstSampleFrom(const RingBuffer<TrendSample> &samples, qint64 fromMsecs);

SpanStats spanStats(const RingBuffer<TrendSample> &samples, qint64 fromMsecs, TrendValue which);

// Points (x = msecs) of the span, at most about `maxPoints`: when there are
// more samples, each bucket keeps its lowest and highest value, so a short
// spike stays visible in a long window.
QVector<QPointF> spanPoints(const RingBuffer<TrendSample> &samples, qint64 fromMsecs,
                            TrendValue which, int maxPoints);

} // namespace diag
