// The records database on both servers through the same code: append-only
// records, amendments, the signed chain and its verification against rows
// altered, re-hashed, cut short, emptied and rebuilt with plain SQL, a damaged
// file, certificate numbers, the JSON import, drafts kept while the database
// is held, two processes opening and writing at once while verify runs, the
// owner and writer roles in a schema of their own, and a database of the
// earlier schema moving in. PostgreSQL is a real throw-away server.

#include "pg_cluster.h"
#include "record/record_store.h"
#include "record_samples.h"
#include "records_db/draft_store.h"
#include "records_db/approvals.h"
#include "records_db/persons.h"
#include "records_db/certificate_store.h"
#include "records_db/instrument_register.h"
#include "records_db/record_db.h"
#include "records_db/record_hash.h"
#include "records_db/standards_register.h"
#include "records_fixture.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

using namespace recordsdb;
using record::Record;
using record::Stage;
using recordsfixture::trustOwnKey;

namespace {

Record check(const QString &serial, Stage stage, int minutes, double offset)
{
    return recordedCheck(serial, stage, QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC).addSecs(60 * minutes), offset);
}

// A child process, opening a new database at the same moment as its sibling:
// imports the folder of TCAL_TEST_IMPORT, then appends records and issues
// certificate numbers, one per line.
int writer(const QString &name, int count)
{
    RecordDb db;
    if (!db.open(fromEnvironment(qEnvironmentVariable("TCAL_TEST_FOLDER"))))
        return QTextStream(stderr) << db.error(), 1;
    if (!db.importFolder(qEnvironmentVariable("TCAL_TEST_IMPORT"), recordsfixture::performer(db)).unreadable.isEmpty())
        return 3;
    QTextStream out(stdout);
    for (int i = 0; i < count; ++i) {
        const auto seq = db.append(check(name, Stage::AsFound, i, 0.1), recordsfixture::performer(db));
        const auto number = seq ? db.issueCertificate(*seq, 0) : std::nullopt;
        if (!number)
            return 2;
        out << *number << '\n';
    }
    return 0;
}

} // namespace

class TestRecordsDb : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void appendAmendAndNumber_data() { backends(); }
    void appendAmendAndNumber();
    void verifyNamesAlteredRows_data() { backends(); }
    void verifyNamesAlteredRows();
    void importJsonOnce_data() { backends(); }
    void importJsonOnce();
    void twoWritersAtOnce_data() { backends(); }
    void twoWritersAtOnce();
    void damagedFileIsNamed();
    void lockedDatabaseKeepsDraft_data() { backends(); }
    void lockedDatabaseKeepsDraft();
    void signedAndCertified_data() { backends(); }
    void signedAndCertified();
    void separationOfDuties();
    void ownerAndWriterRoles();
    void earlierSchemaMovesIntoTheChain();
    void dueDates();
    void standardsRegister_data() { backends(); }
    void standardsRegister();

private:
    void backends();
    DbSettings fresh(QProcessEnvironment *env = nullptr);

    std::unique_ptr<PgCluster> m_pg;
    QTemporaryDir m_dir;
    int m_databases = 0;
};

void TestRecordsDb::initTestCase()
{
    m_pg = std::make_unique<PgCluster>();
    QVERIFY2(m_pg->ok(), qPrintable(m_pg->errorString()));
}

void TestRecordsDb::backends()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

// A new empty database of the row's kind; `env` gets what a child process needs to reach it.
DbSettings TestRecordsDb::fresh(QProcessEnvironment *env)
{
    QFETCH(bool, postgres);
    const QString name = QStringLiteral("records%1").arg(++m_databases);
    DbSettings s = postgres ? m_pg->createDatabase(name) : sqliteIn(m_dir.filePath(name));
    // The key and the heads noted apart from the user's own, the same for a child process.
    s.dataFolder = m_dir.filePath("data/TCal/tcal");
    if (env) {
        env->insert("XDG_DATA_HOME", m_dir.filePath("data"));
        env->insert("TCAL_TEST_FOLDER", m_dir.filePath(name));
        if (postgres) {
            for (const auto &[key, value] : {std::pair{"TCAL_DB_HOST", s.host}, {"TCAL_DB_NAME", s.database},
                                             {"TCAL_DB_USER", s.user}, {"TCAL_DB_PORT", QString::number(s.port)}})
                env->insert(key, value);
        }
    }
    return s;
}

