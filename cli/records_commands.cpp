#include "records_commands.h"

#include "certificate_commands.h"
#include "person_commands.h"
#include "signer_input.h"
#include "core/csv_field.h"
#include "record/record_csv.h"
#include "record/record_table.h"
#include "record/record_validation.h"
#include "records_db/record_db.h"
#include "records_db/certificate_store.h"
#include "records_db/reverse_trace.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSysInfo>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace cli {

const char kRecordsHelp[] =
    "  records list [SERIAL]        the stored checks as CSV (--json: JSON): number,\n"
    "                               start (local time and offset), serial, tag, stage,\n"
    "                               verdict, amended number, superseded by\n"
    "  records show NUMBER          one check as JSON\n"
    "  records verify [--anchor FILE]  re-computes the signed chain in one read;\n"
    "                               exit status 1 with what is wrong named\n"
    "  records anchor FILE          a signed checkpoint of the chain's head into FILE\n"
    "  records export FILE NUMBER.. the checks as CSV (--json: JSON) into FILE, with\n"
    "                               their record, amended, superseding and certificate\n"
    "                               numbers\n"
    "  records import FOLDER --person NAME\n"
    "                               the JSON record files of FOLDER, each once, each\n"
    "                               signed performed by NAME\n"
    "  records migrate              brings a database of an earlier schema up to date;\n"
    "                               an earlier chain is adopted in a signed entry\n"
    "  records key show|new         this workstation's public key; a new one (--reason\n"
    "                               TEXT), registered in the chain, the old kept aside\n"
    "  records trust list|add|revoke  the keyring of trusted keys (TCAL_KEYRING or\n"
    "                               keyring.json; on PostgreSQL its owner's table):\n"
    "                               add [PUBLIC_KEY] [--name TEXT] (this workstation's\n"
    "                               key when none is given), revoke FINGERPRINT: from\n"
    "                               the next entry of this chain on; what it signed\n"
    "                               before stays valid\n"
    "  records by-reference REF [--since DATE]\n"
    "                               every check made with the reference instrument (name\n"
    "                               or certificate number) REF: number, start, serial,\n"
    "                               tag, stage, verdict, reference, its certificate, the\n"
    "                               current certificates issued on the check\n"
    "  records init-server WRITER   PostgreSQL, as the schema's owner: makes the\n"
    "                               schema and lets role WRITER read and append only\n"
    "                               --records FOLDER picks the records folder (SQLite);\n"
    "                               TCAL_DB_HOST/PORT/NAME/USER select PostgreSQL, the\n"
    "                               password from TCAL_DB_PASSWORD or a prompt\n";

