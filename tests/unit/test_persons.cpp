// Persons' own keys on both servers: a key sealed under its passphrase opens
// only with it; who may sign what is decided by keys, on one shared login,
// and the question asked before signing agrees with the store; revoking a key
// keeps what it signed before and refuses and names what comes after; verify
// names a signature with another name, by a stranger's key or altered, and
// reads a signature from before persons' keys for what it is; a check stored
// without its performer's signature is named.

#include "pg_cluster.h"
#include "record/record_store.h"
#include "record_samples.h"
#include "automation/run_records.h"
#include "records_db/approvals.h"
#include "records_db/draft_store.h"
#include "records_db/persons.h"
#include "records_db/record_db.h"
#include "records_fixture.h"

#include <QtTest>
#include <memory>

using namespace recordsdb;
using Meaning = record::Signature::Meaning;

class TestPersons : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sealedKeyOpensWithItsPassphrase();
    void keysDecideWhoSigns_data() { backends(); }
    void keysDecideWhoSigns();
    void revocationFromAPoint_data() { backends(); }
    void revocationFromAPoint();
    void verifyNamesForeignSignatures();
    void everyStoredCheckIsSigned();

private:
    void backends();
    DbSettings fresh();

    std::unique_ptr<PgCluster> m_pg;
    QTemporaryDir m_dir;
    int m_databases = 0;
};

namespace {

record::Record check(const QString &serial, record::Stage stage, int minutes)
{
    return recordedCheck(serial, stage, QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC).addSecs(60 * minutes), 0.1);
}

// A signature entry made as Approvals makes one, but appended straight, past
// its refusals: what a writer with the workstation's key could do.
QJsonObject forgedSignature(RecordDb &db, qint64 number, Meaning meaning, const PersonSigner &key, const QString &name)
{
    QJsonObject o = record::signatureToJson({meaning, name, "x", "login", QDateTime::currentDateTimeUtc(), key.fingerprint()});
    o.insert("record", double(number));
    const auto records = db.entries("record");
    for (const ChainEntry &e : *records)
        if (e.number == number)
            o.insert("recordHash", QString::fromLatin1(e.hash));
    o.insert("personSignature", QString::fromLatin1(key.sign(personSignedBytes(o))));
    return o;
}

QString faults(const ChainReport &report)
{
    QStringList named;
    for (const ChainFault &f : report.faults)
        named << QStringLiteral("%1: %2").arg(f.number).arg(f.what);
    return named.join('\n');
}

} // namespace

void TestPersons::initTestCase()
{
    m_pg = std::make_unique<PgCluster>();
    QVERIFY2(m_pg->ok(), qPrintable(m_pg->errorString()));
}

void TestPersons::backends()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

// A database and keyring of their own; the workstation's key trusted.
DbSettings TestPersons::fresh()
{
    QFETCH(bool, postgres);
    const QString name = QStringLiteral("persons%1").arg(++m_databases);
    DbSettings s = postgres ? m_pg->createDatabase(name) : sqliteIn(m_dir.filePath(name));
    s.dataFolder = m_dir.filePath("data-" + name);
    return s;
}

void TestPersons::sealedKeyOpensWithItsPassphrase()
{
    QString why;
    QVERIFY(!sealNewKey("short", why) && why.contains("at least"));
    const auto sealed = sealNewKey("a good passphrase", why), other = sealNewKey("a good passphrase", why);
    QVERIFY(sealed && other);
    const auto signer = PersonSigner::unlock(sealed->box, sealed->publicKey, "a good passphrase", why);
    QVERIFY2(signer, qPrintable(why));
    QVERIFY(SigningKey::verify(sealed->publicKey, "message", signer->sign("message")));
    QVERIFY(!PersonSigner::unlock(sealed->box, sealed->publicKey, "a good passphrasE", why) && why.contains("wrong"));
    // Another key's box under the listed public key, or costs this tool never asks for, do not open.
    QVERIFY(!PersonSigner::unlock(other->box, sealed->publicKey, "a good passphrase", why) && why.contains("not the key"));
    for (const auto &[field, value] : {std::pair{"opslimit", 1e9}, {"memlimit", 1e12}, {"memlimit", 1024.0}}) {
        QJsonObject box = sealed->box;
        box.insert(field, value);
        QVERIFY2(!PersonSigner::unlock(box, sealed->publicKey, "a good passphrase", why) && why.contains("malformed"), field);
    }
}

