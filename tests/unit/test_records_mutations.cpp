// The mutation campaign: one database holding every kind of entry (keys, an
// adoption of an earlier schema's chain, records and an amendment, signatures,
// a stored certificate, the instrument and standards registers), then every
// way of changing what it stores, each on a fresh copy: one character of each
// column of each entry, each entry deleted, each pair swapped, the file cut at
// each page, each guard neutralised, the chain re-signed under another key, the
// checkpoint edited or rolled back, the database reached through a link, the
// schema turned back. Verify must fail on each and pass on the original; the
// counts are printed (docs/checks.md). SQLite, then PostgreSQL.

#include "pg_cluster.h"
#include "record_samples.h"
#include "records_db/approvals.h"
#include "records_db/certificate_store.h"
#include "records_db/instrument_register.h"
#include "records_db/record_db.h"
#include "records_db/record_hash.h"
#include "records_db/standards_register.h"

#include <QGuiApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <functional>
#include <memory>

using namespace recordsdb;
using record::Stage;

namespace {

using Mutation = std::function<bool(QSqlDatabase &)>;   // false: not applicable to this copy

const QStringList kColumns{"seq", "kind", "number", "content", "prev_hash", "hash", "key_id", "signature"};

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
    if (!q.exec("SELECT seq, kind, content, prev_hash FROM entries ORDER BY seq"))
        return false;
    struct Row { qint64 seq; QString kind; QJsonObject content; QByteArray prev; };
    QVector<Row> rows;
    while (q.next())
        rows << Row{q.value(0).toLongLong(), q.value(1).toString(),
                    QJsonDocument::fromJson(q.value(2).toString().toUtf8()).object(), q.value(3).toString().toLatin1()};
    QByteArray previous = rows.isEmpty() ? genesisHash() : rows.first().prev;
    for (Row &r : rows) {
        if (r.seq < fromSeq) {
            QSqlQuery h(db);
            h.exec(QStringLiteral("SELECT hash FROM entries WHERE seq = %1").arg(r.seq));
            previous = h.next() ? h.value(0).toString().toLatin1() : previous;
            continue;
        }
        if (replaceKeys && r.kind == "key") {
            r.content.insert("publicKey", QString::fromLatin1(key.publicKey()));
            r.content.insert("fingerprint", QString::fromLatin1(key.fingerprint()));
        }
        const QByteArray text = canonicalJson(r.content);
        const QByteArray hash = entryHash(r.seq, r.kind, previous, text);
        QSqlQuery u(db);
        u.prepare("UPDATE entries SET content = ?, prev_hash = ?, hash = ?, key_id = ?, signature = ? WHERE seq = ?");
        for (const QVariant &v : {QVariant(QString::fromUtf8(text)), QVariant(QString::fromLatin1(previous)),
                                  QVariant(QString::fromLatin1(hash)), QVariant(QString::fromLatin1(key.fingerprint())),
                                  QVariant(QString::fromLatin1(key.sign(hash))), QVariant(r.seq)})
            u.addBindValue(v);
        if (!u.exec())
            return false;
        previous = hash;
    }
    return true;
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
    DbSettings copyOf(const DbSettings &original, int n);
    void dropCopy(const DbSettings &copy);
    QSqlDatabase raw(const DbSettings &s, const QString &name);
    QSqlDatabase admin(const DbSettings &s);
    bool unguarded(QSqlDatabase &db, bool sqlite, const std::function<bool()> &change);
    bool detected(const DbSettings &s, const std::optional<QJsonObject> &checkpoint = std::nullopt);

    std::unique_ptr<PgCluster> m_pg;
    QTemporaryDir m_dir;
    QString m_data;
};

void TestRecordsMutations::initTestCase()
{
    m_pg = std::make_unique<PgCluster>();
    QVERIFY2(m_pg->ok(), qPrintable(m_pg->errorString()));
    m_data = m_dir.filePath("data/TCal/tcal");
    qputenv("TCAL_KEYRING", QFile::encodeName(m_dir.filePath("keyring.json")));
}

QSqlDatabase TestRecordsMutations::raw(const DbSettings &s, const QString &name)
{
    const bool sqlite = s.kind == DbSettings::Kind::Sqlite;
    QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? "QSQLITE" : "QPSQL", name);
    if (sqlite) {
        db.setDatabaseName(s.sqliteFile);
    } else {
        db.setHostName(s.host);
        db.setPort(s.port);
        db.setDatabaseName(s.database);
        db.setUserName(s.user);
    }
    db.open();
    return db;
}

