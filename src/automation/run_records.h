#pragma once
// Where an unattended run keeps what it did: each check stored as soon as it
// ends (a draft first, then the records database), the instruments checked
// against the register of standards before they are used, and the
// certificate of a finished run written as a draft awaiting approval.

#include "record/calibration_record.h"
#include "metrology/point_budget.h"
#include "record/certificate.h"
#include "records_db/person_key.h"

#include <QMap>

#include <QDate>
#include <QString>
#include <optional>

namespace recordsdb {
class RecordDb;
}

namespace autocal {

class RunRecords
{
public:
    // `db` may be null: the checks are then kept as drafts only. Every check
    // is signed performed by `performer`, the operator who started the run
    // and unlocked their key once at its start; without one, drafts only.
    RunRecords(recordsdb::RecordDb *db, const QString &folder,
               std::optional<recordsdb::PersonSigner> performer = std::nullopt);
    void setPerformer(const recordsdb::PersonSigner &performer) { m_performer = performer; }

    // Why this instrument may not be used today; fills in its certificate and due date.
    // Refused too when its *IDN? names another serial or model than the register.
    std::optional<QString> checkStandard(record::UsedInstrument &used, const QDate &today);
    // What its certificate states, by function ("mV", "ohm", "mA"), with the
    // years since its calibration for the drift; empty when the register has none.
    QMap<QString, metrology::StandardCalibration> standardTerms(const record::UsedInstrument &used, const QDate &today);
    // Stores the check; its number in the database, 0 when kept as a draft only (error() says why).
    qint64 store(const record::Record &record);
    // The draft certificate of the two checks, as a PDF in the records folder; its path,
    // or empty with error().
    QString writeCertificateDraft(qint64 asFound, qint64 asLeft, const record::Issuer &issuer, int language);
    QString error() const { return m_error; }

private:
    recordsdb::RecordDb *m_db;
    QString m_folder;
    std::optional<recordsdb::PersonSigner> m_performer;
    QString m_error;
};

} // namespace autocal
