#pragma once
// Where the records live: a SQLite file in the records folder (the default,
// created on first append) or a PostgreSQL database a team shares. The
// password is never stored: it comes from TCAL_DB_PASSWORD or a prompt. The
// signing key and the notes of each database's head live in the user's data
// folder, apart from any database.

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
    QString dataFolder;          // signing.key and anchors.json
    int busyMs = 10000;          // how long a write waits for another writer
    QString problem;             // set when the environment named something unusable
};

// The user's data folder and its records folder, the same for the window and
// tcal-cli on every platform.
QString defaultDataFolder();
QString defaultRecordsFolder();

// The SQLite file of a records folder.
DbSettings sqliteIn(const QString &folder);

// PostgreSQL when TCAL_DB_HOST is set (with TCAL_DB_PORT, TCAL_DB_NAME,
// TCAL_DB_USER, TCAL_DB_PASSWORD; libpq's own PGSSLMODE and friends apply),
// else the SQLite file of `folder`. A port that is not one sets `problem`.
DbSettings fromEnvironment(const QString &folder);

QString describe(const DbSettings &settings);   // for messages; never the password
// The database's name in the anchors: its file with every link resolved, or
// server and database; and its identity's (its first entry's hash).
QString anchorKey(const DbSettings &settings);
QString identityAnchorKey(const QByteArray &identity);

} // namespace recordsdb
