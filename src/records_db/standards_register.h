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
#include <QString>
#include <QVector>
#include <optional>

namespace recordsdb {

struct Standard {
    QString serial;            // the key: the serial field of the instrument's *IDN? answer
    QString model;
    QString description;
    QString certificate;
    QDate calibrated;          // invalid: not given
    QDate due;
    QString status = QStringLiteral("in service");
};

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

} // namespace recordsdb
