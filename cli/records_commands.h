#pragma once
// tcal-cli records list|show|verify|anchor|export|import|init-server: the calibration records
// database (SQLite in the records folder, or PostgreSQL from TCAL_DB_HOST ...),
// with no serial port involved.

#include "commands.h"

#include <QStringList>
#include <QTextStream>

namespace cli {

// The invocation's arguments follow the word "records"; its records folder
// (empty: the window's). Returns the process's exit status.
int runRecords(const Invocation &invocation, QTextStream &out, QTextStream &err);

// For --help.
extern const char kRecordsHelp[];

} // namespace cli