// The cluster's own database, to copy databases from a template quickly.
QSqlDatabase TestRecordsMutations::admin(const DbSettings &s)
{
    if (QSqlDatabase::contains("admin"))
        return QSqlDatabase::database("admin");
    DbSettings postgres = s;
    postgres.database = "postgres";
    return raw(postgres, "admin");
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
    if (sqlite)
        QDir().mkpath(QFileInfo(s.sqliteFile).path());
    {
        QSqlDatabase old = raw(s, "legacy");
        QSqlQuery q(old);
        if (!sqlite)   // what schema 3 made on PostgreSQL
            q.exec("CREATE FUNCTION tcal_append_only() RETURNS trigger LANGUAGE plpgsql AS"
                   " $$ BEGIN RAISE EXCEPTION '% are append-only', TG_TABLE_NAME; END $$");
        for (const char *sql : {"CREATE TABLE schema_version (version INTEGER)", "INSERT INTO schema_version VALUES (3)",
                                "CREATE TABLE counters (name TEXT, value BIGINT)", "INSERT INTO counters VALUES ('records', 1)",
                                "CREATE TABLE records (seq BIGINT, content TEXT, prev_hash TEXT, hash TEXT)",
                                "CREATE TABLE certificates (number BIGINT, as_found BIGINT, as_left BIGINT, issued_utc TEXT)",
                                "CREATE TABLE instruments (tag TEXT, serial TEXT, description TEXT, location TEXT,"
                                " input_type TEXT, range_lower REAL, range_upper REAL, unit TEXT, interval_months INT, status TEXT)",
                                "INSERT INTO instruments VALUES ('TT-1', 'C', '', 'hall', 'Pt100', 0, 100, 'C', 6, 'in service')"})
            q.exec(sql);
        const QByteArray content = canonicalContent(recordedCheck("OLD", Stage::AsFound, QDateTime(QDate(2025, 1, 2), QTime(8, 0), Qt::UTC), 0.1));
        q.prepare("INSERT INTO records VALUES (1, ?, ?, ?)");
        q.addBindValue(QString::fromUtf8(content));
        q.addBindValue(QString::fromLatin1(genesisHash()));
        q.addBindValue(QString::fromLatin1(legacyChainHash(1, genesisHash(), content)));
        q.exec();
        old.close();
    }
    QSqlDatabase::removeDatabase("legacy");
    {
        RecordDb db;
        if (!db.open(s, RecordDb::Mode::Migrate))
            return qWarning() << db.error(), DbSettings();
    }
    RecordDb db;
    if (!db.open(s))
        return qWarning() << db.error(), DbSettings();
    const QDateTime t(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
    record::Record found = recordedCheck("C", Stage::AsFound, t, 0.1), left = recordedCheck("C", Stage::AsLeft, t.addSecs(1800), 0.0);
    found.header.technician = left.header.technician = "J. Chen";
    found.header.uncertainty = left.header.uncertainty = 0.05;
    for (record::Record *r : {&found, &left}) {
        r->header.tag = "TT-1";
        r->header.laboratory = "Plant metrology lab";
        r->header.procedure = "QP-CAL-012";
        r->header.reference = "Calibrator CX-9";
        r->header.referenceCertificate = "RC-2026-118";
    }
    db.append(found);
    db.append(left);
    left.amendment = record::Amendment{3, "loop current typed late", "J. Chen"};
    db.append(left);
    // Each signer under a login of their own (on PostgreSQL a login is a person's).
    if (!sqlite)
        m_pg->execute(s.database, "DO $$ BEGIN CREATE ROLE reviewer LOGIN; CREATE ROLE approver LOGIN;"
                                  " EXCEPTION WHEN duplicate_object THEN NULL; END $$;"
                                  " GRANT SELECT, INSERT ON entries, schema_version TO reviewer, approver");
    const auto sign = [&](const QString &login, record::Signature::Meaning meaning, const QString &name) {
        DbSettings as = s;
        as.user = sqlite ? s.user : login;
        RecordDb signer;
        if (!signer.open(as, RecordDb::Mode::Existing) || !Approvals(signer).sign(2, meaning, name, "Staff")
            || !Approvals(signer).sign(4, meaning, name, "Staff"))
            qWarning() << "signature:" << signer.error();
    };
    sign(s.user, record::Signature::Meaning::Performed, "J. Chen");
    sign("reviewer", record::Signature::Meaning::Reviewed, "A. Wong");
    sign("approver", record::Signature::Meaning::Approved, "M. Zhou");
    const record::Issuer issuer{"1 Lab Road", "Plant A", "2 Plant Road"};
    CertificateStore store(db);
    if (!store.issue({2, 4, 0, issuer, 2}))
        qWarning() << "certificate:" << store.error();
    StandardsRegister(db).save({"1234567", "5522A", "Calibrator", "RC-9", QDate(2025, 12, 1), QDate(2027, 12, 1)});
    InstrumentRegister(db).save({"TT-2", "D", "Boiler", "hall", "Pt100", 0, 100, "°C", 12, "in service"});
    db.newKey("workstation replaced");
    db.append(recordedCheck("E", Stage::AsFound, t.addDays(1), 0.2));
    // The laboratory trusts both keys the chain names.
    for (const ChainEntry &e : db.entries("key").value_or(QVector<ChainEntry>()))
        db.trust(e.content.value("publicKey").toString().toLatin1(), "bench");
    if (sqlite) {
        QSqlQuery(db.connection()).exec("PRAGMA wal_checkpoint(TRUNCATE)");
        QSqlQuery(db.connection()).exec("PRAGMA journal_mode=DELETE");
    }
    return s;
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
    QSqlQuery(admin(original)).exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(copy.database, original.database));
    return copy;
}