namespace {

// Asked on the terminal without echo; never stored; taken as typed, spaces included.
QString promptPassword()
{
    if (!isatty(STDIN_FILENO))
        return QString();
    std::fprintf(stderr, "PostgreSQL password: ");
    termios old {};
    tcgetattr(STDIN_FILENO, &old);
    termios quiet = old;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    char line[1024] = {};
    const bool read = std::fgets(line, sizeof line, stdin) != nullptr;
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::fprintf(stderr, "\n");
    QString typed = read ? QString::fromLocal8Bit(line) : QString();
    while (typed.endsWith(QLatin1Char('\n')) || typed.endsWith(QLatin1Char('\r')))
        typed.chop(1);
    return typed;
}

bool numbers(const QStringList &texts, QVector<qint64> &out, QTextStream &err)
{
    for (const QString &t : texts) {
        bool ok = false;
        const qint64 n = t.toLongLong(&ok);
        if (!ok || n <= 0) {
            err << "tcal-cli: \"" << t << "\" is not a record number\n";
            return false;
        }
        out << n;
    }
    return !out.isEmpty();
}

QStringList listCells(const recordsdb::StoredRecord &s)
{
    const record::Record &r = s.record;
    return {QString::number(r.id), record::localTimeText(r.started), r.header.serial, r.header.tag,
            record::stageKey(r.stage), record::verdictText(record::verdict(r), 2).toLower(),
            r.amendment ? QString::number(r.amendment->supersedes) : QString(),
            s.supersededBy ? QString::number(s.supersededBy) : QString()};
}

int list(recordsdb::RecordDb &db, const QString &serial, bool json, QTextStream &out, QTextStream &err)
{
    const auto rows = db.list(serial);
    if (!rows)
        return err << "tcal-cli: " << db.error() << '\n', FileError;
    static const QStringList kNames{"number", "started", "serial", "tag", "stage", "verdict", "amends",
                                    "superseded_by"};
    QJsonArray array;
    if (!json)
        out << kNames.join(QLatin1Char(',')) << "\r\n";
    for (const recordsdb::StoredRecord &s : *rows) {
        QStringList cells = listCells(s);
        if (json) {
            QJsonObject o;
            for (int i = 0; i < kNames.size(); ++i)
                o.insert(kNames[i], cells[i]);
            array.append(o);
            continue;
        }
        // RFC 4180, typed text guarded against spreadsheet formulas.
        for (QString &c : cells)
            c = csv::textField(c);
        out << cells.join(QLatin1Char(',')) << "\r\n";
    }
    if (json)
        out << QJsonDocument(array).toJson();
    return Success;
}

std::optional<QJsonObject> readCheckpointFile(const QString &path, QTextStream &err)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return err << "tcal-cli: cannot read " << path << '\n', std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(f.read(64 * 1024));
    if (!doc.isObject())
        return err << "tcal-cli: " << path << " is not a checkpoint\n", std::nullopt;
    return doc.object();
}

int verify(recordsdb::RecordDb &db, const QString &anchor, QTextStream &out, QTextStream &err)
{
    std::optional<QJsonObject> checkpoint;
    if (!anchor.isEmpty() && !(checkpoint = readCheckpointFile(anchor, err)))
        return FileError;
    const recordsdb::ChainReport report = db.verify(checkpoint);
    if (!report.intact()) {
        for (const recordsdb::ChainFault &f : report.faults)
            out << (f.number ? QStringLiteral("entry %1 %2: ").arg(f.number).arg(f.serial) : QStringLiteral("database: "))
                << f.what << '\n';
        return Different;
    }
    out << report.records << " records in " << report.checked << " entries, chain intact\n";
    for (const QString &adoption : report.adoptions)
        out << adoption << '\n';
    if (report.workstationSignatures > 0)
        out << report.workstationSignatures << " signatures from before persons' keys: a name under the workstation's key\n";
    out << "signed by " << (report.keys.isEmpty() ? QStringLiteral("no key") : report.keys.join(QStringLiteral(", ")))
        << '\n';
    if (!report.checkpointKey.isEmpty())
        out << "checkpoint of entry " << report.head.count << " signed by " << report.checkpointKey << '\n';
    return Success;
}

int anchor(recordsdb::RecordDb &db, const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (args.size() != 1)
        return err << "tcal-cli: records anchor FILE\n", UsageError;
    const auto checkpoint = db.checkpoint();
    if (!checkpoint)
        return err << "tcal-cli: " << db.error() << '\n', Different;
    QSaveFile f(args.at(0));
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(*checkpoint).toJson()) <= 0 || !f.commit())
        return err << "tcal-cli: cannot write " << args.at(0) << '\n', FileError;
    out << "checkpoint of entry " << checkpoint->value("count").toInt() << " written to " << args.at(0) << '\n';
    return Success;
}

// The certificate numbers issued for each record number.
QHash<qint64, QStringList> certificatesOf(recordsdb::RecordDb &db)
{
    QHash<qint64, QStringList> certificates;
    for (const recordsdb::ChainEntry &e : db.entries(QStringLiteral("certificate")).value_or(QVector<recordsdb::ChainEntry>())) {
        for (const char *key : {"asFound", "asLeft"}) {
            if (const qint64 n = qint64(e.content.value(key).toDouble()))
                certificates[n] << QString::number(e.number);
        }
    }
    return certificates;
}