void TestRecordsDb::appendAmendAndNumber()
{
    const DbSettings settings = fresh();
    {
        RecordDb db;
        QVERIFY2(db.open(settings), qPrintable(db.error()));
        QCOMPARE(db.append(check("A1", Stage::AsFound, 0, 3.0), recordsfixture::performer(db)), std::optional<qint64>(1));
        QVERIFY(db.append(check("B2", Stage::AsFound, 1, 0.0), recordsfixture::performer(db)));
        // A correction without a reason, or of another transmitter's record, is refused.
        Record fix = check("A1", Stage::AsFound, 0, 0.1);
        fix.amendment = record::Amendment{1, QString(), "J. Chen"};
        QVERIFY(!db.append(fix, recordsfixture::performer(db)));
        fix.amendment = record::Amendment{2, "calibrator not settled", "J. Chen"};
        QVERIFY(!db.append(fix, recordsfixture::performer(db)));
        fix.amendment->supersedes = 1;
        QCOMPARE(db.append(fix, recordsfixture::performer(db)), std::optional<qint64>(3));
        QCOMPARE(db.issueCertificate(1, 3), std::optional<qint64>(1));
        QCOMPARE(db.issueCertificate(1, 3), std::optional<qint64>(2));
    }
    // Reopened: the schema is not applied twice, both versions are kept, numbers go on.
    RecordDb db;
    QVERIFY2(db.open(settings), qPrintable(db.error()));
    QCOMPARE(db.schemaVersion(), RecordDb::kSchemaVersion);
    const auto a1 = *db.list("A1");
    QCOMPARE(a1.size(), 2);
    QCOMPARE(a1[0].supersededBy, 3);
    QCOMPARE(a1[0].record.points[1].reading, 53.0);   // the first reading is still there
    QCOMPARE(a1[1].record.amendment->supersedes, 1);
    QCOMPARE(db.list()->size(), 3);
    QCOMPARE(db.issueCertificate(1, 3), std::optional<qint64>(3));
    QVERIFY(!db.verify().intact());   // signed by a key the laboratory has not trusted yet
    QVERIFY(trustOwnKey(db));
    QVERIFY(db.verify().intact());

    // The signing key lives outside the database, its owner's only; one others may read is refused.
    QFile key(QDir(settings.dataFolder).filePath("signing.key"));
    QVERIFY(key.exists() && !(key.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)));
    QCOMPARE(db.verify().keys, QStringList{QString::fromLatin1(db.keyFingerprint())});
    QVERIFY(key.setPermissions(key.permissions() | QFileDevice::ReadOther));
    RecordDb again;
    QVERIFY(again.open(settings) && !again.append(check("A1", Stage::AsLeft, 9, 0.0), recordsfixture::performer(again)));
    QVERIFY2(again.error().endsWith("may be read by others: chmod 600 it"), qPrintable(again.error()));
    QVERIFY(key.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
}

// "seq: what" of each fault, the database-wide ones as 0.
QStringList faults(RecordDb &db, const std::optional<QJsonObject> &checkpoint = std::nullopt)
{
    QStringList out;
    for (const ChainFault &f : db.verify(checkpoint).faults)
        out << QStringLiteral("%1: %2").arg(f.number).arg(f.what);
    return out;
}