void TestRecordsMutations::dropCopy(const DbSettings &copy)
{
    if (copy.kind == DbSettings::Kind::Sqlite)
        QFile::remove(copy.sqliteFile);
    else
        QSqlQuery(admin(copy)).exec(QStringLiteral("DROP DATABASE %1").arg(copy.database));
}

// The guards lifted for the change and put back as they were made, so what
// verify sees is the change itself.
bool TestRecordsMutations::unguarded(QSqlDatabase &db, bool sqlite, const std::function<bool()> &change)
{
    QSqlQuery q(db);
    if (!sqlite) {
        q.exec("ALTER TABLE entries DISABLE TRIGGER USER");
        const bool changed = change();
        q.exec("ALTER TABLE entries ENABLE TRIGGER USER");
        return changed;
    }
    q.exec("DROP TRIGGER entries_no_update");
    q.exec("DROP TRIGGER entries_no_delete");
    const bool changed = change();
    for (const char *what : {"UPDATE", "DELETE"})
        q.exec(QStringLiteral("CREATE TRIGGER entries_no_%1 BEFORE %2 ON entries BEGIN"
                              " SELECT RAISE(ABORT, 'entries are append-only'); END")
                   .arg(QString::fromLatin1(what).toLower(), QLatin1String(what)));
    return changed;
}

bool TestRecordsMutations::detected(const DbSettings &s, const std::optional<QJsonObject> &checkpoint)
{
    RecordDb db;
    return !db.open(s, RecordDb::Mode::ExistingOnly) || !db.verify(checkpoint).intact();
}

void TestRecordsMutations::campaign_data()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

