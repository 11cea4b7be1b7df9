#include "records_commands.h"

#include "commands.h"
#include "record/record_csv.h"
#include "record/record_table.h"
#include "core/csv_field.h"
#include "records_db/record_db.h"
#include "records_db/reverse_trace.h"

#include <QDir>
#include <QJsonDocument>
#include <QStandardPaths>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace cli {

const char kRecordsHelp[] =
    "  records list [SERIAL]        the stored checks: number, start (local time and\n"
    "                               offset), serial, stage, verdict, amended number\n"
    "  records show NUMBER          one check as JSON\n"
    "  records verify               re-computes the hash chain; exit status 1 and the\n"
    "                               altered records named when it is broken\n"
    "  records export FILE NUMBER.. the checks as CSV into FILE\n"
    "  records import FOLDER        the JSON record files of FOLDER, each once\n"
    "  records by-reference REF [--since DATE]\n"
    "                               every check made with the reference instrument (name\n"
    "                               or certificate number) REF: number, start, serial,\n"
    "                               tag, stage, verdict, reference, its certificate\n"
    "                               --records FOLDER picks the records folder (SQLite);\n"
    "                               TCAL_DB_HOST/PORT/NAME/USER select PostgreSQL, the\n"
    "                               password from TCAL_DB_PASSWORD or a prompt\n";

namespace {

QString defaultFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("TCal/tcal/records"));
}

// Asked on the terminal without echo; never stored.
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
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, stdin) != nullptr;
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::fprintf(stderr, "\n");
    return read ? QString::fromLocal8Bit(line).trimmed() : QString();
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

int list(recordsdb::RecordDb &db, const QString &serial, QTextStream &out)
{
    out << "number,started,serial,tag,stage,verdict,amends,superseded_by\n";
    for (const recordsdb::StoredRecord &s : db.list(serial)) {
        const record::Record &r = s.record;
        out << r.id << ',' << record::localTimeText(r.started) << ',' << r.header.serial << ','
            << r.header.tag << ',' << record::stageKey(r.stage) << ','
            << record::verdictText(record::verdict(r), 2).toLower() << ','
            << (r.amendment ? QString::number(r.amendment->supersedes) : QString()) << ','
            << (s.supersededBy ? QString::number(s.supersededBy) : QString()) << '\n';
    }
    return Success;
}

int verify(recordsdb::RecordDb &db, QTextStream &out)
{
    const recordsdb::ChainReport report = db.verify();
    if (report.intact()) {
        out << report.checked << " records, chain intact\n";
        return Success;
    }
    for (const recordsdb::ChainFault &f : report.faults)
        out << "record " << f.number << ' ' << f.serial << ": " << f.what << '\n';
    return Different;
}

int exportCsv(recordsdb::RecordDb &db, const QStringList &args, QTextStream &err)
{
    QVector<qint64> wanted;
    if (args.size() < 2 || !numbers(args.mid(1), wanted, err))
        return err << "tcal-cli: records export FILE NUMBER...\n", UsageError;
    QVector<record::Record> checks;
    for (qint64 n : wanted) {
        const auto s = db.find(n);
        if (!s)
            return err << "tcal-cli: no record " << n << '\n', FileError;
        checks << s->record;
    }
    if (!record::writeCsv(args.at(0), checks, false))
        return err << "tcal-cli: cannot write " << args.at(0) << '\n', FileError;
    return Success;
}

// The checks a reference instrument found out of tolerance may have misjudged.
int byReference(recordsdb::RecordDb &db, const QString &reference, const QDate &since, QTextStream &out)
{
    out << "number,started,serial,tag,stage,verdict,reference,reference_certificate\n";
    for (const recordsdb::StoredRecord &s : recordsdb::checksWithReference(db.list(), reference, since)) {
        const record::Record &r = s.record;
        out << r.id << ',' << record::localTimeText(r.started) << ',' << csv::textField(r.header.serial) << ','
            << csv::textField(r.header.tag) << ',' << record::stageKey(r.stage) << ','
            << record::verdictText(record::verdict(r), 2).toLower() << ',' << csv::textField(r.header.reference) << ','
            << csv::textField(r.header.referenceCertificate) << '\n';
    }
    return Success;
}

} // namespace

bool openDatabase(recordsdb::RecordDb &db, const QString &folder, QTextStream &err)
{
    recordsdb::DbSettings settings = recordsdb::fromEnvironment(folder.isEmpty() ? defaultFolder() : folder);
    if (settings.kind == recordsdb::DbSettings::Kind::Postgres && settings.password.isEmpty())
        settings.password = promptPassword();
    if (db.open(settings))
        return true;
    err << "tcal-cli: " << db.error() << '\n';
    return false;
}

int runRecords(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    const QStringList &args = inv.arguments;
    const QString what = args.value(0);
    static const QStringList known = {"list", "show", "verify", "export", "import", "by-reference"};
    if (!known.contains(what))
        return err << "tcal-cli: records takes list, show, verify, export, import or by-reference\n", UsageError;
    if (what == QLatin1String("by-reference") && (args.size() != 2 || args.at(1).trimmed().isEmpty()))
        return err << "tcal-cli: records by-reference REF [--since DATE]\n", UsageError;
    recordsdb::RecordDb db;
    if (!openDatabase(db, inv.recordsFolder, err))
        return FileError;
    if (what == QLatin1String("by-reference"))
        return byReference(db, args.at(1), inv.since, out);
    if (what == QLatin1String("list"))
        return list(db, args.value(1), out);
    if (what == QLatin1String("verify"))
        return verify(db, out);
    if (what == QLatin1String("export"))
        return exportCsv(db, args.mid(1), err);
    if (what == QLatin1String("import")) {
        if (args.size() != 2)
            return err << "tcal-cli: records import FOLDER\n", UsageError;
        const recordsdb::ImportReport r = db.importFolder(args.at(1));
        out << r.imported << " imported, " << r.already << " already stored\n";
        for (const QString &name : r.unreadable)
            err << "tcal-cli: not a record, left out: " << name << '\n';
        return r.unreadable.isEmpty() ? Success : FileError;
    }
    QVector<qint64> wanted;
    if (args.size() != 2 || !numbers(args.mid(1), wanted, err))
        return err << "tcal-cli: records show NUMBER\n", UsageError;
    const auto s = db.find(wanted.first());
    if (!s)
        return err << "tcal-cli: no record " << wanted.first() << '\n', FileError;
    out << QJsonDocument(record::toJson(s->record)).toJson();
    return Success;
}

} // namespace cli
