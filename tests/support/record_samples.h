// A finished check for the records tests: every point recorded at its
// reference plus `offset`.
#pragma once

#include "record/calibration_record.h"

inline record::Record recordedCheck(const QString &serial, record::Stage stage, const QDateTime &started,
                                    double offset, const QVector<double> &references = {0.0, 50.0, 100.0})
{
    record::Header h;
    h.serial = serial;
    h.range = {0.0, 100.0};
    record::Record r = record::newRecord(h, stage, references, started);
    for (auto &p : r.points) {
        p.status = record::Point::Status::Recorded;
        p.reading = p.reference + offset;
        p.time = started.addSecs(60);
    }
    return r;
}
