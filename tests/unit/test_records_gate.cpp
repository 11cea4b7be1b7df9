// The gate and what it rests on, one test per way around it: entries verify
// rejects are never relied on (an untrusted signer, a revoked key), one
// calibration has one current certificate, dates run in order, and the
// PostgreSQL writing role can append nothing but the chain's next
// well-formed entry (the writer's campaign, its counts printed).

#include "pg_cluster.h"
#include "record/record_store.h"
#include "record_samples.h"
#include "records_db/approvals.h"
#include "records_db/certificate_store.h"
#include "records_fixture.h"

#include <QGuiApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

using namespace recordsdb;
using record::Stage;
using Meaning = record::Signature::Meaning;

namespace {

// A check as the laboratory stores it: everything a certificate must name.
record::Record labCheck(Stage stage, const QDateTime &started)
{
    record::Record r = recordedCheck("SN-G", stage, started, 0.02);
    r.header.technician = "J. Chen";
    r.header.uncertainty = 0.05;
    r.header.laboratory = "Plant metrology lab";
    r.header.procedure = "QP-CAL-012";
    r.header.reference = "Calibrator CX-9";
    r.header.referenceCertificate = "RC-2026-118";
    return r;
}

const IssueRequest kIssue{0, 0, 0, {"1 Lab Road", "Plant A", "2 Plant Road"}, 2, {}};

IssueRequest issueOf(qint64 found, qint64 left, qint64 replaces = 0)
{
    IssueRequest r = kIssue;
    r.asFound = found;
    r.asLeft = left;
    r.replaces = replaces;
    return r;
}

// The chain's next entry, hashed and signed by `key` as a client would make it.
struct Crafted {
    qint64 seq;
    QString kind;
    qint64 number;
    QByteArray content, prev, hash, signature;
};
Crafted craft(qint64 seq, const QString &kind, qint64 number, const QByteArray &content, const QByteArray &prev,
              const SigningKey &key)
{
    const QByteArray hash = entryHash(seq, kind, prev, content);
    return {seq, kind, number, content, prev, hash, key.sign(hash)};
}

bool insertRow(QSqlDatabase db, const Crafted &c, const SigningKey &key, bool throughFunction)
{
    QSqlQuery q(db);
    q.prepare(throughFunction ? "SELECT lab.tcal_append(?, ?, ?, ?, ?, ?, ?, ?)"
                              : "INSERT INTO entries VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    for (const QVariant &v : {QVariant(c.seq), QVariant(c.kind), QVariant(c.number), QVariant(QString::fromUtf8(c.content)),
                              QVariant(QString::fromLatin1(c.prev)), QVariant(QString::fromLatin1(c.hash)),
                              QVariant(QString::fromLatin1(key.fingerprint())), QVariant(QString::fromLatin1(c.signature))})
        q.addBindValue(v);
    return q.exec();
}

ChainEntry head(RecordDb &db)
{
    const auto all = db.entries();
    return all && !all->isEmpty() ? all->last() : ChainEntry{};
}

int entryCount(RecordDb &db)
{
    return db.entries().value_or(QVector<ChainEntry>()).size();
}

} // namespace

class TestRecordsGate : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void untrustedEntriesAreNeverReliedOn();
    void oneCurrentCertificatePerCalibration();
    void datesInOrder();
    void writerCampaign_data();
    void writerCampaign();

private:
    DbSettings freshSqlite(const QString &name);
    QTemporaryDir m_dir;
    std::optional<SigningKey> m_intruder;
};

void TestRecordsGate::initTestCase()
{
    qputenv("TCAL_KEYRING", QFile::encodeName(m_dir.filePath("keyring.json")));
    QString why;
    m_intruder = SigningKey::create(m_dir.filePath("intruder"), why);
    QVERIFY2(m_intruder, qPrintable(why));
}

DbSettings TestRecordsGate::freshSqlite(const QString &name)
{
    DbSettings s = sqliteIn(m_dir.filePath(name));
    s.dataFolder = m_dir.filePath("data-" + name);
    return s;
}

