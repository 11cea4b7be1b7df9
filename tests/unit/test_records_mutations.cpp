// The mutation campaign: one database holding every kind of entry (keys and a
// key change, an adoption of an earlier schema's chain, records and an
// amendment, signatures, a stored certificate, the instrument and standards
// registers), then a table of mutations, each applied to a fresh copy by one
// loop: verify must fail on each and pass on the original; the counts are
// printed (docs/checks.md). SQLite, then PostgreSQL. On SQLite every
// state-changing command (approve, issue, reprint, amend, import) is then run
// against each mutated copy, and none may succeed.

#include "pg_cluster.h"
#include "record_samples.h"
#include "record/record_store.h"
#include "records_db/approvals.h"
#include "records_db/certificate_store.h"
#include "records_db/instrument_register.h"
#include "records_db/record_hash.h"
#include "records_db/standards_register.h"
#include "records_fixture.h"
#include "shown_texts.h"
#include "texts/engine_texts.h"
#include "records_db/db_texts.h"

#include <QGuiApplication>
#include <QSqlQuery>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>

using namespace recordsdb;
using record::Stage;

namespace {

const QStringList kColumns{"seq", "kind", "number", "content", "prev_hash", "hash", "key_id", "signature"};

// One change to a copy: SQL statements (one a line, `values` bound to a
// single one) or an operation, run with the append-only guards lifted and put
// back unless `asIs`; verify is then given `checkpoint`, through a link when `viaLink`.
struct Mutation {
    QString name;
    QString sql;
    QVariantList values = {};
    std::function<bool(QSqlDatabase &)> apply = {};
    std::optional<QJsonObject> checkpoint = std::nullopt;
    bool asIs = false;
    bool viaLink = false;
    bool databaseAsIs() const { return asIs && checkpoint && sql.isEmpty() && !viaLink; }   // only the checkpoint changed
};

// One character changed as an attacker would: hex letters to upper case (the
// same value, another text), digits and letters to their neighbour.
QString changedAt(QString text, int i)
{
    const QChar c = text.at(i);
    if (c >= 'a' && c <= 'f')
        text[i] = c.toUpper();
    else if (c.isDigit())
        text[i] = QChar('0' + (c.digitValue() + 1) % 10);
    else if (c.isLetter())
        text[i] = c == 'z' || c == 'Z' ? QChar(c.unicode() - 25) : QChar(c.unicode() + 1);
    else
        text[i] = c == ' ' ? '_' : ' ';
    return text;
}

// Rows re-hashed and re-signed by `key` from `fromSeq` on, as someone holding that key would.
bool resign(QSqlDatabase &db, const SigningKey &key, qint64 fromSeq, bool replaceKeys)
{
    QSqlQuery q(db);
    if (!q.exec("SELECT seq, kind, content, prev_hash, hash FROM entries ORDER BY seq"))
        return false;
    QByteArray previous;
    bool first = true;
    while (q.next()) {
        const qint64 seq = q.value(0).toLongLong();
        previous = first ? q.value(3).toString().toLatin1() : previous;
        first = false;
        if (seq < fromSeq) {
            previous = q.value(4).toString().toLatin1();
            continue;
        }
        QJsonObject content = QJsonDocument::fromJson(q.value(2).toString().toUtf8()).object();
        if (replaceKeys && q.value(1).toString() == "key") {
            content.insert("publicKey", QString::fromLatin1(key.publicKey()));
            content.insert("fingerprint", QString::fromLatin1(key.fingerprint()));
        }
        const QByteArray text = canonicalJson(content), hash = entryHash(seq, q.value(1).toString(), previous, text);
        QSqlQuery u(db);
        u.prepare("UPDATE entries SET content = ?, prev_hash = ?, hash = ?, key_id = ?, signature = ? WHERE seq = ?");
        for (const QVariant &v : {QVariant(QString::fromUtf8(text)), QVariant(QString::fromLatin1(previous)),
                                  QVariant(QString::fromLatin1(hash)), QVariant(QString::fromLatin1(key.fingerprint())),
                                  QVariant(QString::fromLatin1(key.sign(hash))), QVariant(seq)})
            u.addBindValue(v);
        if (!u.exec())
            return false;
        previous = hash;
    }
    return true;
}

bool apply(QSqlDatabase &db, const Mutation &m)
{
    const QStringList guards = m.asIs ? QStringList() : recordsfixture::liftGuards(db);
    bool changed = true;
    if (m.apply)
        changed = m.apply(db);
    for (const QString &statement : m.apply ? QStringList() : m.sql.split('\n')) {
        QSqlQuery q(db);
        if (!m.values.isEmpty() && q.prepare(statement))
            for (const QVariant &v : m.values)
                q.addBindValue(v);
        const bool rows = statement.startsWith("UPDATE") || statement.startsWith("DELETE");
        changed = changed && (m.values.isEmpty() ? q.exec(statement) : q.exec()) && (!rows || q.numRowsAffected() > 0);
    }
    return (m.asIs || recordsfixture::restoreGuards(db, guards)) && changed;
}

} // namespace

