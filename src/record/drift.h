#pragma once
// The drift of a transmitter across calibrations: the as-found error at each
// test point, one series per point, over the checks' dates. What the register's
// drift chart plots, so an interval can be judged from data.

#include "record/calibration_record.h"

#include <QDateTime>
#include <QVector>

namespace record {

struct DriftSeries {
    double reference = 0.0;
    QVector<QPair<QDateTime, double>> errors;   // oldest first, as printed
};

// From the as-found checks in `checks` (the caller leaves out superseded
// versions); points that were not recorded are left out.
QVector<DriftSeries> driftSeries(const QVector<Record> &checks);

} // namespace record
