#pragma once
// The person who signs a command's entries and their passphrase: typed at the
// terminal without echo, or, for scripts and unattended runs, the first line
// of the file --passphrase-file names (never the command line itself).

#include "commands.h"
#include "record/certificate.h"
#include "records_db/persons.h"

#include <QTextStream>
#include <optional>

namespace recordsdb {
class RecordDb;
}

namespace cli {

// The passphrase; nullopt with the reason written to `err`.
std::optional<QByteArray> readPassphrase(const Invocation &inv, const QString &prompt, QTextStream &err);
// --person's key unlocked; nullopt with the reason written to `err`.
std::optional<recordsdb::PersonSigner> unlockPerson(recordsdb::RecordDb &db, const Invocation &inv, QTextStream &err);

// Why `person` may not sign record `number` with `meaning`, asked before the
// passphrase; nullopt when they may (or are not known: unlocking says so).
std::optional<QString> personBar(recordsdb::RecordDb &db, const QString &person, qint64 number,
                                 record::Signature::Meaning meaning);

} // namespace cli