// The checks as the tab's CSV, led by what the database knows of them: their
// numbers, what they amend, what superseded them and their certificates; or
// with `json` an array of those and each check's content.
int exportChecks(recordsdb::RecordDb &db, const QStringList &args, bool json, QTextStream &err)
{
    QVector<qint64> wanted;
    if (args.size() < 2 || !numbers(args.mid(1), wanted, err))
        return err << "tcal-cli: records export FILE NUMBER... [--json]\n", UsageError;
    QVector<record::Record> checks;
    QStringList rows[4] = {{"record"}, {"amends"}, {"superseded by"}, {"certificates"}};
    QJsonArray array;
    const auto certificates = certificatesOf(db);
    for (qint64 n : wanted) {
        const auto s = db.find(n);
        if (!s)
            return err << "tcal-cli: " << db.error() << '\n', FileError;
        checks << s->record;
        rows[0] << QString::number(n);
        rows[1] << (s->record.amendment ? QString::number(s->record.amendment->supersedes) : QString());
        rows[2] << (s->supersededBy ? QString::number(s->supersededBy) : QString());
        rows[3] << certificates.value(n).join(QLatin1Char(' '));
        array.append(QJsonObject{{"record", double(n)}, {"supersededBy", double(s->supersededBy)},
                                 {"certificates", QJsonArray::fromStringList(certificates.value(n))},
                                 {"content", record::toJson(s->record)}});
    }
    QString text;
    for (const QStringList &row : rows)
        text += row.join(QLatin1Char(',')) + QLatin1Char('\n');
    const QByteArray bytes = json ? QJsonDocument(array).toJson() : (text + record::toCsv(checks)).toUtf8();
    QSaveFile f(args.at(0));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        return err << "tcal-cli: cannot write " << args.at(0) << '\n', FileError;
    return Success;
}

// The checks a reference instrument found out of tolerance may have misjudged.
int byReference(recordsdb::RecordDb &db, const QStringList &args, const QDate &since, QTextStream &out, QTextStream &err)
{
    if (args.size() != 1 || args.at(0).trimmed().isEmpty())
        return err << "tcal-cli: records by-reference REF [--since DATE]\n", UsageError;
    const auto records = db.list();
    if (!records)
        return err << "tcal-cli: " << db.error() << '\n', FileError;
    recordsdb::CertificateStore certificates(db);
    out << "number,started,serial,tag,stage,verdict,reference,reference_certificate,certificates\r\n";
    for (const recordsdb::StoredRecord &s : recordsdb::checksWithReference(*records, args.at(0), since)) {
        const record::Record &r = s.record;
        QStringList numbers;
        for (qint64 n : certificates.certifying(r.id))
            numbers << QString::number(n);
        out << r.id << ',' << record::localTimeText(r.started) << ',' << csv::textField(r.header.serial) << ','
            << csv::textField(r.header.tag) << ',' << record::stageKey(r.stage) << ','
            << record::verdictText(record::verdict(r), 2).toLower() << ',' << csv::textField(r.header.reference) << ','
            << csv::textField(r.header.referenceCertificate) << ',' << numbers.join(QLatin1Char(' ')) << "\r\n";
    }
    return Success;
}

int import(recordsdb::RecordDb &db, const Invocation &inv, const QStringList &args, QTextStream &out, QTextStream &err)
{
    const QString &offset = inv.assumeOffset;
    if (args.size() != 1)
        return err << "tcal-cli: records import FOLDER --person NAME [--assume-offset +HH:MM]\n", UsageError;
    const auto seconds = record::parseOffset(offset);
    if (!offset.isEmpty() && !seconds)
        return err << "tcal-cli: \"" << offset << "\" is not an offset such as +08:00\n", UsageError;
    const auto importer = unlockPerson(db, inv, err);
    if (!importer)
        return Different;
    const recordsdb::ImportReport r = db.importFolder(args.at(0), *importer, seconds);
    if (!r.refused.isEmpty())
        return err << "tcal-cli: nothing imported: " << r.refused << '\n', FileError;
    out << r.imported << " imported, " << r.already << " already stored\n";
    for (const QString &name : r.unreadable)
        err << "tcal-cli: left out: " << name << '\n';
    return r.unreadable.isEmpty() ? Success : FileError;
}