// One login for everyone (a laboratory's shared account): the keys tell the
// three apart. Each row asks first, then signs; the two always agree.
void TestPersons::keysDecideWhoSigns()
{
    RecordDb db;
    QVERIFY2(db.open(fresh()), qPrintable(db.error()));
    QVERIFY(recordsfixture::trustOwnKey(db));
    const PersonSigner tech = recordsfixture::person(db, "J. Chen");
    const PersonSigner rev = recordsfixture::person(db, "A. Wong", {"reviews", "approves"});
    const PersonSigner head = recordsfixture::person(db, "M. Zhou", {"approves"});
    const PersonSigner gone = recordsfixture::person(db, "K. Lam");
    QVERIFY(db.revoke(gone.fingerprint()));
    record::Record r = check("K1", record::Stage::AsFound, 0);
    r.header.technician = "M. Zhou";   // typed: shown, never compared
    QVERIFY2(db.append(r, tech), qPrintable(db.error()));
    QVERIFY(!db.append(check("K2", record::Stage::AsFound, 1), head));   // no "performs" role: nothing stored
    QVERIFY(!db.append(check("K2", record::Stage::AsFound, 1), gone));
    QCOMPARE(db.list("K2")->size(), 0);
    const struct {
        const PersonSigner *who;
        Meaning meaning;
        std::optional<SigningBar> bar;
    } rows[] = {
        {&head, Meaning::Performed, SigningBar::LacksRole}, {&tech, Meaning::Reviewed, SigningBar::PerformedIt},
        {&tech, Meaning::Approved, SigningBar::PerformedIt}, {&tech, Meaning::Performed, SigningBar::SignedAlready},
        {&gone, Meaning::Reviewed, SigningBar::KeyRevoked},  {&rev, Meaning::Reviewed, std::nullopt},
        {&rev, Meaning::Reviewed, SigningBar::SignedAlready}, {&rev, Meaning::Approved, SigningBar::ReviewedIt},
        {&head, Meaning::Approved, std::nullopt},
    };
    Approvals approvals(db);
    int disagreed = 0;
    for (const auto &row : rows) {
        const auto refused = approvals.refusal(1, row.meaning, row.who->fingerprint());
        const bool signedIt = bool(approvals.sign(1, row.meaning, *row.who, "x"));
        const bool expected = refused ? refused->bar == *row.bar : !row.bar;
        disagreed += (signedIt == bool(refused)) || !expected;
        QVERIFY2(expected, qPrintable(row.who->name() + ": " + (refused ? signingBarId(refused->bar) : "may sign")));
    }
    qInfo("%d signings asked first: %d disagreed with the store", int(std::size(rows)), disagreed);
    QCOMPARE(disagreed, 0);
    QCOMPARE(approvals.refusal(1, Meaning::Reviewed, db.keyFingerprint())->bar, SigningBar::NotEnrolled);
    // Each signature names its person as enrolled, once, and the key that signed.
    const auto signatures = approvals.of(1);
    QCOMPARE(signatures->size(), 3);
    for (const auto &[s, key] : {std::pair{signatures->at(0), &tech}, {signatures->at(1), &rev}, {signatures->at(2), &head}})
        QVERIFY(s.name == key->name() && s.key == key->fingerprint());
    r.amendment = record::Amendment{1, "typed again", "J. Chen"};
    QVERIFY(db.append(r, tech));
    QCOMPARE(approvals.refusal(1, Meaning::Approved, rev.fingerprint())->bar, SigningBar::Superseded);
    const ChainReport report = db.verify();
    QVERIFY2(report.intact(), qPrintable(faults(report)));
    for (int bar = 0; bar < int(SigningBar::SigningBarCount); ++bar)
        for (int language : {0, 1, 2})
            QVERIFY(!signingBarText(SigningBar(bar), language).isEmpty() && !signingBarId(SigningBar(bar)).isEmpty());
}