// Entry 1 is the key, records 1 to 5 at 2, 4 ... 10, each followed by its
// performer's signature, 12 the certificate.
void TestRecordsDb::verifyNamesAlteredRows()
{
    DbSettings settings = fresh();
    RecordDb db;
    QVERIFY2(db.open(settings), qPrintable(db.error()));
    for (int i = 0; i < 5; ++i)
        QVERIFY(db.append(check(QStringLiteral("S%1").arg(i), Stage::AsFound, i, 0.1 * i), recordsfixture::performer(db)));
    QVERIFY(db.issueCertificate(1, 2));
    QVERIFY(trustOwnKey(db));
    const QJsonObject checkpoint = *db.checkpoint();

    // The server refuses plain edits and deletions.
    QSqlQuery q(db.connection());
    QVERIFY(!q.exec("UPDATE entries SET kind = 'x' WHERE seq = 2"));
    QVERIFY(!q.exec("DELETE FROM entries WHERE seq = 7"));
    QVERIFY(db.verify().intact());

    // The guards dropped: verify says so, and the guard names differ per server.
    const QStringList guards = recordsfixture::liftGuards(db.connection());
    QVERIFY(!guards.isEmpty());
    QCOMPARE(db.verify().faults.size(), 2);

    // An edited reading in record 2, then its hash re-computed with the published
    // formula: the signature gives it away, and only entry 4 is named.
    QVERIFY(q.exec("UPDATE entries SET content = REPLACE(content, '\"reading\":50.1', '\"reading\":50') WHERE seq = 4"));
    QVERIFY(faults(db).contains("4: content altered"));
    const ChainEntry forged = db.entries("record")->at(1);
    q.prepare("UPDATE entries SET hash = ? WHERE seq = 4");
    q.addBindValue(QString::fromLatin1(entryHash(4, "record", forged.previousHash, canonicalJson(forged.content))));
    QVERIFY(q.exec());
    // The performer signed the record as it was: the forged one has no performer.
    QCOMPARE(faults(db).mid(2), QStringList({"4: its signature does not match", "5: does not follow the entry before it",
                                             "4: a check stored without its performer's signature"}));

    // A column a list filters by, changed: the list refuses, verify names it.
    QVERIFY(q.exec("UPDATE entries SET number = 9 WHERE seq = 2"));
    QVERIFY(!db.list());
    QVERIFY(faults(db).contains("2: entry 2: its number column differs from its content"));

    // A row whose content no longer reads: named, and the list refuses.
    QVERIFY(q.exec("UPDATE entries SET content = '{\"number\":' WHERE seq = 5"));
    QVERIFY(faults(db).contains("5: entry 5: its content is not readable"));

    // The chain emptied and rebuilt under another key: the head this workstation
    // noted and the filed checkpoint both show it; so does a checkpoint made up.
    QVERIFY(q.exec("DELETE FROM entries"));
    QCOMPARE(faults(db).mid(2), QStringList{"12: entries 1 to 12 are missing (head 12 noted by this workstation)"});
    QVERIFY(!db.append(check("S9", Stage::AsFound, 9, 0.0), recordsfixture::performer(db)));   // nor is the cut hidden by appending on it
    {
        RecordDb other;
        DbSettings elsewhere = settings;
        elsewhere.dataFolder = m_dir.filePath("intruder");
        QVERIFY(other.open(elsewhere));
        // Nothing is appended to a database without its guards; put back, the rebuilding goes on.
        QVERIFY(!other.append(check("S0", Stage::AsFound, 0, 0.0), recordsfixture::performer(other)));
        QVERIFY2(other.error().contains("the append-only guard"), qPrintable(other.error()));
        QVERIFY(recordsfixture::restoreGuards(db.connection(), guards));
        for (int i = 0; i < 6; ++i)
            QVERIFY(other.append(check("S0", Stage::AsFound, i, 0.0), recordsfixture::performer(other)));
        QCOMPARE(other.verify().faults.size(), 13);   // a key nobody trusted
        QCOMPARE(faults(other, checkpoint).last(), "0: the checkpoint is of another database");
    }
    QVERIFY(faults(db).contains("12: the chain was rebuilt: entry 12 differs from the head noted by this workstation"));
    QJsonObject madeUp = checkpoint;
    madeUp.insert("count", 1);
    QCOMPARE(faults(db, madeUp).last(), "0: the checkpoint's signature does not match it");
}

void TestRecordsDb::importJsonOnce()
{
    QTemporaryDir files;
    QVERIFY(!record::save(check("J", Stage::AsFound, 0, 0.4), files.path()).isEmpty());
    QVERIFY(!record::save(check("J", Stage::AsLeft, 30, 0.0), files.path()).isEmpty());
    QFile junk(files.filePath("notes.json"));
    QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("{\"format\":\"other\"}") > 0);
    junk.close();
    const QStringList before = QDir(files.path()).entryList(QDir::Files);

    RecordDb db;
    QVERIFY2(db.open(fresh()), qPrintable(db.error()));
    ImportReport report = db.importFolder(files.path(), recordsfixture::performer(db));
    QCOMPARE(report.imported, 2);
    QCOMPARE(report.unreadable, QStringList{"notes.json: not a calibration record of a known version"});
    report = db.importFolder(files.path(), recordsfixture::performer(db));
    QCOMPARE(report.imported, 0);
    QCOMPARE(report.already, 2);
    QCOMPARE(db.list("J")->at(0).record.stage, Stage::AsFound);
    QCOMPARE(QDir(files.path()).entryList(QDir::Files), before);

    // Each imported record says where it came from: the file, its hash, who and when.
    const QJsonObject provenance = db.entries("record")->at(0).content.value("imported").toObject();
    QVERIFY(provenance.value("file").toString().endsWith(".json"));
    QCOMPARE(provenance.value("sha256").toString().size(), 64);
    QVERIFY(provenance.contains("user") && provenance.contains("at"));
    // They count toward due dates once someone here approved them.
    InstrumentRegister reg(db);
    QVERIFY(reg.save({"TT-J", "J", "", "", "Pt100", 0, 100, "°C", 12, "in service"}));
    QVERIFY(!reg.find("TT-J")->lastAsLeft.isValid());
    QVERIFY(Approvals(db).sign(2, record::Signature::Meaning::Approved, recordsfixture::person(db, "M. Zhou"), "Head"));
    QCOMPARE(reg.find("TT-J")->lastAsLeft, check("J", Stage::AsLeft, 30, 0.0).started.toLocalTime().date());

    // The rules of a live entry: an amendment of another transmitter, of another
    // stage or of no record at all is refused, and the whole import with it.
    for (const auto &[supersedes, serial, stage] : {std::tuple{qint64(1), "OTHER", Stage::AsFound},
                                                    {qint64(1), "J", Stage::AsLeft}, {qint64(99), "J", Stage::AsFound}}) {
        QTemporaryDir bad;
        Record fix = check(serial, stage, 60, 0.0);
        fix.amendment = record::Amendment{supersedes, "typed again", "J. Chen"};
        QVERIFY(!record::save(fix, bad.path()).isEmpty());
        QVERIFY(!record::save(check("NEW", Stage::AsFound, 61, 0.0), bad.path()).isEmpty());
        report = db.importFolder(bad.path(), recordsfixture::performer(db));
        QVERIFY2(report.imported == 0 && report.refused.contains("an amendment needs"), qPrintable(report.refused));
    }
    QVERIFY(db.list("NEW")->isEmpty());

    // A resolution no transmitter has would round any error away.
    QTemporaryDir coarse;
    Record wide = check("R", Stage::AsLeft, 70, 650.0);
    wide.header.resolution = 1000000;
    const QString path = record::save(wide, coarse.path());
    QString why;
    QVERIFY(!path.isEmpty() && !record::load(path, why));
    QVERIFY2(why.contains("resolution"), qPrintable(why));

    // A database another writer holds: an error, not "0 imported".
    QTemporaryDir later;
    QVERIFY(!record::save(check("LOCK", Stage::AsFound, 80, 0.0), later.path()).isEmpty());
    DbSettings busy = db.settings();
    busy.busyMs = 200;
    RecordDb holder, writer;
    QVERIFY(holder.open(busy) && writer.open(busy));
    QSqlQuery hold(holder.connection());
    QVERIFY(recordsfixture::holdWriteLock(hold));
    report = writer.importFolder(later.path(), recordsfixture::performer(writer));
    QVERIFY(report.imported == 0 && !report.refused.isEmpty());
    QVERIFY(hold.exec("ROLLBACK"));
}

