// What the records tests do to a database from outside the tool: trust the
// workstation's key as a laboratory would, lift the append-only guards as an
// administrator could, and write a database of the earlier schema.
#pragma once

#include "records_db/record_db.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace recordsfixture {

// The laboratory trusts this workstation's key (made when missing).
bool trustOwnKey(recordsdb::RecordDb &db);

// The guards' definitions as the schema made them, then the guards dropped
// (SQLite) or disabled (PostgreSQL); restoreGuards puts them back as they were.
QStringList liftGuards(QSqlDatabase db);
bool restoreGuards(QSqlDatabase db, const QStringList &saved);

// The lock every writer takes, held by `hold`'s connection until it rolls back.
bool holdWriteLock(QSqlQuery &hold);

// A plain connection to the database of `settings`, opened, under `name`.
QSqlDatabase connection(const recordsdb::DbSettings &settings, const QString &name);

// Schema 3 in the database of `settings` (empty; a SQLite file's folder is made): two records of transmitter OLD chained alone
// (as found, as left; the second's content changed after hashing when
// `forged`), certificate 1 of them and instrument TT-1 in tables of their own.
bool writeSchema3(const recordsdb::DbSettings &settings, bool forged = false);

} // namespace recordsfixture
