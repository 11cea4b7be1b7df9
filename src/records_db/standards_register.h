#pragma once
// The reference standards a laboratory calibrates with: the calibrators that
// source the reference and the meters that read the loop current, each with
// its own calibration certificate and due date. Each change is a "standard"
// entry of the chain, so the register keeps its history; the newest entry of
// a serial is the standard as it stands. An unattended run asks
// standardRefusal() before it uses the instrument that answered *IDN?.

#include "records_db/record_db.h"

#include <QDate>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVector>
#include <optional>

namespace recordsdb {

// What the standard's own certificate states for one function ("mV", "ohm",
// "mA"), in that unit: U with its k, the correction and the drift per year.
struct CertificateTerms {
    double expanded = 0;
    double coverageFactor = 2;
    double correction = 0;
    double driftPerYear = 0;
};

struct Standard {
    QString serial;            // the key: the serial field of the instrument's *IDN? answer
    QString model;
    QString description;
    QString certificate;
    QDate calibrated;          // invalid: not given
    QDate due;
    QString status = QStringLiteral("in service");
    QMap<QString, CertificateTerms> terms;   // by function; entries written before them have none
};

// "mV:0.004:2:0.001:0.002": function (mV, ohm, mA), U, k, correction, drift per year.
std::optional<std::pair<QString, CertificateTerms>> certificateTermsFrom(const QString &text, QString &why);

QJsonObject standardToJson(const Standard &standard);
// nullopt unless every field is there with its type and the due date is a date.
std::optional<Standard> standardFromJson(const QJsonObject &object);

class StandardsRegister
{
public:
    explicit StandardsRegister(RecordDb &db) : m_db(db) {}

    // Adds the standard or a new state of the one with its serial; false on a
    // missing serial, certificate, due date or status, or a calibration date
    // after the due date.
    bool save(const Standard &standard);
    // The newest entry of that serial; nullopt when none (or unreadable: error()).
    std::optional<Standard> find(const QString &serial);
    // Each standard as it stands, by serial.
    QVector<Standard> list();
    QString error() const { return m_error; }

private:
    RecordDb &m_db;
    QString m_error;
};

// Why a standard may not be used on `today`: not registered, no certificate,
// due date passed (the due day itself still counts), status not "in service";
// nullopt when it may.
std::optional<QString> standardRefusal(const std::optional<Standard> &standard, const QString &serial,
                                       const QDate &today);
// Why the instrument that answered `identity` (*IDN?: maker, model, serial, ...)
// is not the registered `standard`: another serial, or a model that is neither
// the answer's model field nor `modelFile`; nullopt when it is.
std::optional<QString> identityMismatch(const Standard &standard, const QString &identity, const QString &modelFile);

} // namespace recordsdb