void TestRecordsDb::twoWritersAtOnce()
{
    QTemporaryDir files;
    for (int i = 0; i < 6; ++i)
        QVERIFY(!record::save(check("I", Stage::AsFound, i, 0.0), files.path()).isEmpty());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const DbSettings settings = fresh(&env);
    env.insert("TCAL_TEST_IMPORT", files.path());
    constexpr int kEach = 40;
    {   // the performer both writers sign as, enrolled (and dated back) before either starts
        RecordDb first;
        QVERIFY2(first.open(settings), qPrintable(first.error()));
        recordsfixture::performer(first);
    }
    QProcess writers[2];
    for (int i = 0; i < 2; ++i) {
        env.insert("TCAL_TEST_WRITER", QStringLiteral("W%1").arg(i));
        env.insert("TCAL_TEST_COUNT", QString::number(kEach));
        writers[i].setProcessEnvironment(env);
        writers[i].start(QCoreApplication::applicationFilePath(), QStringList());
    }
    // Verified over and over while they write: never a false alarm.
    RecordDb db;
    QTRY_VERIFY_WITH_TIMEOUT(db.open(settings, RecordDb::Mode::ExistingOnly), 30000);
    {
        RecordDb owner;   // the writers' key, once they have made it
        QTRY_VERIFY_WITH_TIMEOUT(owner.open(settings, RecordDb::Mode::Existing) && trustOwnKey(owner), 30000);
    }
    QStringList alarms;
    QElapsedTimer running;
    running.start();
    while ((writers[0].state() != QProcess::NotRunning || writers[1].state() != QProcess::NotRunning)
           && running.elapsed() < 120000) {
        alarms << faults(db);
        QTest::qWait(20);
    }
    QVERIFY2(alarms.isEmpty(), qPrintable(alarms.mid(0, 5).join("\n")));
    QSet<qint64> numbers;
    for (QProcess &w : writers) {
        QVERIFY(w.state() == QProcess::NotRunning);
        QVERIFY2(w.exitCode() == 0, w.readAllStandardError().constData());
        for (const QByteArray &line : w.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                numbers.insert(line.toLongLong());
    }
    QCOMPARE(numbers.size(), 2 * kEach);   // no number handed out twice
    QCOMPARE(db.verify().records, 2 * kEach + 6);   // each imported file once
    QVERIFY(db.verify().intact());
}

// Zeroed pages in the middle of the file: verify says so instead of reading
// up to the damage and calling that the chain.
void TestRecordsDb::damagedFileIsNamed()
{
    DbSettings settings = sqliteIn(m_dir.filePath("damaged"));
    settings.dataFolder = m_dir.filePath("data-damaged");
    {
        RecordDb db;
        QVERIFY(db.open(settings));
        QTemporaryDir files;
        for (int i = 0; i < 300; ++i)
            QVERIFY(!record::save(check(QStringLiteral("D%1").arg(i), Stage::AsFound, i, 0.0), files.path()).isEmpty());
        QCOMPARE(db.importFolder(files.path(), recordsfixture::performer(db)).imported, 300);
    }
    QFile file(settings.sqliteFile);
    QVERIFY2(file.size() > 50 * 4096, qPrintable(QString::number(file.size())));
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() / 2));
    QVERIFY(file.write(QByteArray(8 * 4096, '\0')) > 0);
    file.close();
    RecordDb db;
    QVERIFY(db.open(settings, RecordDb::Mode::ExistingOnly));
    const QStringList found = faults(db);
    QVERIFY2(found.value(0).startsWith("0: the database file is damaged"), qPrintable(found.join('\n')));
    QVERIFY(!db.list());
}

