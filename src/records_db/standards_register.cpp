#include "records_db/standards_register.h"

#include <QMap>

namespace recordsdb {

namespace {

const QString kKind = QStringLiteral("standard");
const QString kInService = QStringLiteral("in service");

} // namespace

QJsonObject standardToJson(const Standard &s)
{
    return {{"serial", s.serial.trimmed()}, {"model", s.model.trimmed()}, {"description", s.description},
            {"certificate", s.certificate.trimmed()}, {"calibrated", s.calibrated.toString(Qt::ISODate)},
            {"due", s.due.toString(Qt::ISODate)}, {"status", s.status.trimmed()}};
}

std::optional<Standard> standardFromJson(const QJsonObject &o)
{
    for (const char *key : {"serial", "model", "description", "certificate", "calibrated", "due", "status"}) {
        if (!o.value(key).isString())
            return std::nullopt;
    }
    Standard s{o.value("serial").toString(), o.value("model").toString(), o.value("description").toString(),
               o.value("certificate").toString(), QDate::fromString(o.value("calibrated").toString(), Qt::ISODate),
               QDate::fromString(o.value("due").toString(), Qt::ISODate), o.value("status").toString()};
    if (s.serial.isEmpty() || !s.due.isValid())
        return std::nullopt;
    return s;
}

bool StandardsRegister::save(const Standard &s)
{
    if (s.serial.trimmed().isEmpty() || s.certificate.trimmed().isEmpty() || !s.due.isValid()
        || s.status.trimmed().isEmpty()) {
        m_error = QStringLiteral("a reference standard needs a serial number, a certificate, a due date and a status");
        return false;
    }
    if (s.calibrated.isValid() && s.calibrated > s.due) {
        m_error = QStringLiteral("the calibration date %1 is after the due date %2")
                      .arg(s.calibrated.toString(Qt::ISODate), s.due.toString(Qt::ISODate));
        return false;
    }
    if (m_db.appendEntry(kKind, standardToJson(s)))
        return true;
    m_error = m_db.error();
    return false;
}

QVector<Standard> StandardsRegister::list()
{
    const auto changes = m_db.entries(kKind);
    if (!changes) {
        m_error = m_db.error();
        return {};
    }
    QMap<QString, Standard> current;   // by serial, the newest entry
    for (const ChainEntry &e : *changes) {
        if (const auto s = standardFromJson(e.content))
            current.insert(s->serial, *s);
    }
    return current.values().toVector();
}

std::optional<Standard> StandardsRegister::find(const QString &serial)
{
    for (const Standard &s : list()) {
        if (s.serial == serial.trimmed())
            return s;
    }
    return std::nullopt;
}

std::optional<QString> standardRefusal(const std::optional<Standard> &standard, const QString &serial,
                                       const QDate &today)
{
    if (!standard)
        return QStringLiteral("the reference standard %1 is not in the register (tcal-cli standards save)").arg(serial);
    if (standard->certificate.trimmed().isEmpty())
        return QStringLiteral("the reference standard %1 has no calibration certificate").arg(serial);
    if (!standard->due.isValid() || standard->due < today)
        return QStringLiteral("the reference standard %1 was due for calibration on %2")
            .arg(serial, standard->due.isValid() ? standard->due.toString(Qt::ISODate) : QStringLiteral("—"));
    if (standard->status.trimmed() != kInService)
        return QStringLiteral("the reference standard %1 is %2, not in service").arg(serial, standard->status);
    return std::nullopt;
}

} // namespace recordsdb
