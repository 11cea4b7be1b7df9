#pragma once
// CSV export of a calibration: the header as name,value lines, an empty line,
// then one line per test point of every check given.

#include "calibration_record.h"

#include <QString>
#include <QVector>

namespace record {

QString toCsv(const QVector<Record> &checks);

} // namespace record