// Another writer holds the database when a check finishes: the check is kept
// as a draft (with no database at all too), stored once the database is free.
void TestRecordsDb::lockedDatabaseKeepsDraft()
{
    DbSettings settings = fresh();
    settings.busyMs = 300;
    RecordDb db, other;
    QVERIFY(db.open(settings) && other.open(settings));
    const PersonSigner performer = recordsfixture::performer(db);
    QSqlQuery hold(other.connection());
    QVERIFY(recordsfixture::holdWriteLock(hold));

    QTemporaryDir folder;
    DraftStore drafts(folder.path());
    const Record r = check("L", Stage::AsFound, 0, 0.2);
    const DraftStore::Saved saved = drafts.save(&db, r, &performer);
    QVERIFY(!saved.number);
    QCOMPARE(drafts.pending(), QStringList{saved.draft});
    QCOMPARE(drafts.save(nullptr, r, nullptr).draft, saved.draft);
    QString error;
    QVERIFY(!drafts.storePending(db, performer, error) && !error.isEmpty());
    QCOMPARE(drafts.pending().size(), 1);

    QVERIFY(hold.exec("ROLLBACK"));
    const auto stored = drafts.storePending(db, performer, error);
    QVERIFY2(stored && stored->size() == 1, qPrintable(error));
    QCOMPARE(stored->at(0).content, canonicalContent(r));
    QVERIFY(drafts.pending().isEmpty());
    QCOMPARE(db.list("L")->size(), 1);

    // A draft edited after it was kept no longer matches the hash in its name: refused, left for a person.
    const QString edited = drafts.save(nullptr, check("L2", Stage::AsFound, 5, 0.2), nullptr).draft;
    QFile file(edited);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray text = file.readAll().replace("\"reading\":50.2", "\"reading\":50.1");
    QVERIFY(file.resize(0) && file.write(text) == text.size());
    file.close();
    QVERIFY(!drafts.storePending(db, performer, error));
    QVERIFY2(error.contains("does not match the hash in its name"), qPrintable(error));
    QCOMPARE(drafts.pending(), QStringList{edited});
    QVERIFY(!db.list("L2")->size());
}

