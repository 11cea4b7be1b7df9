// tcal-cli records as a process: the JSON files imported once, listed, one
// shown, exported, a checkpoint taken, and verify naming a record altered with
// plain SQL; a records folder that is not there is an error, never a new database.

#include "certificate_elements.h"
#include "record/certificate.h"
#include "record/record_store.h"
#include "record_samples.h"
#include "records_db/instrument_register.h"
#include "records_db/record_db.h"
#include "records_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QCryptographicHash>
#include <QSaveFile>
#include <QSettings>
#include <QSqlQuery>
#include <QtTest>

namespace {

struct Run {
    int status;
    QStringList lines;
    QString error;
};

// tcal-cli COMMAND ARGS on the records folder, with settings of its own there;
// on the PostgreSQL server at `port` when one is given.
Run cli(const QString &folder, const QString &command, const QStringList &args, const QString &port = QString())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", folder + "/data");   // the key and the noted heads
    env.insert("XDG_CONFIG_HOME", folder + "/config");
    if (!port.isEmpty()) {
        env.insert("TCAL_DB_HOST", "127.0.0.1");
        env.insert("TCAL_DB_PORT", port);
        env.insert("TCAL_DB_PASSWORD", "x");
    }
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TCAL_CLI_PATH), QStringList{command} + args + QStringList{"--records", folder});
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts),
            QString::fromUtf8(p.readAllStandardError())};
}

Run records(const QString &folder, const QStringList &args, const QString &port = QString())
{
    return cli(folder, QStringLiteral("records"), args, port);
}

// The database of `folder` with the key and notes tcal-cli uses there.
recordsdb::DbSettings local(const QString &folder)
{
    recordsdb::DbSettings s = recordsdb::sqliteIn(folder);
    s.dataFolder = folder + "/data/TCal/tcal";
    return s;
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
    void certificateFlow();
    void instrumentsDue();
    void standardsSaveAndList();
    void oneRootOfTrust();
};

