#pragma once
// Signatures of the checks: performed, reviewed and approved, each a
// "signature" entry of the chain bound to the hash of the record it signs.
// The signer's login is the database's on PostgreSQL and the operating-system
// user on SQLite; a check is never reviewed or approved by who performed it
// (by login on PostgreSQL, where a login is a person's; by name on both).

#include "record/certificate.h"
#include "records_db/record_db.h"

#include <QVector>
#include <optional>

namespace recordsdb {

// Who signs through this connection: the PostgreSQL session's login (which
// SET ROLE does not change), else the operating-system account.
QString signerLogin(RecordDb &db);

// A name as a person, for telling people apart: Unicode NFKC, letters that
// only look Latin (Cyrillic, Greek) taken as Latin, case, punctuation and
// whitespace left out. "J.  Chen", "j. chen." and "Ј. Chen" are one person.
QString personKey(const QString &name);

class Approvals
{
public:
    explicit Approvals(RecordDb &db) : m_db(db) {}

    // Signs the current version of record `number`; its signature's number, or
    // nullopt with error() when refused (no such record, superseded, signed so
    // already, or reviewed or approved by the person who performed it).
    std::optional<qint64> sign(qint64 number, record::Signature::Meaning meaning, const QString &name,
                               const QString &function);
    // The signatures bound to record `number` as it is stored, oldest first.
    std::optional<QVector<record::Signature>> of(qint64 number);
    QString error() const { return m_error; }

private:
    std::optional<QByteArray> recordHash(qint64 number);
    std::optional<QString> refusal(const StoredRecord &stored, const QVector<record::Signature> &signatures,
                                   record::Signature::Meaning meaning, const QString &name, const QString &login);

    RecordDb &m_db;
    QString m_error;
};

} // namespace recordsdb
