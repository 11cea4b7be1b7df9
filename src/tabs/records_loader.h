#pragma once
// Reads what the records view shows from the records database and the drafts
// of the records folder: every calibration, and whether the chain verifies.

#include "tabs/records_rows.h"

#include <QString>
#include <optional>

namespace recordsdb { class RecordDb; }

namespace records {

struct Snapshot {
    QVector<CalibrationRow> rows;
    bool chainIntact = true;
    QString chainFault;        // the first fault when it does not verify
    int entries = 0;
    QString headNoteProblem;   // the last store's head could not be noted here
};

// nullopt with `error` when the database cannot be read; `db` may be nullptr (drafts only).
std::optional<Snapshot> loadSnapshot(recordsdb::RecordDb *db, const QString &folder, QString &error);

} // namespace records