void TestCliRecords::importListVerify()
{
    QTemporaryDir json, db;
    QVERIFY(!record::save(check(record::Stage::AsFound, 0, 0.9), json.path()).isEmpty());
    QVERIFY(!record::save(check(record::Stage::AsLeft, 20, 0.1), json.path()).isEmpty());
    const QStringList importer = recordsfixture::signingArguments(local(db.path()).dataFolder);
    QCOMPARE(records(db.path(), QStringList{"import", json.path()} + importer).lines, QStringList{"2 imported, 0 already stored"});
    QCOMPARE(records(db.path(), QStringList{"import", json.path()} + importer).lines, QStringList{"0 imported, 2 already stored"});

    const Run list = records(db.path(), {"list", "SN-9"});
    QCOMPARE(list.lines.size(), 3);
    QVERIFY2(list.lines[1].startsWith("1,") && list.lines[1].contains(",SN-9,\"'=HYPERLINK(\"\"x\"\"),TT-1\",as-found,fail,"),
             qPrintable(list.lines[1]));
    QVERIFY(list.lines[2].contains(",as-left,pass,"));
    QVERIFY(records(db.path(), {"show", "2"}).lines.join('\n').contains(QStringLiteral("李工")));
    QCOMPARE(records(db.path(), {"show", "9"}).status, 4);
    QCOMPARE(records(db.path(), {"export", db.filePath("out.csv"), "1", "2"}).status, 0);
    QFile csv(db.filePath("out.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly)
            && csv.readAll().startsWith("record,1,2\namends,,\nsuperseded by,,\ncertificates,,\nfield,as-found,as-left"));
    QCOMPARE(records(db.path(), {"export", db.filePath("out.json"), "2", "--json"}).status, 0);
    QFile json2(db.filePath("out.json"));
    QVERIFY(json2.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(json2.readAll()).array().at(0).toObject().value("record").toInt(), 2);

    // Signed, but by a key the laboratory has not trusted yet.
    QVERIFY(records(db.path(), {"verify"}).lines.value(0).endsWith("not in the keyring (records trust add)"));
    QCOMPARE(records(db.path(), {"trust", "add"}).status, 0);
    QCOMPARE(records(db.path(), {"verify"}).lines.value(0), "2 records in 5 entries, chain intact");
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
    QCOMPARE(verify.lines, QStringList({"database: the append-only guard entries_no_update is gone, disabled or changed",
                                        "entry 2 SN-9: content altered"}));

    // A mistyped folder: an error for every reading command, and nothing made there.
    const QString missing = db.filePath("typo");
    for (const QStringList &args : {QStringList{"verify"}, QStringList{"list"}, QStringList{"show", "1"},
                                    QStringList{"export", db.filePath("x.csv"), "1"}})
        QCOMPARE(records(missing, args).status, 4);
    QVERIFY(!QFileInfo::exists(missing));
    // A port with a typo is an error, not the default port.
    const Run port = records(db.path(), {"list"}, "5433x");
    QCOMPARE(port.status, 4);
    QCOMPARE(port.error, QStringLiteral("tcal-cli: TCAL_DB_PORT \"5433x\" is not a port number\n"));
}

// As found on SN-A, the serial then typed as SN-B for the as-left check: never
// one certificate. Draft until approved by someone other than the technician;
// issued once, reprinted as a copy, replaced with the old one withdrawn; the
// checks of a reference found later out of tolerance listed with their certificates.
void TestCliRecords::certificateFlow()
{
    QTemporaryDir dir;
    // Morning, so that the checks 30 and 40 minutes later fall on the same day whenever the test runs.
    const QDateTime t(QDateTime::currentDateTimeUtc().date().addMonths(-2), QTime(8, 0), Qt::UTC);
    {
        recordsdb::RecordDb db;
        QVERIFY2(db.open(local(dir.path())), qPrintable(db.error()));
        for (const auto &[serial, stage, minutes] : {std::tuple{"SN-A", record::Stage::AsFound, 0},
                                                     {"SN-B", record::Stage::AsLeft, 30}, {"SN-A", record::Stage::AsLeft, 40}}) {
            auto r = recordedCheck(serial, stage, t.addSecs(60 * minutes), 0.1);
            r.header.technician = "J. Chen";
            r.header.reference = "CAL-7";
            r.header.uncertainty = 0.1;
            r.header.laboratory = "Plant metrology lab";
            r.header.procedure = serial == QLatin1String("SN-B") ? "" : "QP-CAL-012";
            r.header.referenceCertificate = "RC-7";
            QVERIFY(db.append(r, recordsfixture::performer(db)));
        }
        QSettings settings(dir.filePath("config/TCal/tcal.conf"), QSettings::IniFormat);
        record::writeIssuer(settings, {"12 Foundry Road", "Kiln Works Ltd", "3 Kiln Lane"});
    }
    const QString out = dir.filePath("c.pdf");
    Run run = records(dir.path(), {"certificate", "1", "2", "--out", out});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.error.contains("different transmitters: serial SN-A and SN-B"), qPrintable(run.error));
    QVERIFY(records(dir.path(), {"certificate", "1", "9", "--out", out}).error.contains("There is no record 9"));
    QVERIFY(!QFile::exists(out));

    // Not approved: a draft without a number.
    run = records(dir.path(), {"certificate", "1", "3", "--out", out});
    QCOMPARE(run.status, 1);
    QVERIFY(pdfText(out).contains("DRAFT: not approved") && pdfText(out).contains("Certificate No.: —"));
    const QStringList zhou = recordsfixture::signingArguments(local(dir.path()).dataFolder, "M. Zhou");
    // A typed name is not taken: the signer is the person whose key signs.
    QCOMPARE(records(dir.path(), QStringList{"approve", "3", "--as", "approver", "--name", "C. Ng"} + zhou).status, 2);
    run = records(dir.path(), QStringList{"approve", "3", "--as", "approver"} + recordsfixture::signingArguments(local(dir.path()).dataFolder));
    QCOMPARE(run.status, 1);
    QVERIFY2(run.error.contains("J. Chen performed record 3"), qPrintable(run.error));
    // Enrolled by tcal-cli, the passphrase read from a file: a wrong one signs nothing.
    QFile right(dir.filePath("right")), wrong(dir.filePath("wrong"));
    QVERIFY(right.open(QIODevice::WriteOnly) && right.write("reviewer's passphrase\n") > 0 && wrong.open(QIODevice::WriteOnly)
            && wrong.write("reviewer's passphrasE\n") > 0);
    right.close(), wrong.close();
    QCOMPARE(records(dir.path(), {"person", "enrol", "L. Wang", "--roles", "reviews,audits", "--passphrase-file", right.fileName()}).status, 2);
    QCOMPARE(records(dir.path(), {"person", "enrol", "L. Wang", "--roles", "reviews", "--passphrase-file", right.fileName()}).status, 0);
    run = records(dir.path(), {"approve", "3", "--as", "reviewer", "--person", "L. Wang", "--passphrase-file", wrong.fileName()});
    QVERIFY2(run.status == 1 && run.error.contains("the passphrase is wrong"), qPrintable(run.error));
    run = records(dir.path(), {"approve", "3", "--as", "approver", "--person", "L. Wang", "--passphrase-file", right.fileName()});
    QVERIFY2(run.status == 1 && run.error.contains("does not hold the role"), qPrintable(run.error));
    run = records(dir.path(), {"approve", "3", "--as", "reviewer", "--person", "L. Wang", "--passphrase-file", right.fileName()});
    QCOMPARE(run.lines.value(0).section(" (", 0, 0), QStringLiteral("record 3 reviewed by L. Wang"));
    for (const char *n : {"1", "2", "3"})
        QCOMPARE(records(dir.path(), QStringList{"approve", n, "--as", "approver", "--function", "Head of laboratory"} + zhou).status, 0);
    // Approved, but a certificate naming no procedure is not issued (as-found 1 with as-left 2 of another serial
    // is refused before that; the procedure is checked on a pair of its own).
    QVERIFY(records(dir.path(), {"certificate", "0", "2", "--out", out}).error.contains("the procedure must be filled in first"));

    run = records(dir.path(), {"certificate", "1", "3", "--out", out});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.lines.value(0).startsWith("certificate 1 issued"), qPrintable(run.lines.join('\n') + run.error));
    QString text = pdfText(out);
    QVERIFY(text.contains("Certificate No.: 000001") && text.contains("Kiln Works Ltd") && text.contains("Approved: M. Zhou"));
    run = records(dir.path(), {"certificate", "1", "3", "--out", dir.filePath("again.pdf")});
    QVERIFY(run.status == 1 && run.error.contains("certified already: certificate 1"));
    // A reprint is the file issued, and only from a chain that verifies.
    QCOMPARE(records(dir.path(), {"certificate", "--reprint", "1", "--out", dir.filePath("copy.pdf")}).status, 1);
    QCOMPARE(records(dir.path(), {"trust", "add"}).status, 0);
    QCOMPARE(records(dir.path(), {"certificate", "--reprint", "1", "--out", dir.filePath("copy.pdf")}).status, 0);
    QFile issued(out), copy(dir.filePath("copy.pdf"));
    QVERIFY(issued.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly) && issued.readAll() == copy.readAll());

    QCOMPARE(records(dir.path(), {"certificate", "1", "3", "--replaces", "1", "--out", dir.filePath("c2.pdf")}).status, 0);
    QVERIFY(pdfText(dir.filePath("c2.pdf")).contains("This certificate replaces certificate 000001, which is withdrawn"));
    run = records(dir.path(), {"certificate", "--reprint", "1", "--out", dir.filePath("copy.pdf")});
    QVERIFY2(run.status == 0 && run.lines.value(1) == "certificate 1 is withdrawn, replaced by 2", qPrintable(run.lines.join('\n')));
    {
        // Rows altered after issue: the reprint is refused, never redrawn from them.
        recordsdb::RecordDb direct;
        QVERIFY(direct.open(local(dir.path())));
        QSqlQuery q(direct.connection());
        QVERIFY(q.exec("DROP TRIGGER entries_no_update"));
        QVERIFY(q.exec("UPDATE entries SET content = REPLACE(content, '\"reading\":100.1', '\"reading\":100') WHERE kind = 'record'"));
    }
    run = records(dir.path(), {"certificate", "--reprint", "2", "--out", dir.filePath("copy2.pdf")});
    QVERIFY2(run.status == 1 && run.error.contains("does not verify"), qPrintable(run.error));
    QVERIFY(!QFile::exists(dir.filePath("copy2.pdf")));
    QVERIFY(records(dir.path(), {"certificate", "1", "3", "--replaces", "1", "--out", out}).error.contains("withdrawn already"));

    // Reverse traceability: every check with CAL-7 since the date, and the certificate now in force.
    run = records(dir.path(), {"by-reference", "cal-7", "--since", t.date().toString(Qt::ISODate)});
    QCOMPARE(run.lines.size(), 4);
    QVERIFY2(run.lines[1].startsWith("1,") && run.lines[1].endsWith(",CAL-7,RC-7,2"), qPrintable(run.lines[1]));
    QVERIFY(run.lines[2].contains(",SN-B,") && run.lines[2].endsWith(",CAL-7,RC-7,"));
    QCOMPARE(records(dir.path(), {"by-reference", "CAL-7", "--since", t.date().addDays(1).toString(Qt::ISODate)}).lines.size(), 1);
    QCOMPARE(records(dir.path(), {"verify"}).status, 1);
}