// Two "approved" entries by a key nobody trusts, written straight into the
// file: nothing is issued, approved or amended on them; after a revocation,
// the revoked key signs nothing more.
void TestRecordsGate::untrustedEntriesAreNeverReliedOn()
{
    const DbSettings s = freshSqlite("untrusted");
    RecordDb db;
    QVERIFY2(db.open(s), qPrintable(db.error()));
    const QDateTime t = QDateTime::currentDateTimeUtc().addDays(-1);
    QVERIFY(db.append(labCheck(Stage::AsFound, t), recordsfixture::performer(db)) && db.append(labCheck(Stage::AsLeft, t.addSecs(1800)), recordsfixture::performer(db)));
    QVERIFY(recordsfixture::trustOwnKey(db));
    const auto records = *db.entries("record");
    const int signedBefore = db.entries("signature")->size();   // the performers'
    for (int i = 0; i < 2; ++i) {
        QJsonObject o = record::signatureToJson({Meaning::Approved, "M. Zhou", "Head", "mzhou", QDateTime::currentDateTimeUtc()});
        o.insert("record", double(i + 1));
        o.insert("recordHash", QString::fromLatin1(records[i].hash));
        o.insert("number", double(signedBefore + i + 1));
        o.insert("stored", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
        const ChainEntry last = head(db);
        QVERIFY(insertRow(db.connection(), craft(last.seq + 1, "signature", signedBefore + i + 1, canonicalJson(o), last.hash, *m_intruder),
                          *m_intruder, false));
    }
    const int before = entryCount(db);
    CertificateStore store(db);
    QVERIFY(!store.issue(issueOf(1, 2)));
    QVERIFY2(store.error().contains("issuing the certificate refused: the records chain does not verify")
                 && store.error().contains("not in the keyring"), qPrintable(store.error()));
    QVERIFY(!Approvals(db).sign(1, Meaning::Reviewed, recordsfixture::person(db, "A. Wong"), "Reviewer"));
    record::Record amended = labCheck(Stage::AsLeft, t.addSecs(1800));
    amended.amendment = record::Amendment{2, "typed late", "J. Chen"};
    QVERIFY(!db.append(amended, recordsfixture::performer(db)));
    QCOMPARE(entryCount(db), before);

    // Revoked: what the key signed is refused, and it signs nothing more.
    const DbSettings clean = freshSqlite("revoked");
    RecordDb other;
    QVERIFY(other.open(clean) && other.append(labCheck(Stage::AsFound, t), recordsfixture::performer(other)));
    QVERIFY(recordsfixture::trustOwnKey(other));
    QVERIFY(other.revoke(other.keyFingerprint()));
    const int kept = entryCount(other);
    QVERIFY(!other.append(labCheck(Stage::AsLeft, t.addSecs(1800)), recordsfixture::performer(other)));
    QVERIFY2(other.error().contains("revoked"), qPrintable(other.error()));
    QVERIFY(!CertificateStore(other).issue(issueOf(1, 0)) && !other.newKey("stolen"));
    QCOMPARE(entryCount(other), kept);
}

// Amending both certified checks and certifying the amendments names the
// certificate it replaces, which then reprints as withdrawn; a superseded
// record is never amended a second time.
void TestRecordsGate::oneCurrentCertificatePerCalibration()
{
    RecordDb db;
    QVERIFY(db.open(freshSqlite("current")));
    const QDateTime t = QDateTime::currentDateTimeUtc().addDays(-1);
    const auto storeSigned = [&](record::Record r) {
        const auto n = db.append(r, recordsfixture::performer(db));
        return n && Approvals(db).sign(*n, Meaning::Approved, recordsfixture::person(db, "M. Zhou"), "Head") ? *n : 0;
    };
    QVERIFY(storeSigned(labCheck(Stage::AsFound, t)) == 1 && storeSigned(labCheck(Stage::AsLeft, t.addSecs(1800))) == 2);
    QVERIFY(recordsfixture::trustOwnKey(db));
    CertificateStore store(db);
    QVERIFY2(store.issue(issueOf(1, 2)), qPrintable(store.error()));
    for (const auto &[old, stage] : {std::pair{qint64(1), Stage::AsFound}, {qint64(2), Stage::AsLeft}}) {
        record::Record r = labCheck(stage, t.addSecs(old == 1 ? 0 : 1800));
        r.amendment = record::Amendment{old, "ambient typed late", "J. Chen"};
        QVERIFY2(storeSigned(r) == old + 2, qPrintable(db.error()));
    }
    record::Record again = labCheck(Stage::AsFound, t);
    again.amendment = record::Amendment{1, "a second correction of the first version", "J. Chen"};
    QVERIFY(!db.append(again, recordsfixture::performer(db)));
    QVERIFY2(db.error().contains("record 1 was amended already by record 3"), qPrintable(db.error()));
    QVERIFY(!store.issue(issueOf(3, 4)));
    QVERIFY2(store.error().contains("--replaces 1"), qPrintable(store.error()));
    QVERIFY(!store.issue(issueOf(3, 0)) && !store.issue(issueOf(0, 4)));
    const auto replacement = store.issue(issueOf(3, 4, 1));
    QVERIFY2(replacement, qPrintable(store.error()));
    QCOMPARE(store.find(1)->withdrawnBy, replacement->content.number);
    QVERIFY(!store.reprint(1).isEmpty());
}

// A check dated after its storing is refused live and imported; an import
// carries the check's own dates and its import's.
void TestRecordsGate::datesInOrder()
{
    RecordDb db;
    QVERIFY(db.open(freshSqlite("dates")));
    const QDateTime future(QDate(2099, 6, 1), QTime(9, 0), Qt::UTC);
    QVERIFY(!db.append(labCheck(Stage::AsFound, future), recordsfixture::performer(db)));
    QVERIFY2(db.error().contains("after its storing"), qPrintable(db.error()));
    // Within the stated skew a workstation's clock may run ahead.
    QVERIFY(db.append(labCheck(Stage::AsFound, QDateTime::currentDateTimeUtc().addSecs(kClockSkewSeconds / 2 - 60)), recordsfixture::performer(db)));
    QTemporaryDir files;
    QVERIFY(!record::save(labCheck(Stage::AsLeft, future), files.path()).isEmpty());
    ImportReport report = db.importFolder(files.path(), recordsfixture::performer(db));
    QVERIFY2(report.imported == 0 && report.refused.contains("after its import"), qPrintable(report.refused));
    QTemporaryDir older;
    const QDateTime done(QDate(2025, 3, 4), QTime(10, 0), Qt::UTC);
    QVERIFY(!record::save(labCheck(Stage::AsLeft, done), older.path()).isEmpty());
    report = db.importFolder(older.path(), recordsfixture::performer(db));
    QVERIFY2(report.imported == 1, qPrintable(report.refused));
    const QJsonObject imported = db.entries("record")->last().content;
    QCOMPARE(QDateTime::fromString(imported.value("started").toString(), Qt::ISODateWithMs), done);
    const QDateTime at = QDateTime::fromString(imported.value("imported").toObject().value("at").toString(), Qt::ISODate);
    QVERIFY(qAbs(at.secsTo(QDateTime::currentDateTimeUtc())) < 600);

    // Work begun before its performer's key was enrolled is theirs to import, not to sign as performed.
    recordsdb::Persons persons(db);
    QVERIFY2(persons.enrol("N. Novak", {"performs"}, recordsfixture::kPassphrase), qPrintable(persons.error()));
    const auto novak = persons.unlock("N. Novak", recordsfixture::kPassphrase);
    const int before = db.entries()->size();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(!db.append(labCheck(Stage::AsFound, now.addSecs(-kClockSkewSeconds - 120)), *novak));
    QVERIFY2(db.error().contains("before N. Novak's key was enrolled"), qPrintable(db.error()));
    QCOMPARE(db.entries()->size(), before);
    QVERIFY(db.append(labCheck(Stage::AsFound, now.addSecs(-kClockSkewSeconds + 120)), *novak));
    QTemporaryDir earlier;
    QVERIFY(!record::save(labCheck(Stage::AsFound, done.addDays(1)), earlier.path()).isEmpty());
    QCOMPARE(db.importFolder(earlier.path(), *novak).imported, 1);

    // One stored before the rule, dated 2099 (written as this workstation would have): not approved before its work.
    QVERIFY(recordsfixture::trustOwnKey(db));
    QJsonObject o = record::toJson(labCheck(Stage::AsFound, future));
    const ChainEntry last = head(db);
    o.insert("number", double(db.entries("record")->size() + 1));
    o.insert("stored", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    QString why;
    const auto own = SigningKey::load(db.settings().dataFolder, why);
    const Crafted stored = craft(last.seq + 1, "record", o.value("number").toInt(), canonicalJson(o), last.hash, *own);
    QVERIFY(own && insertRow(db.connection(), stored, *own, false));
    // ... with its performer's signature, as every check has.
    const recordsdb::PersonSigner chen = recordsfixture::performer(db);
    QJsonObject performed = record::signatureToJson({Meaning::Performed, "J. Chen", QString(), "jchen",
                                                     QDateTime::currentDateTimeUtc(), chen.fingerprint()});
    performed.insert("record", o.value("number"));
    performed.insert("recordHash", QString::fromLatin1(stored.hash));
    performed.insert("number", double(db.entries("signature")->size() + 1));
    performed.insert("stored", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    performed.insert("personSignature", QString::fromLatin1(chen.sign(recordsdb::personSignedBytes(performed))));
    QVERIFY(insertRow(db.connection(), craft(stored.seq + 1, "signature", performed.value("number").toInt(),
                                             canonicalJson(performed), stored.hash, *own), *own, false));
    QVERIFY2(db.verify().intact(), qPrintable(db.verify().faults.value(0).what));
    QVERIFY(!Approvals(db).sign(o.value("number").toInt(), Meaning::Approved, recordsfixture::person(db, "M. Zhou"), "Head"));
    QVERIFY2(db.error().contains("after this signature"), qPrintable(db.error()));
}

// As the writing role: every way around the append function tried, each
// against the owner's database as it is; an attack succeeded when a statement
// of it got through and the chain, the keyring or the functions changed, or
// the owner's verify or next append failed afterwards. Where the schema's
// owner does not own the database, temporary tables stay allowed, and the
// function's qualified names alone must hold.
void TestRecordsGate::writerCampaign_data()
{
    QTest::addColumn<bool>("ownsDatabase");
    QTest::newRow("temporary revoked") << true;
    QTest::newRow("temporary allowed") << false;
}

void TestRecordsGate::writerCampaign()
{
    QFETCH(bool, ownsDatabase);
    PgCluster pg;
    QVERIFY2(pg.ok(), qPrintable(pg.errorString()));
    DbSettings owner = pg.createDatabase("roles");
    QVERIFY(pg.execute("roles", QStringLiteral("CREATE ROLE lab LOGIN; CREATE ROLE bench LOGIN; CREATE SCHEMA lab AUTHORIZATION lab;"
                                               " %1 ALTER ROLE bench SET search_path = lab; REVOKE ALL ON SCHEMA public FROM PUBLIC;"
                                               " GRANT TEMPORARY ON DATABASE roles TO PUBLIC")
                                    .arg(ownsDatabase ? "ALTER DATABASE roles OWNER TO lab;" : "")));
    owner.user = "lab";
    owner.dataFolder = m_dir.filePath("data-owner");
    RecordDb db;
    QVERIFY2(db.open(owner), qPrintable(db.error()));
    QVERIFY(db.grantWriter("bench") && recordsfixture::trustOwnKey(db));
    DbSettings writer = owner;
    writer.user = "bench";
    writer.dataFolder = m_dir.filePath("data-bench");
    // The writer holds a key the chain holds and the keyring trusts; another
    // one the keyring trusts, but never registered.
    QString why;
    const auto benchKey = SigningKey::load(owner.dataFolder, why);
    const auto unregistered = SigningKey::create(writer.dataFolder, why);
    QVERIFY(benchKey && unregistered && db.trust(unregistered->publicKey(), "bench"));
    QVERIFY2(db.append(labCheck(Stage::AsFound, QDateTime::currentDateTimeUtc().addDays(-1)), recordsfixture::performer(db)), qPrintable(db.error()));

    // What a writer's next honest entry would be, by the key given.
    const auto next = [&](const SigningKey &key, qint64 seqStep = 1, const QString &kind = "instrument",
                          const QByteArray &extra = {}) {
        const ChainEntry last = head(db);
        qint64 number = 1;
        for (const ChainEntry &e : db.entries(kind).value_or(QVector<ChainEntry>()))
            number = e.number + 1;
        const QByteArray content = "{\"number\":" + QByteArray::number(number) + extra + "}";
        return craft(last.seq + seqStep, kind, number, content, last.hash, key);
    };
    const QString shadowKeys = "CREATE TEMP TABLE trusted_keys (fingerprint TEXT, public_key TEXT, name TEXT,"
                               " added_utc TEXT, revoked_utc TEXT)";
    const QString shadowEntries = "CREATE TEMP TABLE entries (LIKE lab.entries)";
    const QString ownerTrigger = "CREATE FUNCTION pg_temp.steal() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
                                 " INSERT INTO lab.trusted_keys VALUES ('x', 'y', 'z', '', ''); RETURN NEW; END $$";
    struct Attack {
        QString name;
        QStringList sql;
        std::function<bool(QSqlDatabase)> call = {};
        int honestEntries = 0;   // a well-formed entry it carries may go in; what rides on it may not
    };
    const SigningKey &intruder = *m_intruder;
    const QVector<Attack> attacks{
        {"temp entries with a trigger, then an append",
         {shadowEntries, ownerTrigger, "CREATE TRIGGER t BEFORE INSERT ON pg_temp.entries FOR EACH ROW EXECUTE FUNCTION pg_temp.steal()"},
         [&](QSqlDatabase c) { return insertRow(c, next(*benchKey), *benchKey, true); }, 1},
        {"temp trusted_keys naming an untrusted key", {shadowKeys, QStringLiteral("INSERT INTO pg_temp.trusted_keys VALUES ('%1', '', '', '', '')").arg(QString::fromLatin1(intruder.fingerprint()))},
         [&](QSqlDatabase c) { return insertRow(c, next(intruder), intruder, true); }},
        {"search_path with pg_temp first", {"SET search_path = pg_temp, lab", shadowKeys, shadowEntries},
         [&](QSqlDatabase c) { return insertRow(c, next(intruder), intruder, true); }},
        {"an overload beside the owner's function", {"CREATE FUNCTION lab.tcal_append(p_seq integer) RETURNS void LANGUAGE sql AS $$ SELECT 1 $$"}},
        {"a function of the same name in public", {"CREATE FUNCTION public.tcal_append(bigint, text, bigint, text, text, text, text, text) RETURNS void LANGUAGE sql AS $$ SELECT 1 $$"}},
        {"a temporary function of the same name", {"CREATE FUNCTION pg_temp.tcal_append(bigint, text, bigint, text, text, text, text, text) RETURNS void LANGUAGE sql AS $$ SELECT 1 $$"}},
        {"the guard function replaced", {"CREATE OR REPLACE FUNCTION lab.tcal_append_only() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RETURN NEW; END $$"}},
        {"seq 2^63-1", {}, [&](QSqlDatabase c) { Crafted x = next(*benchKey); x = craft(std::numeric_limits<qint64>::max(), x.kind, x.number, x.content, x.prev, *benchKey); return insertRow(c, x, *benchKey, true); }},
        {"seq 999999 of kind junk", {}, [&](QSqlDatabase c) { Crafted x = next(*benchKey, 0, "junk"); x = craft(999999, "junk", 1, x.content, x.prev, *benchKey); return insertRow(c, x, *benchKey, true); }},
        {"seq one past the next", {}, [&](QSqlDatabase c) { return insertRow(c, next(*benchKey, 2), *benchKey, true); }},
        {"duplicate seq", {}, [&](QSqlDatabase c) { return insertRow(c, next(*benchKey, 0), *benchKey, true); }},
        {"seq 0 and -1", {}, [&](QSqlDatabase c) { Crafted x = next(*benchKey); return insertRow(c, craft(0, x.kind, x.number, x.content, x.prev, *benchKey), *benchKey, true) || insertRow(c, craft(-1, x.kind, x.number, x.content, x.prev, *benchKey), *benchKey, true); }},
        {"previous hash not the head's", {}, [&](QSqlDatabase c) { Crafted x = next(*benchKey); return insertRow(c, craft(x.seq, x.kind, x.number, x.content, QByteArray(64, 'a'), *benchKey), *benchKey, true); }},
        {"unknown kind", {}, [&](QSqlDatabase c) { return insertRow(c, next(*benchKey, 1, "junk"), *benchKey, true); }},
        {"huge content", {}, [&](QSqlDatabase c) { return insertRow(c, next(*benchKey, 1, "instrument", ",\"x\":\"" + QByteArray(RecordDb::kMaxEntryBytes, 'x') + "\""), *benchKey, true); }},
        {"content not JSON", {}, [&](QSqlDatabase c) { Crafted x = next(*benchKey); return insertRow(c, craft(x.seq, x.kind, x.number, "{\"number\":", x.prev, *benchKey), *benchKey, true); }},
        {"number out of its kind's order", {}, [&](QSqlDatabase c) { Crafted x = next(*benchKey); return insertRow(c, craft(x.seq, x.kind, 999, "{\"number\":999}", x.prev, *benchKey), *benchKey, true); }},
        {"hash not of the entry", {}, [&](QSqlDatabase c) { Crafted x = next(*benchKey); x.hash = QByteArray(64, 'b'); return insertRow(c, x, *benchKey, true); }},
        {"untrusted key", {}, [&](QSqlDatabase c) { return insertRow(c, next(intruder), intruder, true); }},
        {"trusted key the chain does not hold", {}, [&](QSqlDatabase c) { return insertRow(c, next(*unregistered), *unregistered, true); }},
        {"a row inserted past the function", {}, [&](QSqlDatabase c) { return insertRow(c, next(*benchKey), *benchKey, false); }},
        {"the keyring written", {"INSERT INTO lab.trusted_keys VALUES ('x', 'y', 'z', '', '')", "DELETE FROM lab.trusted_keys"}},
    };
    const auto functions = [&] {
        QSqlQuery q(db.connection());
        // A writer's temporary objects go with its session, whose end the server finishes after the
        // client has closed: only the lasting ones count.
        return q.exec("SELECT COUNT(*) FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace"
                      " WHERE p.proname LIKE 'tcal_%' AND n.nspname NOT LIKE 'pg_temp%'") && q.next() ? q.value(0).toInt() : -1;
    };
    const int functionCount = functions();
    int tried = 0;
    QStringList succeeded;
    for (const Attack &a : attacks) {
        const auto keyring = db.keyring();
        const int entriesBefore = entryCount(db), keysBefore = keyring ? keyring->size() : -1;
        bool through = false;
        {
            QSqlDatabase c = recordsfixture::connection(writer, "writer");
            for (const QString &sql : a.sql)
                through = QSqlQuery(c).exec(sql) || through;
            if (a.call)
                through = a.call(c) || through;
            c.close();
        }
        QSqlDatabase::removeDatabase("writer");
        ++tried;
        const auto keysAfter = db.keyring();
        const bool harm = entryCount(db) > entriesBefore + a.honestEntries || !keysAfter || keysAfter->size() != keysBefore || functions() != functionCount
                          || !db.verify().intact();
        const bool ownerGoesOn = db.append(labCheck(Stage::AsLeft, QDateTime::currentDateTimeUtc().addSecs(-60)), recordsfixture::performer(db)).has_value();
        if ((through && harm) || !ownerGoesOn || !db.verify().intact())
            succeeded << a.name + (ownerGoesOn ? QString() : " (" + db.error() + ")");
    }
    QSqlQuery temp(db.connection());
    QVERIFY(temp.exec("SELECT has_database_privilege('bench', 'roles', 'TEMPORARY')") && temp.next());
    QCOMPARE(temp.value(0).toBool(), !ownsDatabase);
    qInfo().noquote() << QStringLiteral("writer campaign (PostgreSQL, %1): %2 attacks tried, %3 succeeded")
                             .arg(QTest::currentDataTag()).arg(tried).arg(succeeded.size());
    QVERIFY2(succeeded.isEmpty(), qPrintable(succeeded.join('\n')));
    // The writer's honest entries still go through its function (with a key the chain holds).
    writer.dataFolder = owner.dataFolder;
    RecordDb bench;
    QVERIFY2(bench.open(writer, RecordDb::Mode::Existing), qPrintable(bench.error()));
    QVERIFY2(bench.append(labCheck(Stage::AsFound, QDateTime::currentDateTimeUtc().addSecs(-60)), recordsfixture::performer(bench)), qPrintable(bench.error()));
    QVERIFY(db.verify().intact());
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);   // certificates are laid out with fonts
    TestRecordsGate test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_records_gate.moc"
