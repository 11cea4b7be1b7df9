// A finished check for the records tests: every point recorded at its
// reference plus `offset`.
#pragma once

#include "record/calibration_record.h"

// A record as the tool stored it before points carried their own uncertainty
// and records named the instruments used, in the canonical form that is
// hashed; its SHA-256 as sha256sum gave it.
inline const char kStoredRecordJson[] = R"({"amends":{"author":"J. Chen","reason":"typo in the ambient","supersedes":7},"configuration":{"inputType":3,"rangeUpper":450},"format":"tcal-calibration-record","header":{"address":192,"ambient":"23.5","description":"Boiler inlet","inputType":"Pt100","laboratory":"Plant metrology lab","procedure":"QP-CAL-012 rev. C","rangeLower":-50,"rangeUpper":450,"reference":"Calibrator CX-9","referenceCertificate":"RC-2026-118","referenceDue":"2027-06-30","referenceOverride":"","resolution":0.01,"serial":"SN-7001","tag":"TT-101","technician":"Li Wei","tolerance":0.25,"toleranceKind":"percent-of-span","uncertainty":0.12,"unit":"°C"},"points":[{"reading":-50.07,"reference":-50,"status":"recorded","time":"2026-12-07T09:31:45.250Z"},{"currentMa":8.003,"reading":75,"reference":75,"status":"recorded","time":"2026-12-07T09:33:15.250Z"},{"reading":200.07,"reference":200,"status":"recorded","time":"2026-12-07T09:34:45.250Z"},{"reference":325,"status":"not-stable"},{"reference":450,"status":"pending"}],"stage":"as-left","started":"2026-12-07T09:30:15.250Z","version":2})";
inline const char kStoredRecordSha256[] = "4e495c225b5a1a6927ebaef101552865c19e171247ace4be303b1eaf67f0d81f";

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
