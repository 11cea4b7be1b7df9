// The records database on both servers through the same code: append-only
// records, amendments, the hash chain and its verification against rows
// altered with plain SQL, certificate numbers, the JSON import, and two
// processes writing at once. PostgreSQL is a real throw-away server.

#include "pg_cluster.h"
#include "record/record_store.h"
#include "record_samples.h"
#include "records_db/instrument_register.h"
#include "records_db/record_db.h"
#include "records_db/record_hash.h"

#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

using namespace recordsdb;
using record::Record;
using record::Stage;

namespace {

Record check(const QString &serial, Stage stage, int minutes, double offset)
{
    return recordedCheck(serial, stage, QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC).addSecs(60 * minutes), offset);
}

// What someone with the database's admin rights would do before editing rows.
bool dropAppendOnlyGuard(RecordDb &db)
{
    QSqlQuery q(db.connection());
    if (db.connection().driverName() == QLatin1String("QPSQL"))
        return q.exec("DROP TRIGGER records_no_change ON records");
    return q.exec("DROP TRIGGER records_no_update") && q.exec("DROP TRIGGER records_no_delete");
}

// A child process: appends records and issues certificate numbers, one per line.
int writer(const QString &name, int count)
{
    RecordDb db;
    if (!db.open(fromEnvironment(qEnvironmentVariable("TCAL_TEST_FOLDER"))))
        return 1;
    QTextStream out(stdout);
    for (int i = 0; i < count; ++i) {
        const auto seq = db.append(check(name, Stage::AsFound, i, 0.1));
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
    void dueDates();

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
    const DbSettings s = postgres ? m_pg->createDatabase(name) : sqliteIn(m_dir.filePath(name));
    if (env) {
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
        QCOMPARE(db.append(check("A1", Stage::AsFound, 0, 3.0)), std::optional<qint64>(1));
        QVERIFY(db.append(check("B2", Stage::AsFound, 1, 0.0)));
        // A correction without a reason, or of another transmitter's record, is refused.
        Record fix = check("A1", Stage::AsFound, 0, 0.1);
        fix.amendment = record::Amendment{1, QString(), "J. Chen"};
        QVERIFY(!db.append(fix));
        fix.amendment = record::Amendment{2, "calibrator not settled", "J. Chen"};
        QVERIFY(!db.append(fix));
        fix.amendment->supersedes = 1;
        QCOMPARE(db.append(fix), std::optional<qint64>(3));
        QCOMPARE(db.issueCertificate(1, 3), std::optional<qint64>(1));
        QCOMPARE(db.issueCertificate(1, 3), std::optional<qint64>(2));
    }
    // Reopened: the schema is not applied twice, both versions are kept, numbers go on.
    RecordDb db;
    QVERIFY2(db.open(settings), qPrintable(db.error()));
    QCOMPARE(db.schemaVersion(), RecordDb::kSchemaVersion);
    const auto a1 = db.list("A1");
    QCOMPARE(a1.size(), 2);
    QCOMPARE(a1[0].supersededBy, 3);
    QCOMPARE(a1[0].record.points[1].reading, 53.0);   // the first reading is still there
    QCOMPARE(a1[1].record.amendment->supersedes, 1);
    QCOMPARE(db.list().size(), 3);
    QCOMPARE(db.issueCertificate(1, 3), std::optional<qint64>(3));
    QVERIFY(db.verify().intact());
}

void TestRecordsDb::verifyNamesAlteredRows()
{
    RecordDb db;
    QVERIFY2(db.open(fresh()), qPrintable(db.error()));
    for (int i = 0; i < 5; ++i)
        QVERIFY(db.append(check(QStringLiteral("S%1").arg(i), Stage::AsFound, i, 0.1 * i)));
    QVERIFY(db.issueCertificate(1, 2));

    // The server refuses plain edits and deletions.
    QSqlQuery q(db.connection());
    QVERIFY(!q.exec("UPDATE records SET serial = 'X' WHERE seq = 1"));
    QVERIFY(!q.exec("DELETE FROM records WHERE seq = 5"));
    QVERIFY(!q.exec("DELETE FROM certificates"));
    QVERIFY(db.verify().intact());

    // An edited reading in record 2, the guard dropped first: only record 2 is named.
    QVERIFY(dropAppendOnlyGuard(db));
    QVERIFY(q.exec("UPDATE records SET content = REPLACE(content, '\"reading\":50.1', '\"reading\":50') WHERE seq = 2"));
    ChainReport report = db.verify();
    QCOMPARE(report.faults.size(), 1);
    QCOMPARE(report.faults[0].number, 2);
    QCOMPARE(report.faults[0].serial, QStringLiteral("S1"));

    // Its hash re-computed to match the new content: the next record no longer follows it.
    q.prepare("UPDATE records SET hash = ? WHERE seq = 2");
    q.addBindValue(QString::fromLatin1(chainHash(2, genesisHash(), canonicalContent(db.find(2)->record))));
    QVERIFY(q.exec());
    QCOMPARE(db.verify().faults.constLast().number, 3);

    // The last record removed.
    QVERIFY(q.exec("DELETE FROM records WHERE seq = 5"));
    QCOMPARE(db.verify().faults.constLast().what, QStringLiteral("records after 4 are missing"));
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
    ImportReport report = db.importFolder(files.path());
    QCOMPARE(report.imported, 2);
    QCOMPARE(report.unreadable, QStringList{"notes.json"});
    report = db.importFolder(files.path());
    QCOMPARE(report.imported, 0);
    QCOMPARE(report.already, 2);
    QCOMPARE(db.list("J")[0].record.stage, Stage::AsFound);
    QCOMPARE(QDir(files.path()).entryList(QDir::Files), before);
}

void TestRecordsDb::twoWritersAtOnce()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const DbSettings settings = fresh(&env);
    {
        RecordDb db;   // the schema first, as the first user of a new database does
        QVERIFY2(db.open(settings), qPrintable(db.error()));
    }
    constexpr int kEach = 40;
    QProcess writers[2];
    for (int i = 0; i < 2; ++i) {
        env.insert("TCAL_TEST_WRITER", QStringLiteral("W%1").arg(i));
        env.insert("TCAL_TEST_COUNT", QString::number(kEach));
        writers[i].setProcessEnvironment(env);
        writers[i].start(QCoreApplication::applicationFilePath(), QStringList());
    }
    QSet<qint64> numbers;
    for (QProcess &w : writers) {
        QVERIFY(w.waitForFinished(120000));
        QCOMPARE(w.exitCode(), 0);
        for (const QByteArray &line : w.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                numbers.insert(line.toLongLong());
    }
    QCOMPARE(numbers.size(), 2 * kEach);   // no number handed out twice
    RecordDb db;
    QVERIFY(db.open(settings));
    QCOMPARE(db.verify().checked, 2 * kEach);
    QVERIFY(db.verify().intact());
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

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TCAL_TEST_WRITER"))
        return writer(qEnvironmentVariable("TCAL_TEST_WRITER"), qEnvironmentVariableIntValue("TCAL_TEST_COUNT"));
    TestRecordsDb test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_records_db.moc"
