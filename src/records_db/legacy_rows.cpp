// A database of schema 3 or earlier keeps records, certificates and the
// instrument register in tables of their own, and only the records were
// chained. Its records chain is checked once and everything moves into the
// entries chain, numbers kept; a chain that does not verify is not adopted.
// Only `records migrate` does it, and it says so in a signed adoption entry:
// what came from the earlier chain was never signed, and verify reports it.

#include "records_db/instrument_register.h"
#include "records_db/record_db.h"
#include "records_db/db_texts.h"

#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace recordsdb {

namespace {

// Appends `content` only when it gets the number the old table gave it.
RecordDb::Builder keeping(qint64 number, const QJsonObject &content)
{
    return [number, content](qint64 given, QString &why) -> std::optional<QJsonObject> {
        if (given != number)
            return why = dbtext::en(dbtext::Id::EarlierNumber).arg(number).arg(given), std::nullopt;
        return content;
    };
}

} // namespace

bool RecordDb::adoptLegacyRows()
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    QVector<QPair<qint64, QJsonObject>> records;
    QByteArray previous = genesisHash();
    if (!q.exec(QStringLiteral("SELECT seq, content, prev_hash, hash FROM records ORDER BY seq")))
        return fail(dbtext::en(dbtext::Id::EarlierRecordsUnreadable), q.lastError().text());
    while (q.next()) {
        const qint64 seq = q.value(0).toLongLong();
        const QByteArray content = q.value(1).toString().toUtf8();
        const QJsonDocument doc = QJsonDocument::fromJson(content);
        if (seq != records.size() + 1 || q.value(2).toString().toLatin1() != previous
            || legacyChainHash(seq, previous, content) != q.value(3).toString().toLatin1() || !doc.isObject())
            return fail(dbtext::en(dbtext::Id::EarlierNotVerify).arg(seq),
                        QString());
        previous = q.value(3).toString().toLatin1();
        records.append({seq, doc.object()});
    }
    if (q.lastError().isValid()
        || !q.exec(QStringLiteral("SELECT value FROM counters WHERE name = 'records'")) || !q.next()
        || q.value(0).toLongLong() != records.size())
        return fail(dbtext::en(dbtext::Id::EarlierCutShort), q.lastError().text());
    const QByteArray legacyHead = previous;
    for (const auto &[seq, content] : records) {
        if (!appendLocked(QStringLiteral("record"), keeping(seq, content)))
            return false;
    }
    if (!q.exec(QStringLiteral("SELECT number, as_found, as_left, issued_utc FROM certificates ORDER BY number")))
        return fail(dbtext::en(dbtext::Id::EarlierCertificatesUnreadable), q.lastError().text());
    while (q.next()) {
        const QJsonObject c{{"asFound", q.value(1).toDouble()}, {"asLeft", q.value(2).toDouble()},
                            {"issued", q.value(3).toString()}};
        if (!appendLocked(QStringLiteral("certificate"), keeping(q.value(0).toLongLong(), c)))
            return false;
    }
    if (!q.exec(QStringLiteral("SELECT tag, serial, description, location, input_type, range_lower, range_upper,"
                               " unit, interval_months, status FROM instruments ORDER BY tag")))
        return fail(dbtext::en(dbtext::Id::EarlierInstrumentsUnreadable), q.lastError().text());
    while (q.next()) {
        const Instrument i{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                           q.value(3).toString(), q.value(4).toString(), q.value(5).toDouble(),
                           q.value(6).toDouble(), q.value(7).toString(), q.value(8).toInt(), q.value(9).toString()};
        if (!appendLocked(QStringLiteral("instrument"), [&](qint64, QString &) { return instrumentToJson(i); }))
            return false;
    }
    return appendAdoption(records.size(), legacyHead);
}

bool RecordDb::appendAdoption(int records, const QByteArray &legacyHead)
{
    const qint64 through = chainLength();
    const QJsonObject adoption{{"throughEntry", double(through)}, {"legacyRecords", records},
                               {"legacyHead", QString::fromLatin1(legacyHead)},
                               {"user", qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"))}};
    const auto e = appendLocked(QStringLiteral("adoption"), [&](qint64, QString &) { return adoption; });
    if (e)
        m_adoptedHead = *e;
    return e.has_value();
}

} // namespace recordsdb
