#include "records_db/standards_register.h"
#include "records_db/db_texts.h"

#include <QMap>
#include <QStringList>
#include <cmath>

namespace recordsdb {

namespace {

const QString kKind = QStringLiteral("standard");
const QString kInService = QStringLiteral("in service");

} // namespace

std::optional<std::pair<QString, CertificateTerms>> certificateTermsFrom(const QString &text, QString &why)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 5 || !QStringList{"mV", "ohm", "mA"}.contains(parts.at(0)))
        return why = dbtext::en(dbtext::Id::TermsFormat), std::nullopt;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts.at(i + 1).toDouble(&ok);
        if (!ok || !std::isfinite(v[i]))
            return why = dbtext::en(dbtext::Id::NotANumber).arg(parts.at(i + 1)), std::nullopt;
    }
    if (v[0] < 0 || !(v[1] > 0) || v[3] < 0)
        return why = dbtext::en(dbtext::Id::TermsNegative), std::nullopt;
    return std::make_pair(parts.at(0), CertificateTerms{v[0], v[1], v[2], v[3]});
}

QJsonObject standardToJson(const Standard &s)
{
    QJsonObject o{{"serial", s.serial.trimmed()}, {"model", s.model.trimmed()}, {"description", s.description},
                  {"certificate", s.certificate.trimmed()}, {"calibrated", s.calibrated.toString(Qt::ISODate)},
                  {"due", s.due.toString(Qt::ISODate)}, {"status", s.status.trimmed()}};
    QJsonObject terms;
    for (auto it = s.terms.begin(); it != s.terms.end(); ++it)
        terms.insert(it.key(), QJsonObject{{"U", it->expanded}, {"k", it->coverageFactor},
                                           {"correction", it->correction}, {"drift per year", it->driftPerYear}});
    if (!terms.isEmpty())
        o.insert("certificate terms", terms);
    return o;
}

namespace {

std::optional<CertificateTerms> termsFromJson(const QJsonObject &o)
{
    for (const char *key : {"U", "k", "correction", "drift per year"})
        if (!o.value(key).isDouble() || !std::isfinite(o.value(key).toDouble()))
            return std::nullopt;
    CertificateTerms t{o.value("U").toDouble(), o.value("k").toDouble(), o.value("correction").toDouble(),
                       o.value("drift per year").toDouble()};
    if (t.expanded < 0 || !(t.coverageFactor > 0) || t.driftPerYear < 0)
        return std::nullopt;
    return t;
}

} // namespace

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
    const QJsonObject terms = o.value("certificate terms").toObject();
    for (auto it = terms.begin(); it != terms.end(); ++it) {
        const auto t = termsFromJson(it.value().toObject());
        if (!t)
            return std::nullopt;
        s.terms.insert(it.key(), *t);
    }
    return s;
}

bool StandardsRegister::save(const Standard &s)
{
    if (s.serial.trimmed().isEmpty() || s.certificate.trimmed().isEmpty() || !s.due.isValid()
        || s.status.trimmed().isEmpty()) {
        m_error = dbtext::en(dbtext::Id::StandardNeeds);
        return false;
    }
    if (s.calibrated.isValid() && s.calibrated > s.due) {
        m_error = dbtext::en(dbtext::Id::CalibratedAfterDue)
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
        return dbtext::en(dbtext::Id::StandardNotRegistered).arg(serial);
    if (standard->certificate.trimmed().isEmpty())
        return dbtext::en(dbtext::Id::StandardNoCertificate).arg(serial);
    if (!standard->due.isValid() || standard->due < today)
        return dbtext::en(dbtext::Id::StandardDue)
            .arg(serial, standard->due.isValid() ? standard->due.toString(Qt::ISODate) : QStringLiteral("—"));
    if (standard->status.trimmed() != kInService)
        return dbtext::en(dbtext::Id::StandardNotInService).arg(serial, standard->status);
    return std::nullopt;
}


std::optional<QString> identityMismatch(const Standard &standard, const QString &identity, const QString &modelFile)
{
    const QStringList fields = identity.split(QLatin1Char(','));
    const QString model = fields.size() >= 2 ? fields.at(1).trimmed() : QString();
    const QString serial = fields.size() >= 3 ? fields.at(2).trimmed() : QString();
    if (serial != standard.serial.trimmed())
        return dbtext::en(dbtext::Id::IdnSerial).arg(serial, standard.serial);
    const QString registered = standard.model.trimmed();
    if (registered.compare(model, Qt::CaseInsensitive) != 0 && registered.compare(modelFile, Qt::CaseInsensitive) != 0)
        return dbtext::en(dbtext::Id::IdnModel)
            .arg(standard.serial, registered, model, modelFile);
    return std::nullopt;
}

} // namespace recordsdb