// Due dates for reminders: a failed as-left check does not restart the interval.
void TestCliRecords::instrumentsDue()
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    {
        recordsdb::RecordDb db;
        QVERIFY2(db.open(recordsdb::sqliteIn(dir.path())), qPrintable(db.error()));
        QVERIFY(db.append(recordedCheck("SN-A", record::Stage::AsLeft, now.addMonths(-12).addDays(10), 0.1), recordsfixture::performer(db)));
        QVERIFY(db.append(recordedCheck("SN-A", record::Stage::AsLeft, now.addMonths(-1), 0.9), recordsfixture::performer(db)));   // failed
        QVERIFY(db.append(recordedCheck("SN-B", record::Stage::AsLeft, now.addMonths(-1), 0.1), recordsfixture::performer(db)));
        recordsdb::InstrumentRegister reg(db);
        for (const auto &[tag, serial] : {std::pair{"TT-A", "SN-A"}, {"TT-B", "SN-B"}, {"TT-N", "SN-N"}})
            QVERIFY(reg.save({tag, serial, "", "", "Type K", 0.0, 100.0, "°F", 12, "spare"}));
    }
    Run run = cli(dir.path(), "instruments", {"list", "--due-within", "30"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.lines.size(), 3);
    QVERIFY2(run.lines[1].startsWith("TT-A,SN-A,,,") && run.lines[1].endsWith(",due-soon,spare"), qPrintable(run.lines[1]));
    QVERIFY(run.lines[2].startsWith("TT-N,") && run.lines[2].endsWith(",,,never,spare"));
    run = cli(dir.path(), "instruments", {"list", "--json"});
    const QJsonArray all = QJsonDocument::fromJson(run.lines.join('\n').toUtf8()).object().value("instruments").toArray();
    QCOMPARE(all.size(), 3);
    QCOMPARE(all[1].toObject().value("state").toString(), QStringLiteral("ok"));
    QCOMPARE(all[1].toObject().value("unit").toString(), QStringLiteral("°F"));
    QCOMPARE(cli(dir.path(), "instruments", {"list", "--due-within", "x"}).status, 2);
}

