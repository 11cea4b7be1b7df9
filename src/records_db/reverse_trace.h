#pragma once
// Reverse traceability: when a reference standard is found out of tolerance,
// every check made with it since a date, so the instruments and certificates
// it may have misjudged can be recalled.

#include "records_db/record_db.h"

#include <QDate>

namespace recordsdb {

// The checks whose reference instrument or its certificate number is
// `reference` (case and surrounding spaces ignored), started on or after
// `since` (any date when invalid), oldest first.
QVector<StoredRecord> checksWithReference(const QVector<StoredRecord> &records, const QString &reference,
                                          const QDate &since);

} // namespace recordsdb