// Revoked between two signatures: the first still counts, the second is
// refused at store and, appended past the refusal, named by verify.
void TestPersons::revocationFromAPoint()
{
    RecordDb db;
    QVERIFY2(db.open(fresh()), qPrintable(db.error()));
    QVERIFY(recordsfixture::trustOwnKey(db));
    const PersonSigner tech = recordsfixture::person(db, "J. Chen"), rev = recordsfixture::person(db, "A. Wong");
    QVERIFY(db.append(check("R1", record::Stage::AsFound, 0), tech) && db.append(check("R2", record::Stage::AsFound, 1), tech));
    Approvals approvals(db);
    QVERIFY(approvals.sign(1, Meaning::Reviewed, rev, "x"));
    QVERIFY(db.revoke(rev.fingerprint()));
    QVERIFY(!db.revoke(rev.fingerprint()));
    QVERIFY2(db.verify().intact(), qPrintable(faults(db.verify())));
    QCOMPARE(approvals.of(1)->size(), 2);
    QVERIFY(!approvals.sign(2, Meaning::Reviewed, rev, "x"));   // unlocked before, refused now
    QVERIFY2(approvals.error().contains("revoked"), qPrintable(approvals.error()));
    QVERIFY(!Persons(db).unlock("A. Wong", recordsfixture::kPassphrase));
    QVERIFY(db.appendEntry("signature", forgedSignature(db, 2, Meaning::Reviewed, rev, "A. Wong")));
    const ChainReport report = db.verify();
    QCOMPARE(report.faults.size(), 1);
    QVERIFY2(report.faults.at(0).number == report.head.count && report.faults.at(0).what.contains("revoked from entry"),
             qPrintable(faults(report)));
    QCOMPARE(approvals.of(2)->size(), 1);   // the performer's only
    // The workstation's own key, revoked, stores nothing more.
    QVERIFY(db.revoke(db.keyFingerprint()));
    QVERIFY(!db.append(check("R3", record::Stage::AsFound, 2), tech) && db.error().contains("revoked"));
}