// A standard saved from the command line lists back as given; a new state of
// it replaces the old in the list; a save without its due date stores nothing.
void TestCliRecords::standardsSaveAndList()
{
    QTemporaryDir dir;
    QCOMPARE(cli(dir.path(), "standards", {"list"}).status, 4);   // no database is made for a list
    const QStringList calibrator{"save", "--serial", "1234567", "--model", "5522A", "--certificate", "RC-9",
                                 "--due", "2099-06-30", "--calibrated", "2026-06-30", "--description", "Calibrator, bench 2"};
    Run run = cli(dir.path(), "standards", calibrator);
    QVERIFY2(run.status == 0, qPrintable(run.error));
    QCOMPARE(cli(dir.path(), "standards", {"save", "--serial", "MY5", "--model", "34465A", "--certificate", "RC-10",
                                           "--due", "2020-01-15", "--status", "out of service"}).status, 0);
    QCOMPARE(cli(dir.path(), "standards", {"save", "--serial", "X", "--model", "M", "--certificate", "C"}).status, 2);
    QCOMPARE(cli(dir.path(), "standards", {"save", "--serial", "X", "--model", "M", "--certificate", "C",
                                           "--due", "30.06.2099"}).status, 2);
    QCOMPARE(cli(dir.path(), "standards", calibrator + QStringList{"--certificate", "RC-12"}).status, 2);   // given twice
    run = cli(dir.path(), "standards", {"list"});
    QCOMPARE(run.lines.value(1), QStringLiteral("1234567,5522A,\"Calibrator, bench 2\",RC-9,2026-06-30,2099-06-30,ok,in service"));
    QCOMPARE(run.lines.value(2), QStringLiteral("MY5,34465A,,RC-10,,2020-01-15,overdue,out of service"));
    QCOMPARE(run.lines.size(), 3);
    QCOMPARE(cli(dir.path(), "standards", {"save", "--serial", "1234567", "--model", "5522A", "--certificate",
                                           "RC-13", "--due", "2100-01-31"}).status, 0);
    run = cli(dir.path(), "standards", {"list", "--json"});
    const QJsonArray all = QJsonDocument::fromJson(run.lines.join('\n').toUtf8()).object().value("standards").toArray();
    QCOMPARE(all.size(), 2);
    QCOMPARE(all[0].toObject().value("certificate").toString(), QStringLiteral("RC-13"));
    QCOMPARE(all[0].toObject().value("due").toString(), QStringLiteral("2100-01-31"));
    QCOMPARE(records(dir.path(), {"trust", "add"}).status, 0);
    QCOMPARE(records(dir.path(), {"verify"}).status, 0);
}

