#pragma once
// tcal-cli records list|show|verify|anchor|export|import|init-server: the calibration records
// database (SQLite in the records folder, or PostgreSQL from TCAL_DB_HOST ...),
// with no serial port involved.

#include "commands.h"
#include "records_db/record_db.h"

#include <QStringList>
#include <QTextStream>

namespace cli {

// The invocation's arguments follow the word "records"; its records folder
// (empty: the window's) holds the database. Returns the process's exit status.
int runRecords(const Invocation &invocation, QTextStream &out, QTextStream &err);

// The records database of `folder` (empty: the window's), or PostgreSQL from
// TCAL_DB_HOST ...; false with the reason on `err`. `used` receives the settings.
// `status`, unless the head of entries the command stored could not be noted:
// then that is said, and a success becomes a failure.
int headNoted(const recordsdb::RecordDb &db, int status, QTextStream &err);
bool openDatabase(recordsdb::RecordDb &db, const QString &folder, recordsdb::RecordDb::Mode mode, QTextStream &err,
                  recordsdb::DbSettings *used = nullptr);

// For --help.
extern const char kRecordsHelp[];

} // namespace cli
