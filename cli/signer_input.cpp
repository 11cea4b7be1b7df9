#include "signer_input.h"

#include "platform/console_input.h"
#include "records_db/approvals.h"
#include "records_db/record_db.h"

#include <QFile>

namespace cli {

std::optional<QByteArray> readPassphrase(const Invocation &inv, const QString &prompt, QTextStream &err)
{
    if (!inv.passphraseFile.isEmpty()) {
        QFile f(inv.passphraseFile);
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::ReadOther;
        if (f.exists() && (f.permissions() & others))
            return err << "tcal-cli: the passphrase file " << inv.passphraseFile << " may be read by others: chmod 600 it\n",
                   std::nullopt;
        if (!f.open(QIODevice::ReadOnly))
            return err << "tcal-cli: cannot read the passphrase file " << inv.passphraseFile << '\n', std::nullopt;
        QByteArray line = f.readLine(1024);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        return line;
    }
    if (platform::inputIsTerminal())
        err << prompt;
    err.flush();
    const std::optional<QString> typed = platform::readHiddenLine();
    if (!typed)
        return err << "tcal-cli: a passphrase is typed at the terminal or read from --passphrase-file FILE\n", std::nullopt;
    if (platform::inputIsTerminal())
        err << '\n';
    return typed->toUtf8();
}

std::optional<recordsdb::PersonSigner> unlockPerson(recordsdb::RecordDb &db, const Invocation &inv, QTextStream &err)
{
    if (inv.person.isEmpty())
        return err << "tcal-cli: --person NAME names who signs (records person list)\n", std::nullopt;
    const auto passphrase = readPassphrase(inv, QStringLiteral("Passphrase of %1: ").arg(inv.person), err);
    if (!passphrase)
        return std::nullopt;
    recordsdb::Persons persons(db);
    auto signer = persons.unlock(inv.person, *passphrase);
    if (!signer)
        err << "tcal-cli: " << persons.error() << '\n';
    return signer;
}

std::optional<QString> personBar(recordsdb::RecordDb &db, const QString &person, qint64 number,
                                 record::Signature::Meaning meaning)
{
    const auto persons = recordsdb::Persons(db).list();
    for (const recordsdb::Person &p : persons.value_or(QVector<recordsdb::Person>()))
        if (p.active() && recordsdb::personKey(p.name) == recordsdb::personKey(person)) {
            const auto refused = recordsdb::Approvals(db).refusal(number, meaning, p.fingerprint);
            return refused ? std::optional<QString>(refused->text) : std::nullopt;
        }
    return std::nullopt;
}

} // namespace cli