void TestRecordsMutations::campaign()
{
    QFETCH(bool, postgres);
    const DbSettings original = build(postgres ? m_pg->createDatabase("original") : sqliteIn(m_dir.filePath("original")));
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
    int tried = 0, copies = 0;
    QStringList undetected;
    // Each mutation on a fresh copy; `name` says what it was when it went unseen.
    const auto attempt = [&](const QString &name, const Mutation &mutate,
                             const std::optional<QJsonObject> &cp = std::nullopt) {
        const DbSettings copy = copyOf(original, ++copies);
        bool applied = false;
        {
            QSqlDatabase db = raw(copy, "mutator");
            applied = mutate(db);
            db.close();
        }
        QSqlDatabase::removeDatabase("mutator");
        if (applied) {
            ++tried;
            if (!detected(copy, cp))
                undetected << name;
        }
        dropCopy(copy);
    };
    const auto sql = [&](const QString &statement, const QVariantList &values = {}) {
        return [=](QSqlDatabase &db) {
            return unguarded(db, !postgres, [&] {
                QSqlQuery q(db);
                q.prepare(statement);
                for (const QVariant &v : values)
                    q.addBindValue(v);
                return q.exec() && q.numRowsAffected() > 0;
            });
        };
    };
    const int positions = postgres ? 1 : 3;
    for (const ChainEntry &e : chain) {
        const QStringList values{QString::number(e.seq), e.kind, QString::number(e.number),
                                 QString::fromUtf8(canonicalJson(e.content)), QString::fromLatin1(e.previousHash),
                                 QString::fromLatin1(e.hash), QString::fromLatin1(e.keyId), QString::fromLatin1(e.signature)};
        for (int c = 0; c < kColumns.size(); ++c) {
            const QString &v = values[c];
            for (int p = 0; p < positions; ++p) {
                const int at = positions == 1 ? v.size() / 2 : (v.size() - 1) * p / (positions - 1);
                const QString changed = changedAt(v, at);
                const bool integer = c == 0 || c == 2;
                attempt(QStringLiteral("entry %1 %2 char %3").arg(e.seq).arg(kColumns[c]).arg(at),
                        sql(QStringLiteral("UPDATE entries SET %1 = ? WHERE seq = ?").arg(kColumns[c]),
                            {integer ? QVariant(changed.toLongLong()) : QVariant(changed), e.seq}));
            }
        }
        attempt(QStringLiteral("entry %1 padded signature").arg(e.seq),
                sql("UPDATE entries SET signature = signature || ' ' WHERE seq = ?", {e.seq}));
        attempt(QStringLiteral("entry %1 deleted").arg(e.seq), sql("DELETE FROM entries WHERE seq = ?", {e.seq}));
    }
    // Two entries swapped, every pair (PostgreSQL: neighbours).
    for (int i = 0; i < chain.size(); ++i)
        for (int j = i + 1; j < chain.size() && (!postgres || j == i + 1); ++j)
            attempt(QStringLiteral("entries %1 and %2 swapped").arg(chain[i].seq).arg(chain[j].seq),
                    [&, a = chain[i].seq, b = chain[j].seq](QSqlDatabase &db) {
                        return unguarded(db, !postgres, [&] {
                            QSqlQuery q(db);
                            return q.exec(QStringLiteral("UPDATE entries SET seq = -1 WHERE seq = %1").arg(a))
                                   && q.exec(QStringLiteral("UPDATE entries SET seq = %1 WHERE seq = %2").arg(a).arg(b))
                                   && q.exec(QStringLiteral("UPDATE entries SET seq = %1 WHERE seq = -1").arg(b));
                        });
                    });
    // The numbers kept as another type: the table rebuilt with a REAL or TEXT column.
    for (const QString type : {"REAL", "TEXT"}) {
        if (!postgres)
            attempt("number column rebuilt as " + type, [&](QSqlDatabase &db) {
                QSqlQuery q(db);
                return q.exec("CREATE TABLE e2 AS SELECT seq, kind, CAST(number AS " + type + ") AS number, content,"
                              " prev_hash, hash, key_id, signature FROM entries")
                       && q.exec("DROP TABLE entries") && q.exec("ALTER TABLE e2 RENAME TO entries")
                       && unguarded(db, true, [] { return true; });
            });
    }
    // Each guard neutralised: dropped, made conditional, narrowed, disabled.
    const QStringList guards = postgres
        ? QStringList{"DROP TRIGGER entries_no_change ON entries", "DROP TRIGGER entries_no_truncate ON entries",
                      "ALTER TABLE entries DISABLE TRIGGER entries_no_change",
                      "ALTER TABLE entries ENABLE REPLICA TRIGGER entries_no_truncate",
                      "CREATE OR REPLACE FUNCTION tcal_append_only() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RETURN NEW; END $$",
                      "DROP TRIGGER entries_no_change ON entries; CREATE TRIGGER entries_no_change BEFORE UPDATE OR DELETE ON"
                      " entries FOR EACH ROW WHEN (false) EXECUTE FUNCTION tcal_append_only()",
                      "DROP TRIGGER entries_no_change ON entries; CREATE TRIGGER entries_no_change BEFORE UPDATE OF kind OR"
                      " DELETE ON entries FOR EACH ROW EXECUTE FUNCTION tcal_append_only()"}
        : QStringList{"DROP TRIGGER entries_no_update", "DROP TRIGGER entries_no_delete",
                      "DROP TRIGGER entries_no_update; CREATE TRIGGER entries_no_update BEFORE UPDATE ON entries WHEN 0"
                      " BEGIN SELECT RAISE(ABORT, 'entries are append-only'); END",
                      "DROP TRIGGER entries_no_delete; CREATE TRIGGER entries_no_delete BEFORE DELETE ON entries WHEN 0"
                      " BEGIN SELECT RAISE(ABORT, 'entries are append-only'); END",
                      "DROP TRIGGER entries_no_update; CREATE TRIGGER entries_no_update BEFORE UPDATE OF kind ON entries"
                      " BEGIN SELECT RAISE(ABORT, 'entries are append-only'); END"};
    for (const QString &g : guards)
        attempt(g, [g](QSqlDatabase &db) {
            for (const QString &statement : g.split("; ")) {
                if (!QSqlQuery(db).exec(statement))
                    return false;
            }
            return true;
        });
    // The whole chain re-signed under a key the laboratory never trusted.
    QTemporaryDir intruder;
    QString why;
    const auto foreign = SigningKey::create(intruder.path(), why);
    attempt("chain re-signed by another key", [&](QSqlDatabase &db) {
        return unguarded(db, !postgres, [&] { return resign(db, *foreign, 1, true); });
    });
    // A key holder rewriting after the checkpoint: the checkpoint and the head noted show it.
    const auto own = SigningKey::load(m_data, why);
    attempt("last entry rewritten by a trusted key, checkpoint given", [&](QSqlDatabase &db) {
        return unguarded(db, !postgres, [&] {
            QSqlQuery q(db);
            return q.exec(QStringLiteral("UPDATE entries SET content = REPLACE(content, '\"E\"', '\"F\"') WHERE seq = %1")
                              .arg(chain.last().seq))
                   && resign(db, *own, chain.last().seq, false);
        });
    }, checkpoint);
    // The checkpoint edited field by field, signed by another key, of another database, rolled back.
    for (const QString &field : checkpoint.keys()) {
        QJsonObject edited = checkpoint;
        const QJsonValue v = checkpoint.value(field);
        edited.insert(field, v.isString() ? QJsonValue(changedAt(v.toString(), v.toString().size() / 2))
                                          : QJsonValue(v.toDouble() - 1));
        attempt("checkpoint " + field + " edited", [](QSqlDatabase &) { return true; }, edited);
    }
    ChainHead head{qint64(checkpoint.value("count").toDouble()), checkpoint.value("hash").toString().toLatin1(),
                   checkpoint.value("signature").toString().toLatin1()};
    attempt("checkpoint signed by another key", [](QSqlDatabase &) { return true; },
            recordsdb::checkpoint(checkpoint.value("database").toString().toLatin1(), head, *foreign));
    attempt("checkpoint of another database", [](QSqlDatabase &) { return true; },
            recordsdb::checkpoint(QByteArray(64, 'a'), head, *own));
    const ChainHead earlier{chain[chain.size() - 3].seq, chain[chain.size() - 3].hash, chain[chain.size() - 3].signature};
    attempt("rolled back to an earlier checkpoint", sql("DELETE FROM entries WHERE seq > ?", {earlier.count}),
            recordsdb::checkpoint(chain.first().hash, earlier, *own));
    // The schema turned back: an earlier version number, or the earlier tables with a forged chain.
    attempt("schema version 3", sql("UPDATE schema_version SET version = 3"));
    attempt("entries replaced by an earlier schema", [&](QSqlDatabase &db) {
        QSqlQuery q(db);
        return unguarded(db, !postgres, [&] {
            return q.exec("DELETE FROM entries") && q.exec("UPDATE schema_version SET version = 3");
        });
    });
    if (!postgres) {
        // The file cut at each page, and the same database through a link with its newest entry gone.
        const qint64 size = QFileInfo(original.sqliteFile).size();
        for (qint64 at = 0; at < size; at += 4096)
            attempt(QStringLiteral("file cut at %1").arg(at), [&, at](QSqlDatabase &db) {
                const QString path = db.databaseName();
                db.close();
                return QFile(path).resize(at);
            });
        const QString link = m_dir.filePath("link.sqlite");
        const DbSettings copy = copyOf(original, ++copies);
        {
            QSqlDatabase db = raw(copy, "mutator");
            sql("DELETE FROM entries WHERE seq = ?", {chain.last().seq})(db);
            db.close();
        }
        QSqlDatabase::removeDatabase("mutator");
        QVERIFY(QFile::link(copy.sqliteFile, link));
        DbSettings viaLink = copy;
        viaLink.sqliteFile = link;
        ++tried;
        if (!detected(viaLink))
            undetected << "newest entry deleted, reached through a link";
        RecordDb writer;
        QVERIFY(writer.open(viaLink, RecordDb::Mode::Existing));
        QVERIFY(!writer.append(recordedCheck("L", Stage::AsFound, QDateTime::currentDateTimeUtc(), 0.0)));
    }
    QVERIFY(!detected(original, checkpoint));
    qInfo().noquote() << QStringLiteral("mutation campaign (%1): %2 mutations tried, %3 undetected")
                             .arg(postgres ? "postgresql" : "sqlite").arg(tried).arg(undetected.size());
    QVERIFY2(undetected.isEmpty(), qPrintable(undetected.join('\n')));
    QVERIFY(tried > chain.size() * kColumns.size());
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);   // certificates are laid out with fonts
    TestRecordsMutations test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_records_mutations.moc"
