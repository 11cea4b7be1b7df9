#pragma once
// tcal-cli records list|show|verify|export|import: the calibration records
// database (SQLite in the records folder, or PostgreSQL from TCAL_DB_HOST ...),
// with no serial port involved.

#include <QStringList>
#include <QTextStream>

namespace cli {

// `arguments` follow the word "records"; `folder` is the records folder
// (empty: the window's). Returns the process's exit status.
int runRecords(const QStringList &arguments, const QString &folder, QTextStream &out, QTextStream &err);

// For --help.
extern const char kRecordsHelp[];

} // namespace cli
