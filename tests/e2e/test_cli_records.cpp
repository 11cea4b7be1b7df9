// tcal-cli records as a process: the JSON files imported once, listed, one
// shown, exported, a checkpoint taken, and verify naming a record altered with
// plain SQL; a records folder that is not there is an error, never a new database.

#include "record/record_store.h"
#include "record_samples.h"
#include "records_db/record_db.h"

#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

namespace {

struct Run {
    int status;
    QStringList lines;
};

Run records(const QString &folder, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", folder + "/data");   // the key and the noted heads
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TCAL_CLI_PATH), QStringList{"records"} + args + QStringList{"--records", folder});
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)};
}

record::Record check(record::Stage stage, int minutes, double offset)
{
    auto r = recordedCheck("SN-9", stage, QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC).addSecs(60 * minutes),
                           offset, {0.0, 100.0});
    r.header.technician = QStringLiteral("李工");
    r.header.tag = QStringLiteral("=HYPERLINK(\"x\"),TT-1");
    return r;
}

} // namespace

class TestCliRecords : public QObject
{
    Q_OBJECT
private slots:
    void importListVerify();
};

void TestCliRecords::importListVerify()
{
    QTemporaryDir json, db;
    QVERIFY(!record::save(check(record::Stage::AsFound, 0, 0.9), json.path()).isEmpty());
    QVERIFY(!record::save(check(record::Stage::AsLeft, 20, 0.1), json.path()).isEmpty());
    QCOMPARE(records(db.path(), {"import", json.path()}).lines, QStringList{"2 imported, 0 already stored"});
    QCOMPARE(records(db.path(), {"import", json.path()}).lines, QStringList{"0 imported, 2 already stored"});

    const Run list = records(db.path(), {"list", "SN-9"});
    QCOMPARE(list.lines.size(), 3);
    QVERIFY2(list.lines[1].startsWith("1,") && list.lines[1].contains(",SN-9,\"'=HYPERLINK(\"\"x\"\"),TT-1\",as-found,fail,"),
             qPrintable(list.lines[1]));
    QVERIFY(list.lines[2].contains(",as-left,pass,"));
    QVERIFY(records(db.path(), {"show", "2"}).lines.join('\n').contains(QStringLiteral("李工")));
    QCOMPARE(records(db.path(), {"show", "9"}).status, 4);
    QCOMPARE(records(db.path(), {"export", db.filePath("out.csv"), "1", "2"}).status, 0);
    QFile csv(db.filePath("out.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly) && csv.readAll().startsWith("field,as-found,as-left"));

    QCOMPARE(records(db.path(), {"verify"}).lines.value(0), "2 records in 3 entries, chain intact");
    const QString checkpoint = db.filePath("head.json");
    QCOMPARE(records(db.path(), {"anchor", checkpoint}).status, 0);
    QCOMPARE(records(db.path(), {"verify", "--anchor", checkpoint}).status, 0);
    {
        recordsdb::RecordDb direct;
        QVERIFY(direct.open(recordsdb::sqliteIn(db.path())));
        QSqlQuery q(direct.connection());
        QVERIFY(!q.exec("DELETE FROM entries"));   // append-only
        QVERIFY(q.exec("DROP TRIGGER entries_no_update"));
        QVERIFY(q.exec("UPDATE entries SET content = REPLACE(content, '\"reading\":0.9', '\"reading\":0.4') WHERE seq = 2"));
    }
    const Run verify = records(db.path(), {"verify"});
    QCOMPARE(verify.status, 1);
    QCOMPARE(verify.lines, QStringList({"database: the append-only guard entries_no_update is gone or disabled",
                                        "entry 2 SN-9: content altered"}));

    // A mistyped folder: an error for every reading command, and nothing made there.
    const QString missing = db.filePath("typo");
    for (const QStringList &args : {QStringList{"verify"}, QStringList{"list"}, QStringList{"show", "1"},
                                    QStringList{"export", db.filePath("x.csv"), "1"}})
        QCOMPARE(records(missing, args).status, 4);
    QVERIFY(!QFileInfo::exists(missing));
}

QTEST_GUILESS_MAIN(TestCliRecords)
#include "test_cli_records.moc"
