// Every kind of file the tool writes, on a full tmpfs: success said leaves the
// whole file; a failure says why and leaves the old file, nothing beside it. A
// database on the full disk is named for what it is. Two processes noting heads
// at once keep both notes; damaged notes are a finding, never no notes.

#include "core/config_file.h"
#include "core/whole_file.h"
#include "diagnostics/csv_log.h"
#include "link/link.h"
#include "record/certificate.h"
#include "record/record_store.h"
#include "record_samples.h"
#include "records_db/anchor.h"
#include "records_db/draft_store.h"
#include "records_db/signing_key.h"
#include "tabs/records_view.h"
#include "tabs/traffic_tab.h"
#include "tabs/trend_tab.h"

#include <QImage>
#include <QLabel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include "records_fixture.h"

#include <QtTest>

#include <functional>
#include <map>

namespace {

struct Outcome {
    Outcome(bool said, const QString &why = QString(), const QString &path = QString()) : said(said), why(why), path(path) {}
    bool said;      // success reported
    QString why;    // what was said when not
    QString path;   // the file written, where the writer names it
};

struct Run {
    int status;
    QString out, err;
};

bool jsonOf(const QByteArray &bytes, const char *format)
{
    const QJsonObject o = QJsonDocument::fromJson(bytes).object();
    return format ? o.value("format").toString() == QLatin1String(format) : !o.isEmpty();
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Notes are only ever added to: every database noted before is noted still.
bool keptEveryNote(const QByteArray &before, const QByteArray &after)
{
    const QJsonObject old = QJsonDocument::fromJson(before).object(), now = QJsonDocument::fromJson(after).object();
    for (auto it = old.begin(); it != old.end(); ++it)
        if (!now.value(it.key()).isObject())
            return false;
    return true;
}

record::Record check(const QString &serial, int minutes)
{
    return recordedCheck(serial, record::Stage::AsFound, QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC).addSecs(60 * minutes),
                         0.1, {0.0, 100.0});
}

} // namespace

class TestWholeFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyWriterOnAFullDisk();
    void headNotesLockedAndWhole();

private:
    Run cli(const QStringList &args, const QMap<QString, QString> &env = {}, const QString &records = QString());
    Outcome importOne(const QString &records, const QMap<QString, QString> &env);
    void fill(qint64 freeBytes);

    QTemporaryDir m_lab, m_mountPoint;
    QString m_full;
    bool m_mounted = false;
    int m_serial = 0;
    QStringList m_signing;
};

void TestWholeFiles::initTestCase()
{
    // Imports are signed by their importer, enrolled in the keyring every run of the tool reads.
    qputenv("TCAL_KEYRING", QFile::encodeName(m_lab.filePath("data/TCal/tcal/keyring.json")));
    m_signing = recordsfixture::signingArguments(m_lab.filePath("data/TCal/tcal"));
    QCOMPARE(importOne(m_lab.filePath("records"), {}).said, true);
    QCOMPARE(cli({"trust", "add"}).status, 0);
}

void TestWholeFiles::cleanupTestCase()
{
    if (m_mounted)
        QProcess::execute("umount", {"-l", m_full});
}

Run TestWholeFiles::cli(const QStringList &args, const QMap<QString, QString> &env, const QString &records)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("XDG_DATA_HOME", m_lab.filePath("data"));
    e.insert("XDG_CONFIG_HOME", m_lab.filePath("config"));
    e.insert("TCAL_KEYRING", m_lab.filePath("data/TCal/tcal/keyring.json"));
    for (auto it = env.begin(); it != env.end(); ++it)
        e.insert(it.key(), it.value());
    p.setProcessEnvironment(e);
    p.start(QStringLiteral(TCAL_CLI_PATH),
            QStringList{"records"} + args + QStringList{"--records", records.isEmpty() ? m_lab.filePath("records") : records});
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// One new check into `records`: its entries stored, its head noted.
Outcome TestWholeFiles::importOne(const QString &records, const QMap<QString, QString> &env)
{
    QTemporaryDir json;
    ++m_serial;
    record::save(check(QStringLiteral("SN-%1").arg(m_serial), m_serial), json.path());
    const Run run = cli(QStringList{"import", json.path()} + m_signing, env, records);
    return {run.status == 0 && run.out.contains("1 imported"), run.err};
}

