// What the records tests do to a database from outside the tool: trust the
// workstation's key as a laboratory would, lift the append-only guards as an
// administrator could, and write a database of the earlier schema.
#pragma once

#include "records_db/persons.h"
#include "records_db/record_db.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace recordsfixture {

// The laboratory trusts this workstation's key (made when missing).
bool trustOwnKey(recordsdb::RecordDb &db);

// The passphrase every person the tests enrol has.
extern const char kPassphrase[];
// `name`'s key, unlocked: enrolled with kPassphrase and `roles` into the
// keyring of `db` when not there yet. Unlocked once per keyring and name.
recordsdb::PersonSigner person(recordsdb::RecordDb &db, const QString &name,
                               const QStringList &roles = {"performs", "reviews", "approves"});
// What tcal-cli needs to sign as `name` (enrolled as person() does): --person
// and --passphrase-file, a file of this process holding kPassphrase.
QStringList signingArguments(recordsdb::RecordDb &db, const QString &name = "J. Chen");
// The same for the SQLite keyring of `dataFolder`, written directly when `name` is not in it.
QStringList signingArguments(const QString &dataFolder, const QString &name = "J. Chen");
// The technician who performs the tests' checks.
inline recordsdb::PersonSigner performer(recordsdb::RecordDb &db) { return person(db, "J. Chen"); }

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
