#pragma once
// JSON record files, one per check, named by serial number and time (UTC):
// what earlier versions kept in the records folder, read for the import into
// the records database; and the drift between two checks.

#include "record/calibration_record.h"

#include <QString>
#include <QVector>

namespace record {

// "<serial>_<yyyyMMdd-HHmmss>Z_<stage>.json" (UTC); characters a file system may
// refuse in the serial number become '-'.
QString fileName(const Record &record);

// Writes the record into `folder` (created when missing); the path written, or
// empty on failure.
QString save(const Record &record, const QString &folder);

// Checked against the format first (record/record_validation.h); `why` says
// what was refused; times without a zone need `assumeOffsetSeconds`.
std::optional<Record> load(const QString &path, QString &why, std::optional<int> assumeOffsetSeconds = std::nullopt);
std::optional<Record> load(const QString &path);
// The record a file's bytes hold; nullopt when they hold none.
std::optional<Record> fromFileBytes(const QByteArray &bytes);

struct StoredRecord {
    QString path;
    Record record;
};
// Every readable record of `serial` in `folder`, oldest first.
QVector<StoredRecord> history(const QString &folder, const QString &serial);

// The last as-left check that started before `before`, if any.
std::optional<Record> lastAsLeftBefore(const QVector<StoredRecord> &history, const QDateTime &before);

// Drift between calibrations: last time's as-left reading against this
// as-found reading at the same test point.
struct DriftRow {
    double reference = 0.0;
    double before = 0.0;
    double now = 0.0;
    double drift() const { return now - before; }
};
QVector<DriftRow> drift(const Record &asLeftBefore, const Record &asFoundNow);

} // namespace record
