// Re-computes the chain in one read transaction: the database's own
// integrity, the append-only guards, every entry's hash, signature and number,
// and the head against what this workstation noted and a checkpoint given.
// Each entry that was altered, removed, reordered or forged is named.

#include "records_db/record_db.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace recordsdb {

namespace {

QStringList guardsOf(QSqlDatabase &db, bool sqlite)
{
    QSqlQuery q(db);
    QStringList names;
    // A trigger that stays but no longer refuses anything does not count.
    if (sqlite ? !q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger'"
                                        " AND tbl_name = 'entries' AND sql LIKE '%RAISE(ABORT%'"))
               : !q.exec(QStringLiteral("SELECT tgname FROM pg_trigger WHERE tgrelid = to_regclass('entries')"
                                        " AND tgenabled <> 'D' AND NOT tgisinternal")))
        return names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

} // namespace

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
            fault(QStringLiteral("the database file is damaged: ") + problems.mid(0, 5).join(QStringLiteral("; ")));
    }
    const QStringList want = m_sqlite ? QStringList{"entries_no_update", "entries_no_delete"}
                                      : QStringList{"entries_no_change", "entries_no_truncate"};
    const QStringList have = guardsOf(m_db, m_sqlite);
    for (const QString &name : want) {
        if (!have.contains(name))
            fault(QStringLiteral("the append-only guard %1 is gone or disabled").arg(name));
    }
}

void RecordDb::verifyRows(ChainReport &report, QMap<qint64, QByteArray> &hashes)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT seq, kind, number, content, prev_hash, hash, key_id, signature"
                               " FROM entries ORDER BY seq"))) {
        report.faults << ChainFault{0, QString(), QStringLiteral("cannot read: ") + q.lastError().text()};
        return;
    }
    QByteArray previous = genesisHash();
    QHash<QString, qint64> numbers;        // the last number of each kind
    QHash<QByteArray, QByteArray> keys;    // fingerprint -> public key
    QSet<QByteArray> signers;
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
            fault(QStringLiteral("entries %1 to %2 are missing").arg(expected).arg(seq - 1));
        const QByteArray stored = q.value(5).toString().toLatin1();
        hashes.insert(seq, stored);
        if (!e) {
            fault(why);
            previous = stored;
            continue;
        }
        if (e->previousHash != previous)
            fault(QStringLiteral("does not follow the entry before it"));
        if (entryHash(seq, e->kind, e->previousHash, q.value(3).toString().toUtf8()) != stored)
            fault(QStringLiteral("content altered"));
        if (e->number != numbers.value(e->kind) + 1)
            fault(QStringLiteral("%1 %2 follows %1 %3").arg(e->kind).arg(e->number).arg(numbers.value(e->kind)));
        numbers[e->kind] = e->number;
        if (e->kind == QLatin1String("key")) {
            const QByteArray publicKey = e->content.value("publicKey").toString().toLatin1();
            if (SigningKey::fingerprintOf(publicKey) == e->keyId)
                keys.insert(e->keyId, publicKey);
        }
        if (!keys.contains(e->keyId))
            fault(QStringLiteral("signed by a key the chain does not hold"));
        else if (!SigningKey::verify(keys.value(e->keyId), stored, e->signature))
            fault(QStringLiteral("its signature does not match"));
        signers.insert(e->keyId);
        if (e->kind == QLatin1String("record")) {
            ++report.records;
            if (!record::fromJson(e->content))
                fault(QStringLiteral("not a readable record"));
        }
        report.head = {seq, stored, e->signature};
        previous = stored;
    }
    // A read error ends next() just as the last row does.
    if (q.lastError().isValid())
        report.faults << ChainFault{hashes.isEmpty() ? 1 : hashes.lastKey() + 1, QString(),
                                    QStringLiteral("cannot read on from here: ") + q.lastError().text()};
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
                                    QStringLiteral("entries %1 to %2 are missing (head %2 %3)")
                                        .arg(last + 1).arg(head.count).arg(source)};
    else if (head.count > 0 && hashes.value(head.count) != head.hash)
        report.faults << ChainFault{head.count, QString(),
                                    QStringLiteral("the chain was rebuilt: entry %1 differs from the head %2")
                                        .arg(head.count).arg(source)};
}

ChainReport RecordDb::verify(const std::optional<QJsonObject> &checkpoint)
{
    ChainReport report;
    // Noted before the snapshot is taken, so every head noted is in it.
    const auto noted = localAnchor(m_settings.dataFolder, anchorKey(m_settings));
    QSqlQuery q(m_db);
    // One snapshot for every read, so appends meanwhile never look like gaps.
    if (!q.exec(m_sqlite ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))) {
        report.faults << ChainFault{0, QString(), QStringLiteral("cannot read: ") + q.lastError().text()};
        return report;
    }
    verifyDatabase(report);
    QMap<qint64, QByteArray> hashes;   // by place; a forged place may be far off
    verifyRows(report, hashes);
    rollback();
    if (noted)
        verifyHead(report, hashes, *noted, QStringLiteral("noted by this workstation"));
    if (checkpoint) {
        QByteArray keyId;
        QString why;
        if (const auto head = readCheckpoint(*checkpoint, keyId, why)) {
            verifyHead(report, hashes, *head, QStringLiteral("in the checkpoint"));
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
        return fail(QStringLiteral("the chain does not verify; no checkpoint of it"), QString()), std::nullopt;
    if (!loadKey())
        return std::nullopt;
    return recordsdb::checkpoint(anchorKey(m_settings), report.head, *m_key);
}

} // namespace recordsdb
