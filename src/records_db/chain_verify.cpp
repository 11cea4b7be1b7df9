// Re-computes the chain in one read transaction: the database's own
// integrity, the append-only guards, every entry's hash, signature and number,
// and the head against what this workstation noted and a checkpoint given.
// Each entry that was altered, removed, reordered or forged is named.

#include "records_db/approvals.h"
#include "records_db/record_db.h"
#include "records_db/db_texts.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace recordsdb {

namespace {

// A guard counts only as it was made: a trigger kept under its name but
// rewritten (WHEN 0, UPDATE OF one column, another function) refuses nothing.
const QHash<QString, QString> kSqliteGuards{
    {"entries_no_update", "CREATE TRIGGER entries_no_update BEFORE UPDATE ON entries BEGIN"
                          " SELECT RAISE(ABORT, 'entries are append-only'); END"},
    {"entries_no_delete", "CREATE TRIGGER entries_no_delete BEFORE DELETE ON entries BEGIN"
                          " SELECT RAISE(ABORT, 'entries are append-only'); END"},
};
// pg_trigger.tgtype: ROW 1, BEFORE 2, DELETE 8, UPDATE 16, TRUNCATE 32.
const QHash<QString, int> kPgGuards{{"entries_no_change", 1 | 2 | 8 | 16}, {"entries_no_truncate", 2 | 32}};
const char kPgGuardBody[] = " BEGIN RAISE EXCEPTION '% are append-only', TG_TABLE_NAME; END ";

QStringList guardsOf(QSqlDatabase &db, bool sqlite)
{
    QSqlQuery q(db);
    QStringList names;
    if (sqlite) {
        if (!q.exec(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' AND tbl_name = 'entries'")))
            return names;
        while (q.next())
            if (kSqliteGuards.value(q.value(0).toString()) == q.value(1).toString().simplified())
                names << q.value(0).toString();
        return names;
    }
    // Enabled in the ordinary (origin) mode, unconditional, on every column, calling the guard as made.
    if (!q.exec(QStringLiteral("SELECT t.tgname, t.tgtype, p.prosrc FROM pg_trigger t JOIN pg_proc p ON p.oid = t.tgfoid"
                               " WHERE t.tgrelid = to_regclass('entries') AND NOT t.tgisinternal"
                               " AND t.tgenabled IN ('O', 'A') AND t.tgqual IS NULL AND t.tgattr::text = ''")))
        return names;
    while (q.next()) {
        const QString name = q.value(0).toString();
        if (kPgGuards.contains(name) && kPgGuards.value(name) == q.value(1).toInt()
            && q.value(2).toString() == QLatin1String(kPgGuardBody))
            names << name;
    }
    return names;
}

} // namespace

QString untrustedSigner(const QVector<TrustedKey> &keyring, const ChainEntry &entry, const QByteArray &identity)
{
    return distrust(keyring, entry.keyId, identity, entry.seq);
}

void RecordDb::verifyDatabase(ChainReport &report)
{
    auto fault = [&](const QString &what) { report.faults << ChainFault{0, QString(), what}; };
    if (m_sqlite) {
        QSqlQuery q(m_db);
        QStringList problems;
        if (!q.exec(QStringLiteral("PRAGMA integrity_check")))
            problems << q.lastError().text();
        while (q.next())
            problems << q.value(0).toString();
        if (problems != QStringList{QStringLiteral("ok")})
            fault(dbtext::en(dbtext::Id::DatabaseDamaged).arg(problems.mid(0, 5).join(QStringLiteral("; "))));
    }
    const QStringList want = m_sqlite ? QStringList{"entries_no_update", "entries_no_delete"}
                                      : QStringList{"entries_no_change", "entries_no_truncate"};
    const QStringList have = guardsOf(m_db, m_sqlite);
    for (const QString &name : want) {
        if (!have.contains(name))
            fault(dbtext::en(dbtext::Id::GuardGone).arg(name));
    }
}

void RecordDb::verifyRows(ChainReport &report, QMap<qint64, QByteArray> &hashes, const QVector<TrustedKey> &keyring)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    // Numbers are integers: SQLite keeps whatever type a value was given.
    if (!q.exec(QStringLiteral("SELECT seq, kind, number, content, prev_hash, hash, key_id, signature, ")
                + (m_sqlite ? QStringLiteral("typeof(seq), typeof(number)") : QStringLiteral("'integer', 'integer'"))
                + QStringLiteral(" FROM entries ORDER BY seq"))) {
        report.faults << ChainFault{0, QString(), dbtext::en(dbtext::Id::CannotReadBecause).arg(q.lastError().text())};
        return;
    }
    QByteArray previous = genesisHash();
    QHash<QString, qint64> numbers;        // the last number of each kind
    QHash<QByteArray, QByteArray> keys;    // fingerprint -> public key
    QSet<QByteArray> signers;
    PerformerCheck performers;
    while (q.next()) {
        const qint64 seq = q.value(0).toLongLong();
        QString why;
        const auto e = entryFromRow(q, why);
        ++report.checked;
        auto fault = [&](const QString &what) {
            report.faults << ChainFault{seq, e ? e->content.value("header").toObject().value("serial").toString()
                                               : QString(), what};
        };
        const qint64 expected = hashes.isEmpty() ? 1 : hashes.lastKey() + 1;
        if (seq != expected)
            fault(dbtext::en(dbtext::Id::EntriesMissing).arg(expected).arg(seq - 1));
        const QByteArray stored = q.value(5).toString().toLatin1();
        hashes.insert(seq, stored);
        if (q.value(8).toString() != QLatin1String("integer") || q.value(9).toString() != QLatin1String("integer"))
            fault(dbtext::en(dbtext::Id::NotInteger));
        if (!e) {
            fault(why);
            previous = stored;
            continue;
        }
        if (e->previousHash != previous)
            fault(dbtext::en(dbtext::Id::DoesNotFollow));
        if (entryHash(seq, e->kind, e->previousHash, q.value(3).toString().toUtf8()) != stored)
            fault(dbtext::en(dbtext::Id::ContentAltered));
        if (e->number != numbers.value(e->kind) + 1)
            fault(dbtext::en(dbtext::Id::NumberFollows).arg(e->kind).arg(e->number).arg(numbers.value(e->kind)));
        numbers[e->kind] = e->number;
        if (e->kind == QLatin1String("key")) {
            const QByteArray publicKey = e->content.value("publicKey").toString().toLatin1();
            if (SigningKey::fingerprintOf(publicKey) == e->keyId)
                keys.insert(e->keyId, publicKey);
        }
        if (!keys.contains(e->keyId))
            fault(dbtext::en(dbtext::Id::UnknownSigner));
        else if (!SigningKey::verify(keys.value(e->keyId), stored, e->signature))
            fault(dbtext::en(dbtext::Id::SignatureNoMatch));
        if (seq == 1)
            report.identity = stored;
        const QString distrusted = untrustedSigner(keyring, *e, report.identity);
        if (!distrusted.isEmpty()) {
            fault(dbtext::en(dbtext::Id::SignedByKey).arg(QString::fromLatin1(e->keyId), distrusted));
            report.faults.last().keyringOnly = true;
        }
        bool fromWorkstation = false;
        bool keyringOnly = false;
        const QString personal = personSignatureFault(*e, keyring, report.identity, &fromWorkstation, &keyringOnly);
        if (!personal.isEmpty()) {
            fault(personal);
            report.faults.last().keyringOnly = keyringOnly;
        }
        for (ChainFault &f : report.faults)
            if (f.number == seq)
                f.keyId = e->keyId;
        report.workstationSignatures += fromWorkstation ? 1 : 0;
        performers.feed(*e, report.faults);
        if (e->kind == QLatin1String("adoption")) {
            report.adopted += int(e->content.value("throughEntry").toDouble()) - 1;
            report.adoptions << dbtext::en(dbtext::Id::Adopted)
                                    .arg(qint64(e->content.value("throughEntry").toDouble()))
                                    .arg(e->content.value("legacyHead").toString().left(16), QString::fromLatin1(e->keyId))
                                    .arg(seq);
        }
        signers.insert(e->keyId);
        if (e->kind == QLatin1String("record")) {
            ++report.records;
            if (!record::fromJson(e->content))
                fault(dbtext::en(dbtext::Id::NotReadableRecord));
        }
        report.head = {seq, stored, e->signature};
        previous = stored;
    }
    performers.finish(report.faults);
    // A read error ends next() just as the last row does.
    if (q.lastError().isValid())
        report.faults << ChainFault{hashes.isEmpty() ? 1 : hashes.lastKey() + 1, QString(),
                                    dbtext::en(dbtext::Id::CannotReadOn).arg(q.lastError().text())};
    for (const QByteArray &k : signers)
        report.keys << QString::fromLatin1(k);
    report.keys.sort();
}

void RecordDb::verifyHead(ChainReport &report, const QMap<qint64, QByteArray> &hashes, const ChainHead &head,
                          const QString &source)
{
    const qint64 last = hashes.isEmpty() ? 0 : hashes.lastKey();
    if (head.count > last)
        report.faults << ChainFault{head.count, QString(),
                                    dbtext::en(dbtext::Id::EntriesMissingHead)
                                        .arg(last + 1).arg(head.count).arg(source)};
    else if (head.count > 0 && hashes.value(head.count) != head.hash)
        report.faults << ChainFault{head.count, QString(),
                                    dbtext::en(dbtext::Id::Rebuilt)
                                        .arg(head.count).arg(source)};
}

// Every check of the chain in the transaction that is open: the keyring,
// the database, the rows and the heads `noted`.
void RecordDb::chainSnapshot(ChainReport &report, QMap<qint64, QByteArray> &hashes, const QVector<TrustedKey> &keyring,
                             const QHash<QString, ChainHead> &noted)
{
    verifyDatabase(report);
    verifyRows(report, hashes, keyring);
    if (noted.contains(anchorKey(m_settings)))
        verifyHead(report, hashes, noted.value(anchorKey(m_settings)), dbtext::en(dbtext::Id::NotedHere));
    if (noted.contains(identityAnchorKey(report.identity)))
        verifyHead(report, hashes, noted.value(identityAnchorKey(report.identity)),
                   dbtext::en(dbtext::Id::NotedHereForDb));
}

ChainReport RecordDb::verify(const std::optional<QJsonObject> &checkpoint)
{
    ChainReport report;
    const auto keys = keyring();
    if (!keys) {
        report.faults << ChainFault{0, QString(), m_error};
        return report;
    }
    // Noted before the snapshot is taken, so every head noted is in it.
    QString notesProblem;
    const QHash<QString, ChainHead> noted = localAnchors(m_settings.dataFolder, notesProblem).value_or(QHash<QString, ChainHead>());
    if (!notesProblem.isEmpty())
        report.faults << ChainFault{0, QString(), notesProblem};
    QSqlQuery q(m_db);
    // One snapshot for every read, so appends meanwhile never look like gaps.
    if (!q.exec(m_sqlite ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))) {
        report.faults << ChainFault{0, QString(), dbtext::en(dbtext::Id::CannotReadBecause).arg(q.lastError().text())};
        return report;
    }
    QMap<qint64, QByteArray> hashes;   // by place; a forged place may be far off
    chainSnapshot(report, hashes, *keys, noted);
    rollback();
    if (checkpoint) {
        QByteArray keyId, identity;
        QString why;
        if (const auto head = readCheckpoint(*checkpoint, keyId, identity, why)) {
            const QString distrusted = distrust(*keys, keyId);   // a checkpoint is trusted now, not at a place
            if (identity != report.identity)
                report.faults << ChainFault{0, QString(), dbtext::en(dbtext::Id::CheckpointOtherDb)};
            else if (!distrusted.isEmpty())
                report.faults << ChainFault{0, QString(), dbtext::en(dbtext::Id::CheckpointSignedBy)
                                                              .arg(QString::fromLatin1(keyId), distrusted)};
            else
                verifyHead(report, hashes, *head, dbtext::en(dbtext::Id::InCheckpoint));
            report.checkpointKey = QString::fromLatin1(keyId);
        } else {
            report.faults << ChainFault{0, QString(), why};
        }
    }
    return report;
}

std::optional<QJsonObject> RecordDb::checkpoint()
{
    const ChainReport report = verify();
    if (!report.intact())
        return fail(dbtext::en(dbtext::Id::NoCheckpoint), QString()), std::nullopt;
    if (!loadKey())
        return std::nullopt;
    return recordsdb::checkpoint(report.identity, report.head, *m_key);
}

} // namespace recordsdb