// records key show|new: this workstation's key; a new one only on purpose, with its reason in the chain.
int key(recordsdb::RecordDb &db, const QStringList &args, const QString &reason, QTextStream &out, QTextStream &err)
{
    if (args == QStringList{"show"}) {
        QString why;
        const auto k = recordsdb::SigningKey::load(db.settings().dataFolder, why);
        if (!k)
            return err << "tcal-cli: " << why << '\n', FileError;
        return out << k->publicKey() << ' ' << k->fingerprint() << '\n', Success;
    }
    if (args != QStringList{"new"} || reason.isEmpty())
        return err << "tcal-cli: records key show | records key new --reason TEXT\n", UsageError;
    const auto fingerprint = db.newKey(reason);
    if (!fingerprint)
        return err << "tcal-cli: " << db.error() << '\n', FileError;
    out << "new signing key " << *fingerprint << " registered; `tcal-cli records trust add` trusts it\n";
    return Success;
}

int trust(recordsdb::RecordDb &db, const QStringList &args, const QString &name, QTextStream &out, QTextStream &err)
{
    const QString what = args.value(0);
    if (what == QLatin1String("list") && args.size() == 1) {
        const auto keys = db.keyring();
        if (!keys)
            return err << "tcal-cli: " << db.error() << '\n', FileError;
        out << "fingerprint,name,added,revoked,public_key\r\n";
        for (const recordsdb::TrustedKey &k : *keys)
            out << k.fingerprint << ',' << csv::textField(k.name) << ',' << k.added << ',' << k.revoked << ','
                << k.publicKey << "\r\n";
        return Success;
    }
    if (what == QLatin1String("add") && args.size() <= 2) {
        QByteArray publicKey = args.value(1).toLatin1();
        QString keyName = name;
        if (publicKey.isEmpty()) {
            QString why;
            const auto k = recordsdb::SigningKey::load(db.settings().dataFolder, why);
            if (!k)
                return err << "tcal-cli: " << why << '\n', FileError;
            publicKey = k->publicKey();
            if (keyName.isEmpty())
                keyName = QSysInfo::machineHostName();
        }
        if (!db.trust(publicKey, keyName))
            return err << "tcal-cli: " << db.error() << '\n', FileError;
        return out << "trusted " << recordsdb::SigningKey::fingerprintOf(publicKey) << '\n', Success;
    }
    if (what == QLatin1String("revoke") && args.size() == 2) {
        if (!db.revoke(args.at(1).toLatin1()))
            return err << "tcal-cli: " << db.error() << '\n', FileError;
        return out << "revoked " << args.at(1) << '\n', Success;
    }
    return err << "tcal-cli: records trust list | add [PUBLIC_KEY] [--name TEXT] | revoke FINGERPRINT\n", UsageError;
}

int show(recordsdb::RecordDb &db, const QStringList &args, QTextStream &out, QTextStream &err)
{
    QVector<qint64> wanted;
    if (args.size() != 1 || !numbers(args, wanted, err))
        return err << "tcal-cli: records show NUMBER\n", UsageError;
    const auto s = db.find(wanted.first());
    if (!s)
        return err << "tcal-cli: " << db.error() << '\n', FileError;
    out << QJsonDocument(record::toJson(s->record)).toJson();
    return Success;
}

} // namespace