// The attacks an auditor tried: a schema turned back for a reading command to
// adopt, a lost or replaced key made again, a checkpoint signed by anyone.
void TestCliRecords::oneRootOfTrust()
{
    QTemporaryDir dir, json;
    const QString key = dir.filePath("data/TCal/tcal/signing.key");
    // Schema 3 with a chain that needs no key: verify reads it, writes nothing and adopts nothing.
    QVERIFY(recordsfixture::writeSchema3(local(dir.path())));
    const auto digest = [&] {
        QFile f(dir.filePath("records.sqlite"));
        return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
    };
    const QByteArray before = digest();
    const QStringList importer = recordsfixture::signingArguments(local(dir.path()).dataFolder);
    for (const QStringList &args : {QStringList{"verify"}, QStringList{"list"}, QStringList{"import", json.path()} + importer}) {
        const Run run = records(dir.path(), args);
        QCOMPARE(run.status, 4);
        QVERIFY2(run.error.contains("`tcal-cli records migrate` brings it to schema"), qPrintable(run.error));
    }
    QCOMPARE(digest(), before);
    QVERIFY(!QFile::exists(key));
    QVERIFY(QFile::remove(dir.filePath("records.sqlite")));

    // A lost key is never made again: stores are refused with the command that makes one.
    QVERIFY(!record::save(check(record::Stage::AsFound, 0, 0.1), json.path()).isEmpty());
    QCOMPARE(records(dir.path(), QStringList{"import", json.path()} + importer).status, 0);
    QCOMPARE(records(dir.path(), {"trust", "add", "--name", "bench 1"}).status, 0);
    const QJsonObject foreignCheckpoint = [&] {
        QTemporaryDir elsewhere;
        QString why;
        const auto intruder = recordsdb::SigningKey::create(elsewhere.path(), why);
        recordsdb::RecordDb db;
        db.open(local(dir.path()), recordsdb::RecordDb::Mode::ExistingOnly);
        const recordsdb::ChainReport r = db.verify();
        return recordsdb::checkpoint(r.identity, r.head, *intruder);
    }();
    QVERIFY(QFile::rename(key, key + ".lost"));
    QVERIFY(!record::save(check(record::Stage::AsLeft, 30, 0.1), json.path()).isEmpty());
    Run run = records(dir.path(), QStringList{"import", json.path()} + importer);
    QCOMPARE(run.status, 4);
    QVERIFY2(run.error.contains("records key new --reason"), qPrintable(run.error));
    QVERIFY(!QFile::exists(key));
    // A key put in its place (another workstation's) is refused the same way.
    QString why;
    QVERIFY(recordsdb::SigningKey::create(dir.filePath("data/TCal/tcal"), why));
    run = records(dir.path(), QStringList{"import", json.path()} + importer);
    QVERIFY2(run.status == 4 && run.error.contains("is not in the chain"), qPrintable(run.error));
    QCOMPARE(records(dir.path(), {"verify"}).lines.value(0), "1 records in 3 entries, chain intact");

    // The new key on purpose: recorded in the chain, trusted only by the explicit command.
    QCOMPARE(records(dir.path(), {"key", "new"}).status, 2);   // a reason is required
    QCOMPARE(records(dir.path(), {"key", "new", "--reason", "disk replaced"}).status, 0);
    QCOMPARE(records(dir.path(), QStringList{"import", json.path()} + importer).status, 0);
    QCOMPARE(records(dir.path(), {"verify"}).status, 1);
    QCOMPARE(records(dir.path(), {"trust", "add"}).status, 0);
    QCOMPARE(records(dir.path(), {"verify"}).lines.value(0), "2 records in 6 entries, chain intact");
    QCOMPARE(records(dir.path(), {"trust", "list"}).lines.size(), 4);   // two workstations and J. Chen

    // A checkpoint signed by a key nobody trusts, or by a revoked one, holds nothing.
    QSaveFile f(dir.filePath("foreign.json"));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QJsonDocument(foreignCheckpoint).toJson()) > 0 && f.commit());
    run = records(dir.path(), {"verify", "--anchor", dir.filePath("foreign.json")});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.lines.join('\n').contains("the checkpoint is signed by key"), qPrintable(run.lines.join('\n')));
    QCOMPARE(records(dir.path(), {"anchor", dir.filePath("own.json")}).status, 0);
    QCOMPARE(records(dir.path(), {"verify", "--anchor", dir.filePath("own.json")}).status, 0);
    // Revoked from a point: what the key signed before stays valid; after it, nothing is stored with it.
    const QStringList keys = records(dir.path(), {"trust", "list"}).lines;
    QCOMPARE(records(dir.path(), {"trust", "revoke", keys.filter(",bench 1,").value(0).section(',', 0, 0)}).status, 0);
    QCOMPARE(records(dir.path(), {"verify"}).lines.value(0), "2 records in 6 entries, chain intact");
    QCOMPARE(records(dir.path(), {"trust", "revoke", keys.last().section(',', 0, 0)}).status, 0);
    QVERIFY(!record::save(check(record::Stage::AsLeft, 60, 0.1), json.path()).isEmpty());
    run = records(dir.path(), QStringList{"import", json.path()} + importer);
    QVERIFY2(run.status == 4 && run.error.contains("revoked"), qPrintable(run.error));
    QCOMPARE(records(dir.path(), {"verify"}).lines.value(0), "2 records in 6 entries, chain intact");
}

QTEST_GUILESS_MAIN(TestCliRecords)
#include "test_cli_records.moc"
