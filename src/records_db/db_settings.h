#pragma once
// Where the records live: a SQLite file in the records folder (the default,
// created on first use) or a PostgreSQL database a team shares. The password
// is never stored: it comes from TCAL_DB_PASSWORD or a prompt.

#include <QString>

namespace recordsdb {

struct DbSettings {
    enum class Kind { Sqlite, Postgres };
    Kind kind = Kind::Sqlite;
    QString sqliteFile;          // Sqlite
    QString host;                // Postgres
    int port = 5432;
    QString database;
    QString user;
    QString password;
};

// The SQLite file of a records folder.
DbSettings sqliteIn(const QString &folder);

// PostgreSQL when TCAL_DB_HOST is set (with TCAL_DB_PORT, TCAL_DB_NAME,
// TCAL_DB_USER, TCAL_DB_PASSWORD), else the SQLite file of `folder`.
DbSettings fromEnvironment(const QString &folder);

QString describe(const DbSettings &settings);   // for messages; never the password

} // namespace recordsdb