bool openDatabase(recordsdb::RecordDb &db, const QString &folder, recordsdb::RecordDb::Mode mode, QTextStream &err,
                  recordsdb::DbSettings *used)
{
    recordsdb::DbSettings settings = recordsdb::fromEnvironment(folder.isEmpty() ? recordsdb::defaultRecordsFolder() : folder);
    if (settings.kind == recordsdb::DbSettings::Kind::Postgres && settings.password.isEmpty())
        settings.password = promptPassword();
    if (used)
        *used = settings;
    if (db.open(settings, mode))
        return true;
    err << "tcal-cli: " << db.error() << '\n';
    return false;
}

int runRecords(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    const QStringList &args = inv.arguments;
    const QString what = args.value(0);
    static const QStringList known = {"list", "show", "verify", "anchor", "export", "import", "init-server",
                                      "by-reference", "certificate", "approve", "migrate", "key", "trust",
                                      "person"};
    if (!known.contains(what))
        return err << "tcal-cli: records takes list, show, verify, anchor, export, import, init-server, by-reference,"
                      " certificate, approve, migrate, key, trust or person\n", UsageError;
    recordsdb::RecordDb db;
    // Only an import (or the owner's set-up) makes a database; reading commands
    // open it read-only; only migrate changes its schema. Those that append
    // (certificate, approve, key new) open an existing one for writing.
    using Mode = recordsdb::RecordDb::Mode;
    const bool makes = what == QLatin1String("import") || what == QLatin1String("init-server")
                       || (what == QLatin1String("person") && args.value(1) == QLatin1String("enrol"));
    const bool appends = what == QLatin1String("certificate") || what == QLatin1String("approve")
                         || (what == QLatin1String("key") && args.value(1) == QLatin1String("new"))
                         || (what == QLatin1String("trust") && args.value(1) != QLatin1String("list"));
    const Mode mode = what == QLatin1String("migrate") ? Mode::Migrate
                      : makes                         ? Mode::Create
                      : appends                       ? Mode::Existing
                                                      : Mode::ExistingOnly;
    recordsdb::DbSettings settings;
    if (!openDatabase(db, inv.recordsFolder, mode, err, &settings))
        return FileError;
    const QStringList rest = args.mid(1);
    if (what == QLatin1String("by-reference"))
        return byReference(db, rest, inv.since, out, err);
    if (what == QLatin1String("certificate"))
        return certificate(db, inv, rest, out, err);
    if (what == QLatin1String("approve"))
        return approve(db, inv, rest, out, err);
    if (what == QLatin1String("list"))
        return rest.size() > 1 ? (err << "tcal-cli: records list [SERIAL]\n", UsageError)
                               : list(db, rest.value(0), inv.json, out, err);
    if (what == QLatin1String("verify"))
        return verify(db, inv.anchor, out, err);
    if (what == QLatin1String("anchor"))
        return anchor(db, rest, out, err);
    if (what == QLatin1String("export"))
        return exportChecks(db, rest, inv.json, err);
    if (what == QLatin1String("import"))
        return import(db, inv, rest, out, err);
    if (what == QLatin1String("person"))
        return person(db, inv, rest, out, err);
    if (what == QLatin1String("migrate"))
        return rest.isEmpty() ? (out << recordsdb::describe(settings) << " is of schema " << db.schemaVersion() << '\n', Success)
                              : (err << "tcal-cli: records migrate\n", UsageError);
    if (what == QLatin1String("key"))
        return key(db, rest, inv.reason, out, err);
    if (what == QLatin1String("trust"))
        return trust(db, rest, inv.name, out, err);
    if (what == QLatin1String("init-server")) {
        if (rest.size() != 1)
            return err << "tcal-cli: records init-server WRITER\n", UsageError;
        if (!db.grantWriter(rest.at(0)))
            return err << "tcal-cli: " << db.error() << '\n', FileError;
        return out << rest.at(0) << " may read and append to " << recordsdb::describe(settings) << '\n', Success;
    }
    return show(db, rest, out, err);
}

} // namespace cli
