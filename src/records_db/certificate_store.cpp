#include "records_db/certificate_store.h"

#include "record/certificate_pairing.h"
#include "record/record_texts.h"
#include "records_db/approvals.h"
#include "records_db/db_texts.h"

#include <QCryptographicHash>
#include <QHash>
#include <QJsonArray>
#include <QSet>

#include <algorithm>

namespace recordsdb {

namespace {

const QString kCertificate = QStringLiteral("certificate");

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// A certificate of the checks `found` and `left`: both approved, or their approvals left out.
void addSignatures(record::CertificateContent &c, const QVector<QVector<record::Signature>> &perRecord)
{
    bool everyApproved = !perRecord.isEmpty();
    for (const auto &signatures : perRecord)
        everyApproved = everyApproved && std::any_of(signatures.begin(), signatures.end(), [](const auto &s) {
                            return s.meaning == record::Signature::Meaning::Approved;
                        });
    for (const auto &signatures : perRecord)
        for (const record::Signature &s : signatures)
            if (everyApproved || s.meaning != record::Signature::Meaning::Approved)
                c.signatures << s;
}

QJsonObject contentToJson(const record::CertificateContent &c, const QByteArray &pdf)
{
    QJsonArray signatures;
    for (const record::Signature &s : c.signatures)
        signatures.append(record::signatureToJson(s));
    return {{"asFound", double(c.asFound ? c.asFound->id : 0)}, {"asLeft", double(c.asLeft ? c.asLeft->id : 0)},
            {"replaces", double(c.replaces)}, {"issued", c.issued.toUTC().toString(Qt::ISODateWithMs)},
            {"language", c.language},
            {"issuer", QJsonObject{{"laboratoryAddress", c.issuer.laboratoryAddress}, {"customer", c.issuer.customer},
                                   {"customerAddress", c.issuer.customerAddress}}},
            {"signatures", signatures}, {"receipt", record::receiptToJson(c.receipt)},
            {"pdf", QString::fromLatin1(pdf.toBase64())},
            {"pdfSha256", QString::fromLatin1(sha256(pdf))}};
}

// The header's U, or one of its own on every recorded point.
bool uncertaintyStated(const record::Record &r)
{
    if (r.header.uncertainty)
        return true;
    bool recorded = false;
    for (const record::Point &p : r.points) {
        if (p.status != record::Point::Status::Recorded)
            continue;
        if (!p.uncertainty)
            return false;
        recorded = true;
    }
    return recorded;
}

// What a certificate must name before it is issued (ISO/IEC 17025 7.8.2.1):
// the laboratory, the customer, the procedure, the reference and its certificate.
std::optional<QString> missingDetails(const record::CertificateContent &c)
{
    using dbtext::Id;
    QStringList missing;
    if (c.issuer.customer.trimmed().isEmpty())
        missing << dbtext::en(Id::Customer);
    for (const auto &r : {c.asFound, c.asLeft}) {
        if (!r)
            continue;
        const record::Header &h = r->header;
        for (const auto &[name, value] : {std::pair{Id::Laboratory, &h.laboratory}, std::pair{Id::Procedure, &h.procedure},
                                          std::pair{Id::ReferenceInstrument, &h.reference},
                                          std::pair{Id::ReferenceCertificate, &h.referenceCertificate}})
            if (value->trimmed().isEmpty() && !missing.contains(dbtext::en(name)))
                missing << dbtext::en(name);
    }
    if (missing.isEmpty())
        return std::nullopt;
    return dbtext::en(dbtext::Id::NotIssuedMissing).arg(missing.join(QStringLiteral(", ")));
}

// The first version of each record: a check and its amendments are one
// calibration, which has one current certificate.
QHash<qint64, qint64> origins(const QVector<StoredRecord> &records)
{
    QHash<qint64, qint64> supersedes, origin;
    for (const StoredRecord &s : records)
        supersedes.insert(s.record.id, s.record.amendment ? s.record.amendment->supersedes : 0);
    for (auto it = supersedes.cbegin(); it != supersedes.cend(); ++it) {
        qint64 n = it.key();
        for (int step = 0; supersedes.value(n) && step < supersedes.size(); ++step)
            n = supersedes.value(n);
        origin.insert(it.key(), n);
    }
    return origin;
}

} // namespace

std::optional<record::CertificateContent> CertificateStore::prepare(const IssueRequest &request)
{
    std::optional<StoredRecord> found, left;
    for (auto [number, stored] : {std::pair{request.asFound, &found}, std::pair{request.asLeft, &left}}) {
        if (number != 0 && !(*stored = m_db.find(number)))
            return m_error = record::text(record::Text::PairingMissing, request.language).arg(number), std::nullopt;
    }
    const QString refused = record::pairingRefusal({found ? &found->record : nullptr, left ? &left->record : nullptr,
                                                    found ? found->supersededBy : 0, left ? left->supersededBy : 0},
                                                   request.language);
    if (!refused.isEmpty())
        return m_error = refused, std::nullopt;
    // The date of receipt against the first check's day, as the certificate prints it.
    const QString late = record::receiptRefusal(request.receipt, (found ? found : left)->record.started.toLocalTime().date(),
                                                request.language);
    if (!late.isEmpty())
        return m_error = late, std::nullopt;
    record::CertificateContent c;
    c.language = request.language;
    c.issuer = request.issuer;
    c.replaces = request.replaces;
    c.receipt = request.receipt;
    Approvals approvals(m_db);
    QVector<QVector<record::Signature>> signatures;
    for (auto [stored, target] : {std::pair{&found, &c.asFound}, std::pair{&left, &c.asLeft}}) {
        if (!*stored)
            continue;
        *target = (*stored)->record;
        const auto of = approvals.of((*stored)->record.id);
        if (!of)
            return m_error = approvals.error(), std::nullopt;
        signatures << *of;
    }
    addSignatures(c, signatures);
    return c;
}

std::optional<QString> CertificateStore::issueRefusal(const IssueRequest &request, const record::CertificateContent &c)
{
    if (!record::approved(c))
        return dbtext::en(dbtext::Id::NotApproved);
    // A statement of conformity needs the uncertainty it was decided with (ISO/IEC 17025 7.8.4.1).
    for (const auto &r : {c.asFound, c.asLeft})
        if (r && !uncertaintyStated(*r))
            return dbtext::en(dbtext::Id::NoExpandedU).arg(r->id);
    if (const auto missing = missingDetails(c))
        return *missing;
    const auto certificates = all();
    if (!certificates)
        return m_error;
    const auto records = m_db.list();
    if (!records)
        return m_db.error();
    const QHash<qint64, qint64> origin = origins(*records);
    const auto calibrationOf = [&](qint64 asFound, qint64 asLeft) {
        QSet<qint64> set;
        for (qint64 r : {asFound, asLeft})
            if (r)
                set.insert(origin.value(r, r));
        return set;
    };
    const QSet<qint64> calibration = calibrationOf(request.asFound, request.asLeft);
    const QString serial = (c.asLeft ? c.asLeft : c.asFound)->header.serial;
    bool replaced = request.replaces == 0;
    for (const StoredCertificate &old : *certificates) {
        const qint64 n = old.content.number;
        const qint64 oldFound = old.content.asFound ? old.content.asFound->id : 0;
        const qint64 oldLeft = old.content.asLeft ? old.content.asLeft->id : 0;
        const bool same = oldFound == request.asFound && oldLeft == request.asLeft;
        if (same && !old.withdrawnBy && n != request.replaces)
            return dbtext::en(dbtext::Id::CertifiedAlready).arg(n);
        // A check is on one current certificate at most.
        for (qint64 r : {request.asFound, request.asLeft})
            if (r && (r == oldFound || r == oldLeft) && !old.withdrawnBy && n != request.replaces)
                return dbtext::en(dbtext::Id::OnCertificateAlready).arg(r).arg(n);
        if (!old.withdrawnBy && n != request.replaces && calibrationOf(oldFound, oldLeft).intersects(calibration))
            return dbtext::en(dbtext::Id::CurrentForEarlier).arg(n);
        if (n != request.replaces)
            continue;
        if (old.withdrawnBy)
            return dbtext::en(dbtext::Id::WithdrawnAlready).arg(n).arg(old.withdrawnBy);
        if ((old.content.asLeft ? old.content.asLeft : old.content.asFound)->header.serial != serial)
            return dbtext::en(dbtext::Id::OtherTransmitter).arg(n);
        replaced = true;
    }
    if (!replaced)
        return dbtext::en(dbtext::Id::NoCertificateToReplace).arg(request.replaces);
    return std::nullopt;
}

std::optional<StoredCertificate> CertificateStore::issue(const IssueRequest &request)
{
    StoredCertificate issued;
    // Everything is read and checked inside the append: the number is taken only if it is stored.
    const auto number = m_db.appendEntry(kCertificate, [&](qint64 n, QString &why) -> std::optional<QJsonObject> {
        auto content = prepare(request);
        const auto refused = content ? issueRefusal(request, *content) : std::optional<QString>(m_error);
        if (refused)
            return why = *refused, std::nullopt;
        content->number = n;
        content->issued = QDateTime::currentDateTimeUtc();
        issued.pdf = record::certificatePdf(*content);
        if (issued.pdf.isEmpty())
            return why = dbtext::en(dbtext::Id::NotPrinted), std::nullopt;
        issued.content = *content;
        issued.sha256 = sha256(issued.pdf);
        return contentToJson(*content, issued.pdf);
    });
    if (!number)
        return m_error = m_db.error(), std::nullopt;
    return issued;
}

// Every certificate entry with a stored PDF, and which ones were replaced; the
// numbers taken before certificates were stored whole are left out.
std::optional<QVector<StoredCertificate>> CertificateStore::all()
{
    const auto entries = m_db.entries(kCertificate);
    if (!entries)
        return m_error = m_db.error(), std::nullopt;
    QVector<StoredCertificate> list;
    for (const ChainEntry &e : *entries) {
        const QJsonObject &o = e.content;
        if (!o.contains("pdf"))
            continue;
        StoredCertificate s;
        record::CertificateContent &c = s.content;
        c.number = e.number;
        c.language = o.value("language").toInt(2);
        c.issued = QDateTime::fromString(o.value("issued").toString(), Qt::ISODateWithMs);
        c.replaces = qint64(o.value("replaces").toDouble());
        const QJsonObject issuer = o.value("issuer").toObject();
        c.issuer = {issuer.value("laboratoryAddress").toString(), issuer.value("customer").toString(),
                    issuer.value("customerAddress").toString()};
        c.receipt = record::receiptFromJson(o.value("receipt").toObject());
        for (const QJsonValue &v : o.value("signatures").toArray())
            if (const auto sig = record::signatureFromJson(v.toObject()))
                c.signatures << *sig;
        for (auto [key, target] : {std::pair{"asFound", &c.asFound}, std::pair{"asLeft", &c.asLeft}}) {
            const qint64 n = qint64(o.value(key).toDouble());
            const auto stored = n ? m_db.find(n) : std::nullopt;
            if (n && !stored)
                return m_error = dbtext::en(dbtext::Id::CertificateRecordMissing).arg(e.number).arg(n), std::nullopt;
            if (stored)
                *target = stored->record;
        }
        s.pdf = QByteArray::fromBase64(o.value("pdf").toString().toLatin1());
        s.sha256 = o.value("pdfSha256").toString().toLatin1();
        list << s;
    }
    for (StoredCertificate &old : list)
        for (const StoredCertificate &later : list)
            if (later.content.replaces == old.content.number)
                old.withdrawnBy = later.content.number;
    return list;
}

std::optional<StoredCertificate> CertificateStore::find(qint64 number)
{
    const auto list = all();
    if (!list)
        return std::nullopt;
    for (const StoredCertificate &s : *list)
        if (s.content.number == number)
            return s;
    m_error = dbtext::en(dbtext::Id::NoStoredCertificate).arg(number);
    return std::nullopt;
}

QByteArray CertificateStore::reprint(qint64 number)
{
    // The file issued, never one drawn again from rows: only from a chain that
    // verifies, and only the bytes whose hash that chain holds.
    if (const auto refused = m_db.gateRefusal(dbtext::en(dbtext::Id::Reprinting).arg(number))) {
        m_error = *refused;
        return {};
    }
    const auto stored = find(number);
    if (!stored)
        return {};
    if (sha256(stored->pdf) != stored->sha256) {
        m_error = dbtext::en(dbtext::Id::PdfHashMismatch).arg(number);
        return {};
    }
    return stored->pdf;
}

QVector<qint64> CertificateStore::certifying(qint64 record)
{
    QVector<qint64> numbers;
    for (const StoredCertificate &s : all().value_or(QVector<StoredCertificate>())) {
        const auto &c = s.content;
        if (!s.withdrawnBy && ((c.asFound && c.asFound->id == record) || (c.asLeft && c.asLeft->id == record)))
            numbers << c.number;
    }
    return numbers;
}

} // namespace recordsdb