// Signatures name the database login (PostgreSQL) or the user (SQLite) and are
// bound to the record's hash; a refused certificate takes no number, an issued
// one stores the PDF whose hash it states, after the numbers taken before.
void TestRecordsDb::signedAndCertified()
{
    QFETCH(bool, postgres);
    const DbSettings settings = fresh();
    RecordDb db;
    QVERIFY2(db.open(settings), qPrintable(db.error()));
    Record found = check("C", Stage::AsFound, 0, 0.1), left = check("C", Stage::AsLeft, 30, 0.1);
    found.header.technician = left.header.technician = "J. Chen";
    for (Record *r : {&found, &left}) {
        r->header.laboratory = "Plant metrology lab";
        r->header.procedure = "QP-CAL-012";
        r->header.reference = "CAL-7";
        r->header.referenceCertificate = "RC-7";
    }
    found.header.uncertainty = 0.1;   // the as-left check without one, at first
    QVERIFY(db.append(found, recordsfixture::performer(db)) && db.append(left, recordsfixture::performer(db)));
    QCOMPARE(db.issueCertificate(1, 2), std::optional<qint64>(1));   // a number taken the earlier way
    Approvals approvals(db);
    // Performed when stored, by the performer's key, and once only.
    QVERIFY(!approvals.sign(1, record::Signature::Meaning::Performed, recordsfixture::performer(db), "Technician"));
    QCOMPARE(approvals.of(1)->constFirst().key, recordsfixture::performer(db).fingerprint());
    QCOMPARE(approvals.of(1)->constFirst().login, postgres ? settings.user : signerLogin(db));
    // Under the same login another person's key approves: keys tell people apart, not logins.
    QVERIFY(approvals.sign(1, record::Signature::Meaning::Approved, recordsfixture::person(db, "M. Zhou"), "Head"));
    if (postgres)
        return;

    CertificateStore store(db);
    const record::Issuer issuer{"1 Lab Road", "Kiln Works Ltd", "3 Kiln Lane"};
    const IssueRequest request{1, 2, 0, issuer, 2};
    QVERIFY(!store.issue(request));   // record 2 not approved
    QVERIFY2(store.error().startsWith("not approved"), qPrintable(store.error()));
    QVERIFY(approvals.sign(2, record::Signature::Meaning::Approved, recordsfixture::person(db, "M. Zhou"), "Head"));
    QVERIFY(!store.issue(request));   // a statement of conformity needs the uncertainty
    QVERIFY2(store.error().contains("record 2 has no expanded uncertainty"), qPrintable(store.error()));
    // Amended with one on every recorded point: the old version is no longer
    // certified, the new one needs its own approval.
    for (record::Point &p : left.points)
        p.uncertainty = record::PointUncertainty{0.1, 2.1, 12.0, std::nullopt};
    left.instruments = {{"source", "5522A", "FLUKE,5522A,1234567,1.0", "1234567", "RC-9", QDate(2027, 6, 30)}};
    left.amendment = record::Amendment{2, "uncertainty left out", "J. Chen"};
    QCOMPARE(db.append(left, recordsfixture::performer(db)), std::optional<qint64>(3));
    QVERIFY(!store.issue(request) && store.error().contains("amended by record 3"));
    QVERIFY(!store.issue({1, 3, 0, issuer, 2}));
    QVERIFY(approvals.sign(3, record::Signature::Meaning::Approved, recordsfixture::person(db, "M. Zhou"), "Head"));
    QVERIFY(!store.issue({1, 3, 0, {}, 2}));   // no customer named
    QVERIFY2(store.error().contains("the customer must be filled in first"), qPrintable(store.error()));
    const auto issued = store.issue({1, 3, 0, issuer, 2});
    QVERIFY2(issued, qPrintable(store.error()));
    QCOMPARE(issued->content.number, 2);
    const auto stored = store.find(2);
    QCOMPARE(stored->pdf, issued->pdf);
    QCOMPARE(stored->sha256, QCryptographicHash::hash(issued->pdf, QCryptographicHash::Sha256).toHex());
    QCOMPARE(store.certifying(3), QVector<qint64>{2});
    // A check is on one current certificate at most.
    Record other = left;
    other.amendment.reset();
    QCOMPARE(db.append(other, recordsfixture::performer(db)), std::optional<qint64>(4));
    QVERIFY(approvals.sign(4, record::Signature::Meaning::Approved, recordsfixture::person(db, "M. Zhou"), "Head"));
    QVERIFY(!store.issue({1, 4, 0, issuer, 2}));
    QVERIFY2(store.error().contains("record 1 is on certificate 2 already"), qPrintable(store.error()));
    QVERIFY(trustOwnKey(db));
    QVERIFY(db.verify().intact());
}

// Three people by their keys, not by names: the performer's key neither
// reviews nor approves, whatever name is shown; the reviewer's does not
// approve; a second key under a spelling of an enrolled name is refused.
void TestRecordsDb::separationOfDuties()
{
    RecordDb db;
    DbSettings settings = sqliteIn(m_dir.filePath("duties"));
    settings.dataFolder = m_dir.filePath("data/TCal/tcal");
    QVERIFY2(db.open(settings), qPrintable(db.error()));
    Record r = check("SOD", Stage::AsLeft, 0, 0.1);
    r.header.technician = "M. Zhou";   // typed: display only
    QVERIFY(db.append(r, recordsfixture::performer(db)));
    Persons persons(db);
    for (const char *same : {"J.  Chen", "j chen", "\u0408. Chen", "\uff2a. Chen", " J.\tCHEN "})
        QVERIFY2(!persons.enrol(QString::fromUtf8(same), {"approves"}, "another passphrase")
                     && persons.error().contains("enrolled already"), same);
    Approvals approvals(db);
    using Meaning = record::Signature::Meaning;
    for (const Meaning m : {Meaning::Reviewed, Meaning::Approved})
        QVERIFY2(!approvals.sign(1, m, recordsfixture::performer(db), "x") && approvals.error().contains("performed"),
                 qPrintable(approvals.error()));
    QVERIFY(approvals.sign(1, Meaning::Reviewed, recordsfixture::person(db, "A. Wong"), "Reviewer"));
    QVERIFY(!approvals.sign(1, Meaning::Approved, recordsfixture::person(db, "A. Wong"), "Head"));
    QVERIFY2(approvals.error().contains("reviewed record 1 and cannot approve it"), qPrintable(approvals.error()));
    QVERIFY(approvals.sign(1, Meaning::Approved, recordsfixture::person(db, "M. Zhou"), "Head"));
    QCOMPARE(personKey(QString::fromUtf8("\u039c. \u0417hou")), QStringLiteral("m\u0437hou"));   // only look-alikes map
}

