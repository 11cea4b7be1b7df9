#pragma once
// The PDF certificate as ISO/IEC 17025 (7.8.2, 7.8.4) asks for it: the
// laboratory and the customer, the item, the dates, the procedure, the results
// with units in every heading, the uncertainty with its coverage factor and
// probability, traceability, the conformity statement with its decision rule,
// the signatures and who authorised it. Laid out by Qt's rich-text document
// and printed through QPdfWriter page by page: table header repeated, the
// certificate number and "page x of y" on every page, an end mark after the
// last line; an unapproved certificate carries a DRAFT watermark.

#include "record/calibration_record.h"
#include "record/certificate_receipt.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <optional>

class QSettings;

namespace record {

// The laboratory's and the customer's details, kept in the application's settings.
struct Issuer {
    QString laboratoryAddress;
    QString customer;
    QString customerAddress;
};

// Kept under "certificate/" in the application's settings: the window's, which tcal-cli reads too.
Issuer readIssuer(QSettings &settings);
void writeIssuer(QSettings &settings, const Issuer &issuer);

// One signature of a check: who, in which function, what it means, when.
struct Signature {
    enum class Meaning { Performed, Reviewed, Approved };
    Meaning meaning = Meaning::Performed;
    QString name;
    QString function;
    QString login;       // the database login (PostgreSQL) or the operating-system user (SQLite)
    QDateTime time;      // UTC
    QByteArray key;      // fingerprint of the person's key that signed; empty before persons' keys
};
QString meaningKey(Signature::Meaning meaning);   // "performed" / "reviewed" / "approved"
std::optional<Signature::Meaning> meaningFromKey(const QString &key);
QJsonObject signatureToJson(const Signature &signature);
// nullopt unless it names a meaning, a signer and a time.
std::optional<Signature> signatureFromJson(const QJsonObject &object);

struct CertificateContent {
    std::optional<Record> asFound;
    std::optional<Record> asLeft;
    int language = 2;
    qint64 number = 0;          // from the database's sequence; 0 when not issued
    QDateTime issued;           // the stored issue time (UTC); invalid when not issued
    Issuer issuer;
    QVector<Signature> signatures;
    bool copy = false;          // reprinted from the store
    qint64 replaces = 0;        // the certificate this one corrects (7.8.8)
    qint64 withdrawnBy = 0;     // a reprint of a certificate another one replaced
    Receipt receipt;            // place, receipt, condition, customer's data (7.8.2, 7.8.6)
};

// The verdict a certificate states: the as-left check's when there is one.
Verdict overallVerdict(const CertificateContent &content);

// An as-found check failed and an as-left one followed: the transmitter was adjusted.
bool adjusted(const CertificateContent &content);

// Approved by someone: only then is it printed without the DRAFT watermark.
bool approved(const CertificateContent &content);

// The certificate as rich text (what the PDF prints).
QString certificateHtml(const CertificateContent &content);

// The PDF; empty when there is nothing to certify. `pages` receives the page count.
QByteArray certificatePdf(const CertificateContent &content, int *pages = nullptr);

// False when there is nothing to certify or the file cannot be written.
bool writeCertificate(const QString &path, const CertificateContent &content, int *pages = nullptr);

} // namespace record