// Appended past Approvals with the workstation's key: another name over a
// person's key, a key nobody enrolled, a signature altered; and one from
// before persons' keys, which verify reads and counts as such.
void TestPersons::verifyNamesForeignSignatures()
{
    RecordDb db;
    DbSettings s = sqliteIn(m_dir.filePath("foreign"));
    s.dataFolder = m_dir.filePath("data-foreign");
    QVERIFY2(db.open(s), qPrintable(db.error()));
    QVERIFY(recordsfixture::trustOwnKey(db));
    const PersonSigner tech = recordsfixture::person(db, "J. Chen"), head = recordsfixture::person(db, "M. Zhou");
    QVERIFY(db.append(check("F1", record::Stage::AsFound, 0), tech));
    QString why;
    const auto sealed = sealNewKey(recordsfixture::kPassphrase, why);
    const auto stranger = PersonSigner::unlock(sealed->box, sealed->publicKey, recordsfixture::kPassphrase, why);
    QJsonObject altered = forgedSignature(db, 1, Meaning::Approved, head, "M. Zhou");
    altered.insert("function", "Head");
    const QList<QPair<QJsonObject, QString>> forged{
        {forgedSignature(db, 1, Meaning::Approved, head, "C. Ng"), "names C. Ng, but key"},
        {forgedSignature(db, 1, Meaning::Approved, *stranger, "M. Zhou"), "no person's in the keyring"},
        {altered, "does not match"},
    };
    int database = 0;
    for (const auto &[content, named] : forged) {
        QVERIFY(db.appendEntry("signature", content));
        const ChainReport report = db.verify();
        QVERIFY2(report.faults.size() == 1 && report.faults.at(0).what.contains(named), qPrintable(faults(report)));
        QCOMPARE(Approvals(db).of(1)->size(), 1);
        // The next one alone, in a database of its own.
        s.sqliteFile = m_dir.filePath(QStringLiteral("foreign%1/records.sqlite").arg(++database));
        QVERIFY(db.open(s) && db.append(check("F1", record::Stage::AsFound, 0), tech));
    }
    QJsonObject before = record::signatureToJson({Meaning::Reviewed, "A. Wong", "Reviewer", "bench", QDateTime::currentDateTimeUtc()});
    before.insert("record", 1.0);
    before.insert("recordHash", QString::fromLatin1(db.entries("record")->at(0).hash));
    QVERIFY(db.appendEntry("signature", before));
    const ChainReport report = db.verify();
    QVERIFY2(report.intact() && report.workstationSignatures == 1, qPrintable(faults(report)));
    QCOMPARE(Approvals(db).of(1)->size(), 2);
    QCOMPARE(Approvals(db).refusal(1, Meaning::Approved, head.fingerprint()), std::nullopt);
    // A check appended without its performer's signature, once persons sign: named.
    QVERIFY(db.appendEntry("record", record::toJson(check("F2", record::Stage::AsFound, 5))));
    const ChainReport unsigned_ = db.verify();
    QVERIFY2(unsigned_.faults.size() == 1 && unsigned_.faults.at(0).what.contains("without its performer's signature"),
             qPrintable(faults(unsigned_)));
}

// Every way a check is stored (append, import, a draft kept then stored, a
// run's store) signs it performed by its performer's key; without a performer
// a check is kept as a draft, never stored unsigned.
void TestPersons::everyStoredCheckIsSigned()
{
    RecordDb db;
    DbSettings s = sqliteIn(m_dir.filePath("every"));
    s.dataFolder = m_dir.filePath("data-every");
    QVERIFY2(db.open(s), qPrintable(db.error()));
    const PersonSigner tech = recordsfixture::person(db, "J. Chen");
    QTemporaryDir files, drafts;
    QVERIFY(!record::save(check("E2", record::Stage::AsFound, 1), files.path()).isEmpty());
    QVERIFY(db.append(check("E1", record::Stage::AsFound, 0), tech));
    QCOMPARE(db.importFolder(files.path(), tech).imported, 1);
    DraftStore store(drafts.path());
    QVERIFY(store.save(&db, check("E3", record::Stage::AsFound, 2), &tech).number);
    QVERIFY(!store.save(&db, check("E4", record::Stage::AsFound, 3), nullptr).number);   // kept as a draft
    QString why;
    QVERIFY(store.storePending(db, tech, why));
    QVERIFY(autocal::RunRecords(&db, drafts.path(), tech).store(check("E5", record::Stage::AsFound, 4)) > 0);
    QCOMPARE(autocal::RunRecords(&db, drafts.path()).store(check("E6", record::Stage::AsFound, 5)), 0);
    int unsignedChecks = 0;
    const auto stored = db.list();
    for (const StoredRecord &r : *stored) {
        const auto signatures = Approvals(db).of(r.record.id);
        unsignedChecks += signatures->isEmpty() || signatures->first().meaning != Meaning::Performed
                          || signatures->first().key != tech.fingerprint();
    }
    qInfo("%d checks stored by every path: %d without their performer's signature", int(stored->size()), unsignedChecks);
    QCOMPARE(stored->size(), 5);
    QCOMPARE(unsignedChecks, 0);
    QVERIFY(recordsfixture::trustOwnKey(db));
    QVERIFY2(db.verify().intact(), qPrintable(faults(db.verify())));
}

QTEST_GUILESS_MAIN(TestPersons)
#include "test_persons.moc"