// The usual PostgreSQL 15 set-up: a schema of the owner's own, not public,
// opened again and again; the tool's writing role reads and appends and can
// change, remove or unguard nothing.
void TestRecordsDb::ownerAndWriterRoles()
{
    DbSettings owner = m_pg->createDatabase("roles");
    QVERIFY(m_pg->execute("roles", "CREATE ROLE lab LOGIN; CREATE ROLE bench LOGIN;"
                                   " CREATE SCHEMA lab AUTHORIZATION lab; ALTER ROLE bench SET search_path = lab;"
                                   " REVOKE ALL ON SCHEMA public FROM PUBLIC"));
    owner.user = "lab";
    owner.dataFolder = m_dir.filePath("data-roles");
    for (int i = 0; i < 2; ++i) {
        RecordDb db;
        QVERIFY2(db.open(owner), qPrintable(db.error()));
        QVERIFY(i == 0 || (db.grantWriter("bench") && trustOwnKey(db)));
        if (i == 1)
            recordsfixture::performer(db);   // enrolled by the owner: the writer cannot write the keyring
    }
    DbSettings writer = owner;
    writer.user = "bench";
    RecordDb db;
    QVERIFY2(db.open(writer), qPrintable(db.error()));
    QVERIFY2(db.append(check("R", Stage::AsFound, 0, 0.0), recordsfixture::performer(db)), qPrintable(db.error()));
    QVERIFY(db.verify().intact());
    QSqlQuery q(db.connection());
    for (const char *sql : {"UPDATE entries SET kind = 'x'", "DELETE FROM entries", "TRUNCATE entries",
                            "ALTER TABLE entries DISABLE TRIGGER USER", "DROP TRIGGER entries_no_change ON entries",
                            "DROP TABLE entries", "CREATE TABLE lab.x (a INT)", "DELETE FROM trusted_keys",
                            "INSERT INTO trusted_keys VALUES ('a', 'b', 'c', 'd', '')",
                            "INSERT INTO entries VALUES (99, 'signature', 99, '{}', '', '', '', '')",
                            // Through the function, a signature or key in another login's name.
                            "SELECT tcal_append(99, 'signature', 99, '{\"login\":\"lab\"}', '', '', '', '')",
                            "SELECT tcal_append(99, 'key', 99, '{\"user\":\"lab\"}', '', '', '', '')"})
        QVERIFY2(!q.exec(sql), sql);
    // A signature appended by the writer names the writer's login.
    Record r = check("R", Stage::AsFound, 0, 0.0);
    r.header.technician = "J. Chen";
    QVERIFY(db.append(r, recordsfixture::performer(db)));
    QCOMPARE(Approvals(db).of(2)->constFirst().login, QStringLiteral("bench"));
    QVERIFY(db.verify().intact());
}

// A database of schema 3 (records chained alone, certificates and instruments
// in tables of their own) moves into the chain with its numbers, only when
// its own chain verifies.
void TestRecordsDb::earlierSchemaMovesIntoTheChain()
{
    for (const bool forged : {false, true}) {
        DbSettings settings = sqliteIn(m_dir.filePath(forged ? "schema3-forged" : "schema3"));
        settings.dataFolder = m_dir.filePath("data-schema3");
        QVERIFY(recordsfixture::writeSchema3(settings, forged));
        RecordDb db;
        // Only records migrate adopts an earlier chain: reading and appending refuse it.
        QVERIFY(!db.open(settings, RecordDb::Mode::ExistingOnly) && !db.open(settings));
        QVERIFY2(db.error().contains("records migrate"), qPrintable(db.error()));
        QString why;
        QVERIFY(SigningKey::load(settings.dataFolder, why) || SigningKey::create(settings.dataFolder, why));
        QCOMPARE(db.open(settings, RecordDb::Mode::Migrate), !forged);
        if (forged) {
            QCOMPARE(db.error(), QStringLiteral("the earlier records do not verify at record 2; nothing was moved"));
            continue;
        }
        QCOMPARE(db.list("OLD")->size(), 2);
        QCOMPARE(db.list("OLD")->at(1).record.stage, Stage::AsLeft);
        QCOMPARE(db.entries("certificate")->at(0).content.value("asLeft").toInt(), 2);
        QCOMPARE(InstrumentRegister(db).find("TT-1")->lastAsLeft, QDate(2026, 12, 7));
        QVERIFY(trustOwnKey(db));
        const ChainReport report = db.verify();
        QVERIFY(report.intact());
        QCOMPARE(report.adopted, 4);   // two records, a certificate, an instrument: never signed before
        QVERIFY2(report.adoptions.value(0).startsWith("entries 2 to 5 were adopted"), qPrintable(report.adoptions.value(0)));
    }
}