// Leaves about `freeBytes` free on the mount (tmpfs gives space by the page).
void TestWholeFiles::fill(qint64 freeBytes)
{
    QFile filler(QDir(m_full).filePath("filler"));
    filler.remove();
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(64 * 1024, 'x');
    while (filler.write(block) == block.size()) {
    }
    QVERIFY(filler.resize(std::max<qint64>(0, filler.size() - freeBytes)));
}

void TestWholeFiles::everyWriterOnAFullDisk()
{
    using files::FileKind;
    m_full = m_mountPoint.filePath("full");
    QVERIFY(QDir().mkpath(m_full));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", m_full}) != 0)
        QSKIP("mounting a tmpfs needs root (the suite runs as root here and in CI): the disk-full cases are not run");
    m_mounted = true;
    rtu::Link link;
    TrafficTab traffic(link);
    TrendTab trend(link);
    const QString notes = m_full + "/notes", data = notes + "/data/TCal/tcal";
    QVERIFY(QDir().mkpath(data));
    QVERIFY(QFile::copy(m_lab.filePath("data/TCal/tcal/signing.key"), data + "/signing.key"));
    const QMap<QString, QString> notesEnv{{"XDG_DATA_HOME", notes + "/data"}};
    QVERIFY(importOne(m_lab.filePath("other"), notesEnv).said);   // a second database's note, to be kept
    record::CertificateContent certificate;
    certificate.asFound = check("SN-C", 0);
    certificate.asLeft = check("SN-C", 30);
    certificate.asLeft->stage = record::Stage::AsLeft;

    // Each writer as the tool runs it, and what its whole file is.
    struct Case {
        QString file;
        std::function<Outcome(const QString &, QString &why)> write;
        std::function<bool(const QByteArray &)> whole;   // of the file after a success
    };
    const auto said = [](const Run &r, const char *text) { return Outcome{r.status == 0 && r.out.contains(text), r.err}; };
    const std::map<FileKind, Case> cases{
        {FileKind::Keyring, {"keyring.json", [&](const QString &p, QString &) {
             const QByteArray key = QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, '0');
             return said(cli({"trust", "add", QByteArray(key.repeated(4)), "--name", "K"}, {{"TCAL_KEYRING", p}}), "trusted");
         }, [](const QByteArray &b) { return jsonOf(b, "tcal-keyring"); }}},
        {FileKind::SigningKey, {"signing.key", [](const QString &p, QString &why) {
             return Outcome{bool(recordsdb::SigningKey::create(QFileInfo(p).path(), why, true)), why};
         }, [](const QByteArray &b) { return b.size() == 128 && QByteArray::fromHex(b).toHex() == b; }}},
        {FileKind::HeadNotes, {"notes/data/TCal/tcal/anchors.json", [&](const QString &, QString &) { return importOne(m_lab.filePath("records"), notesEnv); }, [](const QByteArray &b) { return QJsonDocument::fromJson(b).object().size() >= 2; }}},
        {FileKind::Checkpoint, {"head.json", [&](const QString &p, QString &) { return said(cli({"anchor", p}), "written"); },
                                [](const QByteArray &b) { return jsonOf(b, "tcal-records-checkpoint"); }}},
        {FileKind::Certificate, {"certificate.pdf", [&](const QString &p, QString &) { return Outcome{record::writeCertificate(p, certificate)}; },
                                 [](const QByteArray &b) { return b.startsWith("%PDF") && b.trimmed().endsWith("%%EOF"); }}},
        {FileKind::Draft, {QString(), [&](const QString &p, QString &) {
             const auto saved = recordsdb::DraftStore(QFileInfo(p).path()).save(nullptr, check("SN-D", 0), nullptr);
             return Outcome{!saved.draft.isEmpty(), saved.error, saved.draft};
         }, [](const QByteArray &b) { return jsonOf(b, nullptr); }}},
        {FileKind::RecordFile, {QString(), [&](const QString &p, QString &) {
             const QString path = record::save(check("SN-R", 0), QFileInfo(p).path());
             return Outcome{!path.isEmpty(), QString(), path};
         }, [](const QByteArray &b) { return jsonOf(b, "tcal-calibration-record"); }}},
        {FileKind::Export, {"export.csv", [&](const QString &p, QString &) { return said(cli({"export", p, "1"}), ""); },
                            [](const QByteArray &b) { return b.startsWith("record,1\n") && b.endsWith("\n") && b.count('\n') > 10; }}},
        {FileKind::Configuration, {"transmitter.json", [](const QString &p, QString &why) { return Outcome{config::saveFile(p, config::Configuration{}, &why), why}; }, [](const QByteArray &b) { return jsonOf(b, nullptr); }}},
        {FileKind::TrafficText, {"traffic.txt", [&](const QString &p, QString &why) { return Outcome{traffic.exportText(p, &why), why}; },
                                 [](const QByteArray &b) { return b.endsWith("\n") && b.count('\n') >= 2; }}},
        {FileKind::TrendImage, {"trend.png", [&](const QString &p, QString &why) { return Outcome{trend.exportPng(p, &why), why}; },
                                [](const QByteArray &b) { return !QImage::fromData(b, "PNG").isNull(); }}},
    };
    for (FileKind kind : files::allFileKinds())
        QVERIFY2(cases.count(kind), qPrintable("no disk-full case for the " + files::fileKindName(kind)));

    const QVector<qint64> freeSizes{0, 4096, 16384, 65536};
    int tried = 0, whole = 0, kept = 0;
    QStringList broke;
    for (const auto &[kind, c] : cases) {
        const QString name = files::fileKindName(kind);
        const QString dir = m_full + "/" + QString::number(int(kind));
        QVERIFY(QDir().mkpath(dir));
        QFile::remove(QDir(m_full).filePath("filler"));
        const QString target = c.file.isEmpty() ? dir + "/named" : c.file.contains('/') ? m_full + "/" + c.file : dir + "/" + c.file;
        QString why;
        const Outcome first = c.write(target, why);
        const QString path = first.path.isEmpty() ? target : first.path;
        QVERIFY2(first.said && c.whole(bytesOf(path)), qPrintable(name + " not written with room: " + first.why));
        for (int round = 0; round < 2 * freeSizes.size(); ++round) {
            // Over the file written before, then where there is none yet.
            const bool over = round < freeSizes.size();
            const qint64 free = freeSizes.at(round % freeSizes.size());
            if (!over)
                QFile::remove(path);
            ++tried;
            const QByteArray before = bytesOf(path);
            const QStringList around = QDir(QFileInfo(path).path()).entryList(QDir::Files);
            fill(free);
            why.clear();
            const Outcome o = c.write(path, why);
            const QByteArray after = bytesOf(o.path.isEmpty() ? path : o.path);
            const QStringList left = QDir(QFileInfo(path).path()).entryList(QDir::Files);
            const QString at = QStringLiteral("%1 %2 with %3 bytes free: ").arg(name, over ? "over the old" : "new").arg(free);
            if (o.said && c.whole(after) && (kind != FileKind::HeadNotes || keptEveryNote(before, after)))
                ++whole;
            else if (o.said)
                broke << at + QStringLiteral("success said over a file of %1 bytes, not whole").arg(after.size());
            else if (after != before || left != around)
                broke << at + QStringLiteral("failed, and the file or its folder changed: %1 -> %2").arg(around.join(' '), left.join(' '));
            else if (o.why.isEmpty() && kind != FileKind::Certificate && kind != FileKind::RecordFile)
                broke << at + QStringLiteral("failed without a reason");
            else
                ++kept;
        }
    }

    // The database itself on the full disk: an append fails as what it is.
    const QString full = m_full + "/db";
    QVERIFY(QDir().mkpath(full));
    QFile::remove(QDir(m_full).filePath("filler"));
    QVERIFY(importOne(full, {}).said);
    for (qint64 free : freeSizes) {
        ++tried;
        fill(free);
        const Outcome o = importOne(full, {});
        if (o.said)
            ++whole;
        else if (o.why.contains("schema -1") || o.why.isEmpty())
            broke << QStringLiteral("database with %1 bytes free: %2").arg(free).arg(o.why.trimmed());
        else
            ++kept;
    }
    // The running CSV log is no whole file: a row the disk does not take stops it, said.
    for (qint64 free : freeSizes) {
        ++tried;
        QFile::remove(m_full + "/trend.csv");
        fill(free);
        diag::CsvLog log;
        const bool started = log.start(m_full + "/trend.csv", nullptr);
        for (int row = 0; row < 20000 && log.isOpen(); ++row)
            log.writePoll(reg::LiveValues{}, std::nullopt, QStringLiteral("OK"));
        if (started && log.failure().isEmpty())
            broke << QStringLiteral("CSV log with %1 bytes free: every row taken on a full disk").arg(free);
        else
            ++kept;
    }
    // A check the window stored while its head could not be noted: the records view says so.
    {
        QFile::remove(QDir(m_full).filePath("filler"));
        recordsdb::DbSettings s = recordsdb::sqliteIn(m_lab.filePath("window"));
        s.dataFolder = data;
        recordsdb::RecordDb db;
        QVERIFY2(db.open(s) && recordsfixture::trustOwnKey(db), qPrintable(db.error()));
        const recordsdb::PersonSigner chen = recordsfixture::performer(db);
        fill(0);
        ++tried;
        const bool stored = bool(db.append(check("SN-W", 0), chen));
        RecordsView view({[&](bool) { return &db; }, [] { return QString(); }, {}});
        view.setLanguage(2);
        view.refresh();
        const QString said = view.findChild<QLabel *>("label_records_status")->text();
        if (!stored || db.headNoteProblem().isEmpty() || !said.contains("could not note the head"))
            broke << QStringLiteral("window store with its head not noted: stored %1, said \"%2\"").arg(stored).arg(said);
        else
            ++kept;
    }
    qInfo("disk full: %d cases (%d kinds of file, each over an old one and new, the database, the CSV log and a window store; %d free sizes):"
          " %d written whole, %d failed with the reason and the old file kept, %d broke",
          tried, int(cases.size()), int(freeSizes.size()), whole, kept, int(broke.size()));
    QVERIFY2(broke.isEmpty(), qPrintable(broke.join('\n')));
}

