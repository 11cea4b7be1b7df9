#pragma once
// Certificates issued from the records database: one for one transmitter's
// checks (record::pairingRefusal), approved before it is issued, numbered
// inside the append that stores it, its PDF bytes and their SHA-256 a
// "certificate" entry of the chain. A reprint is printed from the store as a
// copy with the same number; a corrected certificate names the one it
// replaces, which from then on shows as withdrawn and is never deleted.

#include "record/certificate.h"
#include "records_db/record_db.h"

#include <QByteArray>
#include <optional>

namespace recordsdb {

struct IssueRequest {
    qint64 asFound = 0;          // record numbers; 0: none
    qint64 asLeft = 0;
    qint64 replaces = 0;         // the certificate this one corrects; 0: none
    record::Issuer issuer;
    int language = 2;
    record::Receipt receipt;     // place, receipt, condition, customer's data
};

struct StoredCertificate {
    record::CertificateContent content;   // as issued (records and signatures as they were)
    QByteArray pdf;
    QByteArray sha256;                    // lower-case hex of the PDF as stored
    qint64 withdrawnBy = 0;               // the certificate that replaced it; 0 when current
};

class CertificateStore
{
public:
    explicit CertificateStore(RecordDb &db) : m_db(db) {}

    // What a certificate of these checks says now, without a number: the
    // records as stored and their signatures; approved(content) tells whether
    // it may be issued, else it prints only as a draft. nullopt with error()
    // when the checks may not go on one certificate.
    std::optional<record::CertificateContent> prepare(const IssueRequest &request);
    // Issues and stores it; nullopt with error() when refused, not approved,
    // already issued (reprint it, or issue a replacement) or not printable:
    // then no number is used.
    std::optional<StoredCertificate> issue(const IssueRequest &request);
    std::optional<StoredCertificate> find(qint64 number);
    // The stored certificate's bytes as issued, after the chain verifies and
    // holds their hash; empty with error(). find() tells whether it was withdrawn.
    QByteArray reprint(qint64 number);
    // Numbers of the current certificates that include record `number`.
    QVector<qint64> certifying(qint64 record);
    // Every stored certificate in the order issued, each withdrawn one naming its replacement.
    std::optional<QVector<StoredCertificate>> list() { return all(); }
    QString error() const { return m_error; }

private:
    std::optional<QString> issueRefusal(const IssueRequest &request, const record::CertificateContent &content);
    std::optional<QVector<StoredCertificate>> all();

    RecordDb &m_db;
    QString m_error;
};

} // namespace recordsdb