void TestRecordsDb::dueDates()
{
    const QDate today(2026, 12, 7);
    QCOMPARE(dueState(QDate(), today), DueState::Never);
    QCOMPARE(dueState(today.addDays(-1), today), DueState::Overdue);
    QCOMPARE(dueState(today.addDays(31), today), DueState::Ok);
    QCOMPARE(nextDue(QDate(2026, 1, 31), 1), QDate(2026, 2, 28));

    // Only the last complete, passing, current as-left check that has happened counts.
    const QDateTime now(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);
    const auto asLeft = [](double offset, qint64 supersededBy = 0) {
        return StoredRecord{check("D", Stage::AsLeft, 0, offset), supersededBy, QString()};
    };
    QVector<StoredRecord> stored{asLeft(0.1), asLeft(0.9), asLeft(0.1), asLeft(0.1, 9), asLeft(0.1)};
    const int months[] = {1, 3, 4, 5, 6};
    for (int i = 0; i < stored.size(); ++i)
        stored[i].record.started = QDateTime(QDate(2026, months[i], 2), QTime(8, 0), Qt::UTC);
    stored[2].record.points[1].status = record::Point::Status::Skipped;   // April: incomplete
    stored[4].record.started = QDateTime(QDate(2099, 6, 2), QTime(8, 0), Qt::UTC);   // an imported file from the future
    stored << StoredRecord{check("D", Stage::AsFound, 0, 0.1), 0, QString()};
    stored.last().record.started = QDateTime(QDate(2026, 7, 2), QTime(8, 0), Qt::UTC);
    QCOMPARE(lastValidAsLeft(stored, now)->started.date(), QDate(2026, 1, 2));   // failed, incomplete, superseded, future: none counts
    QVERIFY(!lastValidAsLeft(stored.mid(1, 2), now));
}

// Each standard as its newest entry states it; one not registered, without a
// certificate, past its due date or out of service is refused.
void TestRecordsDb::standardsRegister()
{
    RecordDb db;
    QVERIFY2(db.open(fresh()), qPrintable(db.error()));
    StandardsRegister reg(db);
    const QDate today(2026, 12, 7);
    Standard s{"1234567", "5522A", "Multi-product calibrator", "RC-9", QDate(2025, 12, 1), today};
    QVERIFY2(reg.save(s), qPrintable(reg.error()));
    QVERIFY(reg.save({"MY5", "34465A", "", "RC-10", QDate(), QDate(2027, 1, 15)}));
    QCOMPARE(standardRefusal(reg.find("1234567"), "1234567", today), std::nullopt);   // the due day still counts
    QVERIFY(standardRefusal(reg.find("1234567"), "1234567", today.addDays(1))->contains("due"));
    QVERIFY(standardRefusal(reg.find("999"), "999", today)->contains("not in the register"));
    // No serial, no certificate, no due date, calibrated after due: nothing stored.
    const std::function<void(Standard &)> breaks[] = {[](Standard &b) { b.serial = " "; },
                                                      [](Standard &b) { b.certificate.clear(); },
                                                      [](Standard &b) { b.due = QDate(); },
                                                      [](Standard &b) { b.calibrated = b.due.addDays(1); }};
    for (const auto &brk : breaks) {
        Standard bad = s;
        brk(bad);
        QVERIFY(!reg.save(bad) && !reg.error().isEmpty());
    }
    s = {"1234567", "5522A", "back from repair", "RC-11", today, today.addYears(1), "out of service"};
    QVERIFY(reg.save(s));
    QCOMPARE(reg.find("1234567")->certificate, QStringLiteral("RC-11"));
    QVERIFY(standardRefusal(reg.find("1234567"), "1234567", today)->contains("not in service"));
    QCOMPARE(reg.list().size(), 2);
    Standard uncertified = *reg.find("MY5");
    uncertified.certificate.clear();
    QVERIFY(standardRefusal(uncertified, "MY5", today)->contains("no calibration certificate"));
    QCOMPARE(db.entries("standard")->size(), 3);
    QVERIFY(trustOwnKey(db));
    QVERIFY(db.verify().intact());
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);   // certificates are laid out with fonts
    if (qEnvironmentVariableIsSet("TCAL_TEST_WRITER"))
        return writer(qEnvironmentVariable("TCAL_TEST_WRITER"), qEnvironmentVariableIntValue("TCAL_TEST_COUNT"));
    TestRecordsDb test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_records_db.moc"