// Two writers of the notes at once, each its own database: every note a
// writer reads back after writing it is at least the one it wrote.
void TestWholeFiles::headNotesLockedAndWhole()
{
    QTemporaryDir data;
    constexpr int kNotes = 150;
    QProcess writers[2];
    for (int i : {0, 1}) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("TCAL_NOTES_WRITER", QStringLiteral("%1,%2,%3").arg(data.path(), i ? "B" : "A").arg(kNotes));
        writers[i].setProcessEnvironment(e);
        writers[i].start(QCoreApplication::applicationFilePath(), QStringList());
    }
    int lost = 0;
    for (QProcess &p : writers)
        lost += p.waitForFinished(120000) ? p.exitCode() : kNotes;
    QString why;
    const auto heads = recordsdb::localAnchors(data.path(), why);
    qInfo("head notes: 2 processes noting %d heads each at once: %d notes lost", kNotes, lost);
    QCOMPARE(lost, 0);
    QVERIFY2(heads && heads->value("A").count == kNotes && heads->value("B").count == kNotes, qPrintable(why));

    // One stray byte: verify says the notes are damaged, and nothing is appended on them.
    // The checkpoint's own entry, not the head's, after more was stored.
    const QString head = m_lab.filePath("head.json");
    QCOMPARE(cli({"anchor", head}).status, 0);
    QVERIFY(importOne(m_lab.filePath("records"), {}).said);
    const Run checked = cli({"verify", "--anchor", head});
    const int entry = QJsonDocument::fromJson(bytesOf(head)).object().value("count").toInt();
    QVERIFY2(checked.out.contains(QStringLiteral("checkpoint of entry %1 signed by").arg(entry)), qPrintable(checked.out));
    QFile notes(m_lab.filePath("data/TCal/tcal/anchors.json"));
    QVERIFY(notes.open(QIODevice::Append) && notes.write("x") == 1);
    notes.close();
    const Run verify = cli({"verify"});
    QVERIFY2(verify.status == 1 && verify.out.contains("are damaged"), qPrintable(verify.out));
    QVERIFY(importOne(m_lab.filePath("records"), {}).why.contains("are damaged"));
}

namespace {

// A child of headNotesLockedAndWhole: notes FOLDER,DATABASE,COUNT heads one
// after another; its exit status is how many it did not read back.
int noteHeads(const QStringList &job)
{
    int lost = 0;
    for (int n = 1; n <= job.value(2).toInt(); ++n) {
        QString why;
        const QByteArray hash = QCryptographicHash::hash(QByteArray::number(n), QCryptographicHash::Sha256).toHex();
        if (!recordsdb::noteLocalAnchor(job.at(0), job.at(1), {n, hash, "s"}, why))
            ++lost;
        const auto heads = recordsdb::localAnchors(job.at(0), why);
        lost += !heads || heads->value(job.at(1)).count < n;
    }
    return std::min(lost, 100);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("TCAL_NOTES_WRITER")) {
        QCoreApplication app(argc, argv);
        return noteHeads(qEnvironmentVariable("TCAL_NOTES_WRITER").split(','));
    }
    QApplication app(argc, argv);
    TestWholeFiles test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_whole_files.moc"
