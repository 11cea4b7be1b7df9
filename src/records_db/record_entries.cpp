// Records and certificate numbers as entries of the chain: a record's number
// is its number within the "record" kind, and everything shown of it (serial,
// stage, start, what it amends) is read back from its hashed content.

#include "records_db/record_db.h"

#include "records_db/approvals.h"
#include "records_db/db_texts.h"

#include <QHash>

#include <algorithm>

namespace recordsdb {

namespace {

const QString kRecord = QStringLiteral("record");

// Work its performer did before their key was enrolled is not theirs to sign:
// it comes in by import, which keeps its dates and the import's apart.
std::optional<QString> enrolmentRefusal(const record::Record &r, const QVector<TrustedKey> &keyring,
                                        const QByteArray &fingerprint)
{
    const TrustedKey *key = findKey(keyring, fingerprint);
    const QDateTime added = key ? QDateTime::fromString(key->added, Qt::ISODate) : QDateTime();
    if (!added.isValid() || !r.started.isValid() || r.started >= added.addSecs(-kClockSkewSeconds))
        return std::nullopt;
    return dbtext::en(dbtext::Id::BeganBeforeEnrolled)
        .arg(r.header.serial, r.started.toUTC().toString(Qt::ISODate), key->name, added.toUTC().toString(Qt::ISODate));
}

} // namespace

QDateTime lastWorkTime(const record::Record &r)
{
    QDateTime last = r.started;
    for (const record::Point &p : r.points)
        if (p.time.isValid() && (!last.isValid() || p.time > last))
            last = p.time;
    return last;
}

std::optional<QString> datesRefusal(const record::Record &r, const QDateTime &at, const QString &event)
{
    const QDateTime last = lastWorkTime(r);
    if (!last.isValid() || last <= at.addSecs(kClockSkewSeconds))
        return std::nullopt;
    return dbtext::en(dbtext::Id::DatedAfter)
        .arg(r.header.serial, last.toUTC().toString(Qt::ISODate), event, at.toUTC().toString(Qt::ISODate))
        .arg(kClockSkewSeconds);
}

QVector<StoredRecord> RecordDb::storedRecords(const QVector<ChainEntry> &entries)
{
    QVector<StoredRecord> rows;
    QHash<qint64, qint64> latestAmendment;
    for (const ChainEntry &e : entries) {
        auto r = record::fromJson(e.content);
        if (!r) {
            fail(dbtext::en(dbtext::Id::EntryNotRecord).arg(e.seq), QString());
            return {};
        }
        r->id = e.number;
        if (r->amendment)
            latestAmendment[r->amendment->supersedes] = e.number;
        rows << StoredRecord{*r, 0, e.content.value("stored").toString(), e.content.contains("imported")};
    }
    for (StoredRecord &s : rows)
        s.supersededBy = latestAmendment.value(s.record.id);
    return rows;
}

std::optional<QVector<StoredRecord>> RecordDb::list(const QString &serial)
{
    const auto all = entries(kRecord);
    if (!all)
        return std::nullopt;
    const int before = all->size();
    QVector<StoredRecord> rows = storedRecords(*all);
    if (rows.size() != before)
        return std::nullopt;
    const QString wanted = serial.trimmed();
    if (!wanted.isEmpty())
        rows.erase(std::remove_if(rows.begin(), rows.end(),
                                  [&](const StoredRecord &s) { return s.record.header.serial != wanted; }),
                   rows.end());
    std::stable_sort(rows.begin(), rows.end(), [](const StoredRecord &a, const StoredRecord &b) {
        return a.record.started < b.record.started;
    });
    return rows;
}

std::optional<StoredRecord> RecordDb::find(qint64 number)
{
    const auto all = list();
    if (!all)
        return std::nullopt;
    for (const StoredRecord &s : *all) {
        if (s.record.id == number)
            return s;
    }
    m_error = dbtext::en(dbtext::Id::NoRecord).arg(number);
    return std::nullopt;
}

std::optional<qint64> RecordDb::append(const record::Record &input, const PersonSigner &performer,
                                       const QString &function)
{
    record::Record r = input;
    r.id = 0;
    qint64 number = 0;
    Approvals approvals(*this);
    const bool stored = appendEntries(
        {{kRecord, [&](qint64 n, QString &why) -> std::optional<QJsonObject> {
              if (const auto refused = amendmentRefusal(r))
                  return why = *refused, std::nullopt;
              if (const auto refused = datesRefusal(r, QDateTime::currentDateTimeUtc(), dbtext::en(dbtext::Id::ItsStoring)))
                  return why = *refused, std::nullopt;
              const auto keyring = this->keyring();
              if (!keyring)
                  return why = m_error, std::nullopt;
              if (const auto refused = enrolmentRefusal(r, *keyring, performer.fingerprint()))
                  return why = *refused, std::nullopt;
              number = n;
              return record::toJson(r);
          }},
         {QStringLiteral("signature"), [&](qint64, QString &why) {
              return approvals.signatureContent(number, record::Signature::Meaning::Performed, performer, function, why);
          }}});
    return stored ? std::optional<qint64>(number) : std::nullopt;
}

// Live checks and imported files alike: a correction names a record that is
// there, of the same transmitter and stage, and says why.
std::optional<QString> RecordDb::amendmentRefusal(const record::Record &r)
{
    if (!r.amendment)
        return std::nullopt;
    const auto old = find(r.amendment->supersedes);
    if (!old || old->record.header.serial != r.header.serial || old->record.stage != r.stage
        || r.amendment->reason.trimmed().isEmpty())
        return dbtext::en(dbtext::Id::AmendmentNeeds)
            .arg(r.amendment->supersedes).arg(r.header.serial, record::stageKey(r.stage));
    // One current version of a check: a correction follows the latest one.
    if (old->supersededBy)
        return dbtext::en(dbtext::Id::AmendedAlready)
            .arg(r.amendment->supersedes).arg(old->supersededBy);
    return std::nullopt;
}

std::optional<qint64> RecordDb::issueCertificate(qint64 asFound, qint64 asLeft)
{
    return appendEntry(QStringLiteral("certificate"), [&](qint64, QString &why) -> std::optional<QJsonObject> {
        for (qint64 n : {asFound, asLeft}) {
            if (n != 0 && !find(n))
                return why = dbtext::en(dbtext::Id::NoRecordToCertify).arg(n), std::nullopt;
        }
        return QJsonObject{{"asFound", double(asFound)}, {"asLeft", double(asLeft)}};
    });
}

} // namespace recordsdb
