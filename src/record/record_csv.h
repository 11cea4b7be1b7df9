#pragma once
// CSV export of a calibration: the header as name,value lines (a value column
// per check), an empty line, then one line per test point of every check given.

#include "record/calibration_record.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace record {

QString toCsv(const QVector<Record> &checks);
// UTF-8, with a byte-order mark first when `bom` (for spreadsheets that need it).
QByteArray csvBytes(const QVector<Record> &checks, bool bom);
// Written whole or not at all; false when the file cannot be written.
bool writeCsv(const QString &path, const QVector<Record> &checks, bool bom);

} // namespace record
