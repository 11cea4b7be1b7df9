#include "signer_input.h"

#include "platform/terminal_echo.h"
#include "records_db/approvals.h"
#include "records_db/record_db.h"

#include <QFile>

namespace cli {

std::optional<QByteArray> readPassphrase(const Invocation &inv, const QString &prompt, QTextStream &err)
{
    if (!inv.passphraseFile.isEmpty()) {
        QFile f(inv.passphraseFile);
        if (!f.open(QIODevice::ReadOnly))
            return err << "tcal-cli: cannot read the passphrase file " << inv.passphraseFile << '\n', std::nullopt;
        QByteArray line = f.readLine(1024);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        return line;
    }
    err.flush();
    const auto typed = platform::readWithoutEcho(prompt);
    if (!typed)
        err << "tcal-cli: a passphrase is typed at the terminal or read from --passphrase-file FILE\n";
    return typed;
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