class TestRecordsMutations : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void campaign_data();
    void campaign();

private:
    DbSettings build(DbSettings settings);
    QVector<Mutation> mutations(const DbSettings &original, const QVector<ChainEntry> &chain, const QJsonObject &checkpoint);
    DbSettings copyOf(const DbSettings &original, int n);
    void dropCopy(const DbSettings &copy);
    QSqlDatabase admin(const DbSettings &s);
    bool detected(const DbSettings &s, const std::optional<QJsonObject> &checkpoint = std::nullopt);
    QStringList commandsThatSucceed(DbSettings s, int n);

    std::unique_ptr<PgCluster> m_pg;
    QTemporaryDir m_dir;
    QString m_data;
    std::optional<SigningKey> m_own, m_foreign;
    QString m_imports;   // a folder of one record file no database holds
    QSet<QString> m_refusals;   // what the commands and verify said on the mutated copies
};

void TestRecordsMutations::initTestCase()
{
    m_pg = std::make_unique<PgCluster>();
    QVERIFY2(m_pg->ok(), qPrintable(m_pg->errorString()));
    m_data = m_dir.filePath("data/TCal/tcal");
    qputenv("TCAL_KEYRING", QFile::encodeName(m_dir.filePath("keyring.json")));
    QString why;
    m_foreign = SigningKey::create(m_dir.filePath("intruder"), why);
    QVERIFY2(m_foreign, qPrintable(why));
}

// The cluster's own database, to copy databases from a template quickly.
QSqlDatabase TestRecordsMutations::admin(const DbSettings &s)
{
    if (QSqlDatabase::contains("admin"))
        return QSqlDatabase::database("admin");
    DbSettings postgres = s;
    postgres.database = "postgres";
    return recordsfixture::connection(postgres, "admin");
}

