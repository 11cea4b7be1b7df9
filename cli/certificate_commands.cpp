#include "certificate_commands.h"

#include "signer_input.h"

#include "records_db/approvals.h"
#include "records_db/certificate_store.h"

#include <QSaveFile>
#include <QSettings>

namespace cli {

const char kCertificateHelp[] =
    "  records certificate AS_FOUND AS_LEFT --out FILE [--replaces NUMBER]\n"
    "                               issues the certificate of two checks of one\n"
    "                               transmitter (0 for a check not made) and writes its\n"
    "                               PDF; refused (1) unless both are complete, current\n"
    "                               and approved: an unapproved pair is written as a\n"
    "                               DRAFT, without a number. --replaces names the\n"
    "                               certificate it corrects, which is then withdrawn;\n"
    "                               --place, --received DATE, --condition, --external\n"
    "                               and --customer-supplied FIELDS are printed on it\n"
    "  records certificate --reprint NUMBER --out FILE\n"
    "                               the stored certificate's file as issued, after\n"
    "                               the chain verifies and holds its hash\n"
    "  records approve NUMBER --as reviewer|approver --person NAME [--function TEXT]\n"
    "                               signs check NUMBER with the key of the enrolled\n"
    "                               person, unlocked by their passphrase; never by who\n"
    "                               performed it, nor approved by who reviewed it\n"
    "                               Laboratory address and customer come from the\n"
    "                               window's settings (Certificate details)\n";

namespace {

bool writeFile(const QString &path, const QByteArray &bytes, QTextStream &err)
{
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit())
        return true;
    err << "tcal-cli: cannot write " << path << '\n';
    return false;
}

std::optional<qint64> recordNumber(const QString &text)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    return ok && n >= 0 ? std::optional<qint64>(n) : std::nullopt;
}

} // namespace

int certificate(recordsdb::RecordDb &db, const Invocation &inv, const QStringList &args, QTextStream &out,
                QTextStream &err)
{
    if (inv.out.isEmpty())
        return err << "tcal-cli: records certificate needs --out FILE\n", UsageError;
    recordsdb::CertificateStore store(db);
    if (inv.reprint) {
        if (!args.isEmpty())
            return err << "tcal-cli: records certificate --reprint NUMBER --out FILE\n", UsageError;
        const QByteArray pdf = store.reprint(inv.reprint);
        if (pdf.isEmpty())
            return err << "tcal-cli: " << store.error() << '\n', Different;
        if (!writeFile(inv.out, pdf, err))
            return FileError;
        out << "certificate " << inv.reprint << " as issued written to " << inv.out << '\n';
        if (const auto stored = store.find(inv.reprint); stored && stored->withdrawnBy)
            out << "certificate " << inv.reprint << " is withdrawn, replaced by " << stored->withdrawnBy << '\n';
        return Success;
    }
    const auto found = recordNumber(args.value(0)), left = recordNumber(args.value(1));
    if (args.size() != 2 || !found || !left)
        return err << "tcal-cli: records certificate AS_FOUND AS_LEFT --out FILE\n", UsageError;
    QSettings settings(QStringLiteral("TCal"), QStringLiteral("tcal"));
    const recordsdb::IssueRequest request{*found, *left, inv.replaces, record::readIssuer(settings), 2, inv.receipt};
    const auto content = store.prepare(request);
    if (!content)
        return err << "tcal-cli: " << store.error() << '\n', Different;
    if (!record::approved(*content)) {
        // Not approved: printed only as a draft, with no number taken.
        if (!writeFile(inv.out, record::certificatePdf(*content), err))
            return FileError;
        err << "tcal-cli: not approved; a DRAFT was written to " << inv.out << '\n';
        return Different;
    }
    const auto issued = store.issue(request);
    if (!issued)
        return err << "tcal-cli: " << store.error() << '\n', Different;
    if (!writeFile(inv.out, issued->pdf, err))
        return err << "tcal-cli: certificate " << issued->content.number << " is issued and stored; reprint it\n", FileError;
    out << "certificate " << issued->content.number << " issued, " << inv.out << " sha256 " << issued->sha256 << '\n';
    return Success;
}

int approve(recordsdb::RecordDb &db, const Invocation &inv, const QStringList &args, QTextStream &out, QTextStream &err)
{
    const auto number = recordNumber(args.value(0));
    if (args.size() != 1 || !number || *number == 0 || inv.signAs.isEmpty())
        return err << "tcal-cli: records approve NUMBER --as reviewer|approver --person NAME\n", UsageError;
    // The name shown is the keyring's: a typed one could be anybody's.
    if (!inv.name.isEmpty())
        return err << "tcal-cli: records approve signs as --person, under the name enrolled; --name is not taken\n",
               UsageError;
    const bool approver = inv.signAs == QLatin1String("approver");
    const auto meaning = approver ? record::Signature::Meaning::Approved : record::Signature::Meaning::Reviewed;
    const QString login = recordsdb::signerLogin(db);
    const QString function = inv.function.isEmpty() ? (approver ? QStringLiteral("Approver") : QStringLiteral("Reviewer"))
                                                    : inv.function;
    recordsdb::Approvals approvals(db);
    // Refused before the passphrase is asked, when the key could not sign anyway.
    if (const auto bar = inv.person.isEmpty() ? std::nullopt : personBar(db, inv.person, *number, meaning))
        return err << "tcal-cli: " << *bar << '\n', Different;
    const auto signer = unlockPerson(db, inv, err);
    if (!signer)
        return Different;
    const auto signature = approvals.sign(*number, meaning, *signer, function);
    if (!signature)
        return err << "tcal-cli: " << approvals.error() << '\n', Different;
    out << "record " << *number << ' ' << (approver ? "approved" : "reviewed") << " by " << signer->name() << " (" << login
        << ")\n";
    return Success;
}

} // namespace cli
