#include "person_commands.h"

#include "core/csv_field.h"
#include "records_db/persons.h"
#include "records_db/record_db.h"
#include "signer_input.h"

namespace cli {

const char kPersonHelp[] =
    "  records person enrol NAME --roles performs,reviews,approves\n"
    "                               a new key for NAME, sealed under the passphrase\n"
    "                               typed twice (or --passphrase-file FILE), into the\n"
    "                               keyring with the roles they hold\n"
    "  records person list          name,fingerprint,roles,added,revoked as CSV\n";

namespace {

int enrol(recordsdb::RecordDb &db, const Invocation &inv, const QString &name, QTextStream &out, QTextStream &err)
{
    for (const QString &role : inv.roles)
        if (!recordsdb::personRoles().contains(role))
            return err << "tcal-cli: \"" << role << "\" is not a role: performs, reviews, approves\n", UsageError;
    if (inv.roles.isEmpty())
        return err << "tcal-cli: records person enrol NAME --roles performs,reviews,approves\n", UsageError;
    const auto passphrase = readPassphrase(inv, QStringLiteral("New passphrase of %1: ").arg(name), err);
    if (!passphrase)
        return UsageError;
    if (inv.passphraseFile.isEmpty()) {
        const auto again = readPassphrase(inv, QStringLiteral("The same again: "), err);
        if (!again || *again != *passphrase)
            return err << "tcal-cli: the two passphrases differ; nobody was enrolled\n", UsageError;
    }
    recordsdb::Persons persons(db);
    const auto fingerprint = persons.enrol(name, inv.roles, *passphrase);
    if (!fingerprint)
        return err << "tcal-cli: " << persons.error() << '\n', FileError;
    out << "enrolled " << name.trimmed() << " (" << inv.roles.join(QLatin1Char(',')) << ") with key " << *fingerprint << '\n';
    return Success;
}

} // namespace

int person(recordsdb::RecordDb &db, const Invocation &inv, const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (args.value(0) == QLatin1String("enrol") && args.size() == 2)
        return enrol(db, inv, args.at(1), out, err);
    if (args == QStringList{"list"}) {
        const auto persons = recordsdb::Persons(db).list();
        if (!persons)
            return err << "tcal-cli: " << db.error() << '\n', FileError;
        out << "name,fingerprint,roles,added,revoked\r\n";
        for (const recordsdb::Person &p : *persons)
            out << csv::textField(p.name) << ',' << p.fingerprint << ',' << p.roles.join(QLatin1Char(' ')) << ','
                << p.added << ',' << p.revoked << "\r\n";
        return Success;
    }
    return err << "tcal-cli: records person enrol NAME --roles LIST | records person list\n", UsageError;
}

} // namespace cli