// Every kind of entry: a schema-3 chain adopted by records migrate, then
// records, an amendment, signatures, a certificate, both registers, a new key.
DbSettings TestRecordsMutations::build(DbSettings s)
{
    s.dataFolder = m_data;
    const bool sqlite = s.kind == DbSettings::Kind::Sqlite;
    QString why;
    if (!SigningKey::load(m_data, why))
        SigningKey::create(m_data, why);
    if (!recordsfixture::writeSchema3(s))
        return qWarning() << "schema 3 not written", DbSettings();
    if (RecordDb migrate; !migrate.open(s, RecordDb::Mode::Migrate))
        return qWarning() << migrate.error(), DbSettings();
    RecordDb db;
    if (!db.open(s))
        return qWarning() << db.error(), DbSettings();
    const QDateTime t(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
    record::Record found = recordedCheck("C", Stage::AsFound, t, 0.1), left = recordedCheck("C", Stage::AsLeft, t.addSecs(1800), 0.0);
    for (record::Record *r : {&found, &left}) {
        r->header.technician = "J. Chen";
        r->header.uncertainty = 0.05;
        r->header.tag = "TT-1";
        r->header.laboratory = "Plant metrology lab";
        r->header.procedure = "QP-CAL-012";
        r->header.reference = "Calibrator CX-9";
        r->header.referenceCertificate = "RC-2026-118";
    }
    db.append(found, recordsfixture::performer(db));   // records 3 and 4, after the adopted 1 and 2
    db.append(left, recordsfixture::performer(db));
    left.amendment = record::Amendment{4, "loop current typed late", "J. Chen"};
    db.append(left, recordsfixture::performer(db));
    // Each signer with a key of their own, under a login of their own.
    using Meaning = record::Signature::Meaning;
    const auto reviewer = recordsfixture::person(db, "A. Wong"), approver = recordsfixture::person(db, "M. Zhou");
    if (!sqlite)
        m_pg->execute(s.database, "DO $$ BEGIN CREATE ROLE reviewer LOGIN; CREATE ROLE approver LOGIN;"
                                  " EXCEPTION WHEN duplicate_object THEN NULL; END $$;"
                                  " GRANT SELECT, INSERT ON entries, schema_version TO reviewer, approver;"
                                  " GRANT SELECT ON trusted_keys TO reviewer, approver");
    for (const auto &[login, meaning, key] : {std::tuple{QStringLiteral("reviewer"), Meaning::Reviewed, reviewer},
                                              {QStringLiteral("approver"), Meaning::Approved, approver}}) {
        DbSettings as = s;
        as.user = sqlite ? s.user : login;
        RecordDb signer;
        if (!signer.open(as, RecordDb::Mode::Existing) || !Approvals(signer).sign(3, meaning, key, "Staff")
            || !Approvals(signer).sign(5, meaning, key, "Staff"))
            qWarning() << "signature:" << signer.error();
    }
    CertificateStore store(db);
    if (!store.issue({3, 5, 0, {"1 Lab Road", "Plant A", "2 Plant Road"}, 2, {}}))
        qWarning() << "certificate:" << store.error();
    StandardsRegister(db).save({"1234567", "5522A", "Calibrator", "RC-9", QDate(2025, 12, 1), QDate(2027, 12, 1), "in service", {}});
    InstrumentRegister(db).save({"TT-2", "D", "Boiler", "hall", "Pt100", 0, 100, "°C", 12, "in service"});
    // The laboratory trusts both keys the chain names, the new one before it signs on a chain of the old.
    const auto trustKeys = [&db] {
        for (const ChainEntry &e : db.entries("key").value_or(QVector<ChainEntry>()))
            db.trust(e.content.value("publicKey").toString().toLatin1(), "bench");
    };
    trustKeys();
    db.newKey("workstation replaced");
    trustKeys();
    if (!db.append(recordedCheck("E", Stage::AsFound, t.addDays(1), 0.2), recordsfixture::performer(db)))
        qWarning() << "record E:" << db.error();
    m_own = SigningKey::load(m_data, why);
    if (sqlite) {
        QSqlQuery(db.connection()).exec("PRAGMA wal_checkpoint(TRUNCATE)");
        QSqlQuery(db.connection()).exec("PRAGMA journal_mode=DELETE");
    }
    return s;
}

// The table: each column of each entry changed at its first, middle and last
// character, the signature padded, each entry deleted, every pair swapped, the
// numbers kept as another type, each guard neutralised, the chain re-signed,
// the checkpoint edited or rolled back, the schema turned back, the file cut
// at each page, the database reached through a link.
QVector<Mutation> TestRecordsMutations::mutations(const DbSettings &original, const QVector<ChainEntry> &chain,
                                                  const QJsonObject &checkpoint)
{
    const bool sqlite = original.kind == DbSettings::Kind::Sqlite;
    QVector<Mutation> out;
    for (const ChainEntry &e : chain) {
        const QStringList values{QString::number(e.seq), e.kind, QString::number(e.number),
                                 QString::fromUtf8(canonicalJson(e.content)), QString::fromLatin1(e.previousHash),
                                 QString::fromLatin1(e.hash), QString::fromLatin1(e.keyId), QString::fromLatin1(e.signature)};
        for (int c = 0; c < kColumns.size(); ++c) {
            // In order, so that the halves of PostgreSQL's table, each built by a process of its own, split one table.
            for (const int at : std::set<int>{0, int(values[c].size() / 2), int(values[c].size() - 1)}) {
                const QString changed = changedAt(values[c], at);
                out << Mutation{QStringLiteral("entry %1 %2 char %3").arg(e.seq).arg(kColumns[c]).arg(at),
                                QStringLiteral("UPDATE entries SET %1 = ? WHERE seq = ?").arg(kColumns[c]),
                                {c == 0 || c == 2 ? QVariant(changed.toLongLong()) : QVariant(changed), e.seq}};
            }
        }
        out << Mutation{QStringLiteral("entry %1 padded signature").arg(e.seq),
                        "UPDATE entries SET signature = signature || ' ' WHERE seq = ?", {e.seq}}
            << Mutation{QStringLiteral("entry %1 deleted").arg(e.seq), "DELETE FROM entries WHERE seq = ?", {e.seq}};
        for (const ChainEntry &later : chain)
            if (later.seq > e.seq)
                out << Mutation{QStringLiteral("entries %1 and %2 swapped").arg(e.seq).arg(later.seq),
                                QStringLiteral("UPDATE entries SET seq = -1 WHERE seq = %1\nUPDATE entries SET seq = %1"
                                               " WHERE seq = %2\nUPDATE entries SET seq = %2 WHERE seq = -1")
                                    .arg(e.seq).arg(later.seq)};
    }
    for (const QString type : {"REAL", "TEXT"})
        if (sqlite)
            out << Mutation{"number column rebuilt as " + type,
                            "CREATE TABLE e2 AS SELECT seq, kind, CAST(number AS " + type + ") AS number, content, prev_hash,"
                            " hash, key_id, signature FROM entries\nDROP TABLE entries\nALTER TABLE e2 RENAME TO entries"};
    const QString trigger = "CREATE TRIGGER entries_no_%1 BEFORE %2 ON entries%3 BEGIN SELECT RAISE(ABORT, 'entries are append-only'); END";
    const QString pgTrigger = "DROP TRIGGER entries_no_change ON entries\nCREATE TRIGGER entries_no_change BEFORE %1 ON"
                              " entries FOR EACH ROW %2 EXECUTE FUNCTION tcal_append_only()";
    const QStringList guards = sqlite
        ? QStringList{"DROP TRIGGER entries_no_update", "DROP TRIGGER entries_no_delete",
                      "DROP TRIGGER entries_no_update\n" + trigger.arg("update", "UPDATE", " WHEN 0"),
                      "DROP TRIGGER entries_no_delete\n" + trigger.arg("delete", "DELETE", " WHEN 0"),
                      "DROP TRIGGER entries_no_update\n" + trigger.arg("update", "UPDATE OF kind", "")}
        : QStringList{"DROP TRIGGER entries_no_change ON entries", "DROP TRIGGER entries_no_truncate ON entries",
                      "ALTER TABLE entries DISABLE TRIGGER entries_no_change",
                      "ALTER TABLE entries ENABLE REPLICA TRIGGER entries_no_truncate",
                      "CREATE OR REPLACE FUNCTION tcal_append_only() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RETURN NEW; END $$",
                      pgTrigger.arg("UPDATE OR DELETE", "WHEN (false)"), pgTrigger.arg("UPDATE OF kind OR DELETE", "")};
    for (const QString &g : guards)
        out << Mutation{g, g, {}, {}, {}, true};
    const auto noChange = [](QSqlDatabase &) { return true; };
    const qint64 last = chain.last().seq;
    const qint64 lastCheck = std::find_if(chain.rbegin(), chain.rend(), [](const ChainEntry &e) { return e.kind == "record"; })->seq;
    out << Mutation{"chain re-signed by another key", {}, {}, [this](QSqlDatabase &db) { return resign(db, *m_foreign, 1, true); }}
        // A key holder rewriting after the checkpoint: the checkpoint and the head noted show it.
        << Mutation{"last check rewritten by a trusted key, checkpoint given", {}, {}, [this, lastCheck](QSqlDatabase &db) {
                        return QSqlQuery(db).exec(QStringLiteral("UPDATE entries SET content = REPLACE(content, '\"E\"',"
                                                                 " '\"F\"') WHERE seq = %1").arg(lastCheck))
                               && resign(db, *m_own, lastCheck, false);
                    }, checkpoint};
    for (const QString &field : checkpoint.keys()) {
        QJsonObject edited = checkpoint;
        const QJsonValue v = checkpoint.value(field);
        edited.insert(field, v.isString() ? QJsonValue(changedAt(v.toString(), v.toString().size() / 2)) : QJsonValue(v.toDouble() - 1));
        out << Mutation{"checkpoint " + field + " edited", {}, {}, noChange, edited, true};
    }
    const ChainHead head{qint64(checkpoint.value("count").toDouble()), checkpoint.value("hash").toString().toLatin1(),
                         checkpoint.value("signature").toString().toLatin1()};
    const ChainEntry &before = chain[chain.size() - 3];
    out << Mutation{"checkpoint signed by another key", {}, {}, noChange,
                    recordsdb::checkpoint(checkpoint.value("database").toString().toLatin1(), head, *m_foreign), true}
        << Mutation{"checkpoint of another database", {}, {}, noChange, recordsdb::checkpoint(QByteArray(64, 'a'), head, *m_own), true}
        << Mutation{"rolled back to an earlier checkpoint", "DELETE FROM entries WHERE seq > ?", {before.seq}, {},
                    recordsdb::checkpoint(chain.first().hash, {before.seq, before.hash, before.signature}, *m_own)}
        << Mutation{"schema version 3", "UPDATE schema_version SET version = 3"}
        << Mutation{"entries replaced by an earlier schema", "DELETE FROM entries\nUPDATE schema_version SET version = 3"};
    if (sqlite) {
        for (qint64 at = 0; at < QFileInfo(original.sqliteFile).size(); at += 4096)
            out << Mutation{QStringLiteral("file cut at %1").arg(at), {}, {}, [at](QSqlDatabase &db) {
                                const QString path = db.databaseName();
                                db.close();
                                return QFile(path).resize(at);
                            }, {}, true};
        out << Mutation{"newest entry deleted, reached through a link", "DELETE FROM entries WHERE seq = ?", {last},
                        {}, {}, false, true};
    }
    return out;
}

DbSettings TestRecordsMutations::copyOf(const DbSettings &original, int n)
{
    DbSettings copy = original;
    if (original.kind == DbSettings::Kind::Sqlite) {
        copy.sqliteFile = m_dir.filePath(QStringLiteral("copies/%1.sqlite").arg(n));
        QDir().mkpath(m_dir.filePath("copies"));
        QFile::remove(copy.sqliteFile);
        QFile::copy(original.sqliteFile, copy.sqliteFile);
        return copy;
    }
    copy.database = QStringLiteral("copy%1").arg(n);
    QSqlQuery(admin(original)).exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2 STRATEGY FILE_COPY").arg(copy.database, original.database));
    return copy;
}

void TestRecordsMutations::dropCopy(const DbSettings &copy)
{
    if (copy.kind == DbSettings::Kind::Sqlite)
        QFile::remove(copy.sqliteFile);
    else
        QSqlQuery(admin(copy)).exec(QStringLiteral("DROP DATABASE %1").arg(copy.database));
}

// The state-changing commands as tcal-cli runs them, on `s` with a copy of
// the workstation's data folder (its key and noted heads): those that succeeded.
QStringList TestRecordsMutations::commandsThatSucceed(DbSettings s, int n)
{
    s.dataFolder = m_dir.filePath(QStringLiteral("data-copies/%1").arg(n));
    QDir().mkpath(s.dataFolder);
    for (const QString &file : QDir(m_data).entryList(QDir::Files)) {
        QFile::remove(QDir(s.dataFolder).filePath(file));
        QFile::copy(QDir(m_data).filePath(file), QDir(s.dataFolder).filePath(file));
    }
    QStringList done;
    const auto run = [&](const QString &name, const std::function<bool(RecordDb &, QString &)> &command) {
        RecordDb db;
        QString why;
        if (!db.open(s, RecordDb::Mode::Existing))
            m_refusals << db.error();
        else if (command(db, why))
            done << name;
        else
            m_refusals << why;
    };
    using Meaning = record::Signature::Meaning;
    run("approve", [](RecordDb &db, QString &why) {
        Approvals approvals(db);
        return approvals.sign(6, Meaning::Reviewed, recordsfixture::person(db, "A. Wong"), "Staff").has_value()
               || (why = approvals.error(), false);
    });
    run("issue", [](RecordDb &db, QString &why) {
        CertificateStore store(db);
        return store.issue({3, 5, 2, {"1 Lab Road", "Plant A", "2 Plant Road"}, 2, {}}).has_value()
               || (why = store.error(), false);
    });
    run("reprint", [](RecordDb &db, QString &why) {
        CertificateStore store(db);
        return !store.reprint(2).isEmpty() || (why = store.error(), false);
    });
    run("amend", [](RecordDb &db, QString &why) {
        record::Record r = recordedCheck("E", Stage::AsFound, QDateTime(QDate(2026, 12, 8), QTime(8, 0), Qt::UTC), 0.2);
        r.amendment = record::Amendment{6, "reading typed late", "J. Chen"};
        return db.append(r, recordsfixture::performer(db)).has_value() || (why = db.error(), false);
    });
    run("import", [this](RecordDb &db, QString &why) {
        const ImportReport report = db.importFolder(m_imports, recordsfixture::performer(db));
        return report.imported == 1 || (why = report.refused + report.unreadable.join("; "), false);
    });
    QDir(s.dataFolder).removeRecursively();
    return done;
}

bool TestRecordsMutations::detected(const DbSettings &s, const std::optional<QJsonObject> &checkpoint)
{
    RecordDb db;
    if (!db.open(s, RecordDb::Mode::ExistingOnly))
        return m_refusals << db.error(), true;
    const ChainReport report = db.verify(checkpoint);
    for (const ChainFault &f : report.faults)
        m_refusals << f.what;
    return !report.intact();
}

void TestRecordsMutations::campaign_data()
{
    // PostgreSQL's copies take longest: its table in four parts, run side by side (tests/CMakeLists.txt).
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<int>("part");
    QTest::addColumn<int>("parts");
    QTest::newRow("sqlite") << false << 0 << 1;
    for (int part = 0; part < 4; ++part)
        QTest::newRow(qPrintable(QStringLiteral("postgresql-%1of4").arg(part + 1))) << true << part << 4;
}

void TestRecordsMutations::campaign()
{
    QFETCH(bool, postgres);
    QFETCH(int, part);
    QFETCH(int, parts);
    const QString name = QStringLiteral("original%1").arg(part);
    const DbSettings original = build(postgres ? m_pg->createDatabase(name) : sqliteIn(m_dir.filePath(name)));
    QVERIFY(!original.dataFolder.isEmpty());
    QJsonObject checkpoint;
    QVector<ChainEntry> chain;
    {
        RecordDb db;
        QVERIFY2(db.open(original, RecordDb::Mode::ExistingOnly), qPrintable(db.error()));
        const ChainReport report = db.verify();
        QVERIFY2(report.intact(), qPrintable(report.faults.value(0).what));
        chain = *db.entries();
        QSet<QString> kinds;
        for (const ChainEntry &e : chain)
            kinds << e.kind;
        QCOMPARE(kinds, (QSet<QString>{"key", "record", "certificate", "signature", "instrument", "standard", "adoption"}));
        QVERIFY(chain.size() > 15 && !report.adoptions.isEmpty());
        checkpoint = *db.checkpoint();
        QVERIFY(!detected(original, checkpoint));
    }
    const QVector<Mutation> table = mutations(original, chain, checkpoint);
    int tried = 0, copies = 0, commandRuns = 0;
    QStringList undetected, notApplied, commandsThrough;
    m_imports = m_dir.filePath("imports");
    QVERIFY(!record::save(recordedCheck("F", Stage::AsFound, QDateTime(QDate(2026, 12, 8), QTime(9, 0), Qt::UTC), 0.3),
                          m_imports).isEmpty());
    {   // on a copy as it was, every command succeeds
        const DbSettings control = copyOf(original, ++copies);
        QCOMPARE(commandsThatSucceed(control, copies), (QStringList{"approve", "issue", "reprint", "amend", "import"}));
        dropCopy(control);
    }
    for (int i = part; i < table.size(); i += parts) {
        const Mutation &m = table[i];
        const DbSettings copy = copyOf(original, ++copies);
        bool applied = false;
        {
            QSqlDatabase db = recordsfixture::connection(copy, "mutator");
            applied = apply(db, m);
            db.close();
        }
        QSqlDatabase::removeDatabase("mutator");
        DbSettings reached = copy;
        if (applied && m.viaLink) {   // the same file by another path: no head noted under that path
            reached.sqliteFile = m_dir.filePath("link.sqlite");
            QFile::remove(reached.sqliteFile);
            QVERIFY(QFile::link(copy.sqliteFile, reached.sqliteFile));
            RecordDb writer;   // nor is the cut hidden by appending through it
            QVERIFY(writer.open(reached, RecordDb::Mode::Existing));
            QVERIFY(!writer.append(recordedCheck("L", Stage::AsFound, QDateTime::currentDateTimeUtc(), 0.0), recordsfixture::performer(writer)));
        }
        tried += applied;
        if (!applied)
            notApplied << m.name;
        else if (!detected(reached, m.checkpoint))
            undetected << m.name;
        if (applied && !m.databaseAsIs()) {
            commandRuns += 5;
            for (const QString &command : commandsThatSucceed(reached, copies))
                commandsThrough << m.name + ": " + command;
        }
        dropCopy(copy);
    }
    QVERIFY(!detected(original, checkpoint));
    qInfo().noquote() << QStringLiteral("mutation campaign (%1): %2 mutations tried, %3 undetected (%4 not applicable: %5)")
                             .arg(QTest::currentDataTag()).arg(tried).arg(undetected.size())
                             .arg(notApplied.size()).arg(notApplied.join(", "));
    qInfo().noquote() << QStringLiteral("through every command (%1): %2 commands run on mutated copies, %3 succeeded")
                                 .arg(QTest::currentDataTag()).arg(commandRuns).arg(commandsThrough.size());
    // The library's own words left in English: a piece of any of its templates. What
    // the mutation wrote (a kind, a name) and the driver's words stay as they are.
    QStringList pieces;
    for (int id = 0; id < int(dbtext::Id::Count); ++id)
        for (const QString &piece : dbtext::en(dbtext::Id(id)).split(QRegularExpression("%\\d")))
            if (piece.count(QRegularExpression("[A-Za-z]")) >= 5)
                pieces << piece.trimmed();
    QStringList english;
    for (const QString &refusal : std::as_const(m_refusals))
        for (int language : {0, 1}) {
            const QString shown = enginetext::render(refusal, language);
            const QString words = QString(shown).remove(QRegularExpression("`[^`]*`"));   // commands as typed
            const auto left = std::find_if(pieces.begin(), pieces.end(), [&](const QString &p) {
                return words.contains(QRegularExpression("\\b" + QRegularExpression::escape(p) + "\\b"));
            });
            if (left != pieces.end() || !shown::hasChinese(shown))
                english << QStringLiteral("[%1] \"%2\" in %3").arg(language).arg(left != pieces.end() ? *left : "", shown);
        }
    qInfo().noquote() << QStringLiteral("in the window's language (%1): %2 distinct refusals x 2 languages, %3 with the library's words in English")
                             .arg(QTest::currentDataTag()).arg(m_refusals.size()).arg(english.size());
    QVERIFY2(undetected.isEmpty(), qPrintable(undetected.join('\n')));
    QVERIFY2(english.isEmpty(), qPrintable(english.mid(0, 20).join('\n')));
    QVERIFY2(commandsThrough.isEmpty(), qPrintable(commandsThrough.join('\n')));
    QVERIFY(tried > chain.size() * kColumns.size() * 2 / parts);
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);   // certificates are laid out with fonts
    // A PostgreSQL part copies a database and runs five commands for each of its
    // mutations: beside the rest of CI on a loaded machine that is more than QtTest's 300 s.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "900000");
    TestRecordsMutations test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_records_mutations.moc"
