#include "automation/run_records.h"
#include "texts/engine_texts.h"

#include "records_db/certificate_store.h"
#include "records_db/draft_store.h"
#include "records_db/record_db.h"
#include "records_db/standards_register.h"

#include <QDir>
#include <QFile>

namespace autocal {

RunRecords::RunRecords(recordsdb::RecordDb *db, const QString &folder, std::optional<recordsdb::PersonSigner> performer)
    : m_db(db), m_folder(folder), m_performer(std::move(performer))
{
}

std::optional<QString> RunRecords::checkStandard(record::UsedInstrument &used, const QDate &today)
{
    if (!m_db)
        return enginetext::english(enginetext::Id::NoRecordsForCertificate);
    recordsdb::StandardsRegister standards(*m_db);
    const auto standard = standards.find(used.serial);
    if (const auto refusal = recordsdb::standardRefusal(standard, used.serial, today))
        return refusal;
    if (const auto mismatch = recordsdb::identityMismatch(*standard, used.identity, used.model))
        return mismatch;
    used.certificate = standard->certificate;
    used.due = standard->due;
    return std::nullopt;
}

QMap<QString, metrology::StandardCalibration> RunRecords::standardTerms(const record::UsedInstrument &used,
                                                                        const QDate &today)
{
    QMap<QString, metrology::StandardCalibration> out;
    if (!m_db)
        return out;
    const auto standard = recordsdb::StandardsRegister(*m_db).find(used.serial);
    if (!standard)
        return out;
    // Drift from the calibration date; a year since the certificate when it is not given.
    const double years = standard->calibrated.isValid() ? std::max(0.0, standard->calibrated.daysTo(today) / 365.25) : 1.0;
    for (auto it = standard->terms.begin(); it != standard->terms.end(); ++it)
        out.insert(it.key(), {it->expanded, it->coverageFactor, it->correction, it->driftPerYear, years});
    return out;
}

qint64 RunRecords::store(const record::Record &record)
{
    const recordsdb::DraftStore::Saved saved = recordsdb::DraftStore(m_folder).save(m_db, record, m_performer ? &*m_performer : nullptr,
                                                                                      QStringLiteral("operator"));
    m_error = saved.error;
    return saved.number.value_or(0);
}

QString RunRecords::writeCertificateDraft(qint64 asFound, qint64 asLeft, const record::Issuer &issuer, int language)
{
    if (!m_db || !asFound || !asLeft)
        return m_error = enginetext::english(enginetext::Id::BothChecksNeeded), QString();
    recordsdb::IssueRequest request;
    request.asFound = asFound;
    request.asLeft = asLeft;
    request.issuer = issuer;
    request.language = language;
    recordsdb::CertificateStore store(*m_db);
    const auto content = store.prepare(request);
    if (!content)
        return m_error = store.error(), QString();
    const QString path = QDir(m_folder).filePath(QStringLiteral("certificate-draft-%1-%2.pdf").arg(asFound).arg(asLeft));
    if (!record::writeCertificate(path, *content))
        return m_error = enginetext::english(enginetext::Id::CouldNotBeWritten).arg(path), QString();
    return path;
}

} // namespace autocal
