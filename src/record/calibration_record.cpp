#include "record/calibration_record.h"

#include <QJsonArray>

#include <cmath>

namespace record {

namespace {

const char kFormat[] = "tcal-calibration-record";
constexpr int kVersion = 2;   // 1: no zone on times, fewer header fields

QString statusKey(Point::Status status)
{
    switch (status) {
    case Point::Status::Recorded: return QStringLiteral("recorded");
    case Point::Status::Skipped: return QStringLiteral("skipped");
    case Point::Status::NotStable: return QStringLiteral("not-stable");
    case Point::Status::Pending: break;
    }
    return QStringLiteral("pending");
}

Point::Status statusFromKey(const QString &key)
{
    if (key == QLatin1String("recorded")) return Point::Status::Recorded;
    if (key == QLatin1String("skipped")) return Point::Status::Skipped;
    if (key == QLatin1String("not-stable")) return Point::Status::NotStable;
    return Point::Status::Pending;
}

QJsonObject headerToJson(const Header &h)
{
    QJsonObject o{
        {"tag", h.tag}, {"serial", h.serial}, {"description", h.description},
        {"technician", h.technician}, {"reference", h.reference},
        {"referenceDue", h.referenceDue.toString(Qt::ISODate)}, {"ambient", h.ambient},
        {"unit", h.unit},
        {"toleranceKind", h.tolerance.kind == Tolerance::Kind::Degrees ? "degrees" : "percent-of-span"},
        {"tolerance", h.tolerance.value},
        {"rangeLower", h.range.lower}, {"rangeUpper", h.range.upper},
        {"resolution", h.resolution},
        {"uncertainty", h.uncertainty ? QJsonValue(*h.uncertainty) : QJsonValue()},
        {"laboratory", h.laboratory}, {"procedure", h.procedure}, {"inputType", h.inputType},
        {"address", h.address}, {"referenceCertificate", h.referenceCertificate},
        {"referenceOverride", h.referenceOverride},
    };
    // Written only when they differ from what older records meant: those hash as they always did.
    if (h.decisionRule.kind != metrology::DecisionRule::Kind::Guarded || h.decisionRule.guardFactor != 1.0)
        o.insert("decisionRule", QJsonObject{{"kind", QString::fromStdString(metrology::ruleKey(h.decisionRule.kind))},
                                             {"guardFactor", h.decisionRule.guardFactor}});
    if (h.currentToleranceMa)
        o.insert("currentToleranceMa", *h.currentToleranceMa);
    if (!h.ambientSource.isEmpty())
        o.insert("ambientSource", h.ambientSource);
    if (const auto &m = h.currentMeter)
        o.insert("currentMeter", QJsonObject{{"percentOfReading", m->percentOfReading}, {"floorMa", m->floorMa},
                                             {"resolutionMa", m->resolutionMa}, {"certificateMa", m->certificateMa},
                                             {"certificateK", m->certificateK}});
    return o;
}

QString utcText(const QDateTime &t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODateWithMs) : QString();
}

Header headerFromJson(const QJsonObject &o)
{
    Header h;
    h.tag = o.value("tag").toString();
    h.serial = o.value("serial").toString();
    h.description = o.value("description").toString();
    h.technician = o.value("technician").toString();
    h.reference = o.value("reference").toString();
    h.referenceDue = QDate::fromString(o.value("referenceDue").toString(), Qt::ISODate);
    h.ambient = o.value("ambient").toString();
    h.unit = o.value("unit").toString();
    h.tolerance.kind = o.value("toleranceKind").toString() == QLatin1String("percent-of-span")
                           ? Tolerance::Kind::PercentOfSpan : Tolerance::Kind::Degrees;
    h.tolerance.value = o.value("tolerance").toDouble();
    h.range = {o.value("rangeLower").toDouble(), o.value("rangeUpper").toDouble()};
    h.resolution = o.value("resolution").toDouble(0.1);
    if (o.value("uncertainty").isDouble())
        h.uncertainty = o.value("uncertainty").toDouble();
    h.laboratory = o.value("laboratory").toString();
    h.procedure = o.value("procedure").toString();
    h.inputType = o.value("inputType").toString();
    h.address = o.value("address").toInt();
    h.referenceCertificate = o.value("referenceCertificate").toString();
    h.referenceOverride = o.value("referenceOverride").toString();
    const QJsonObject rule = o.value("decisionRule").toObject();
    if (const auto kind = metrology::ruleKind(rule.value("kind").toString().toStdString()))
        h.decisionRule = {*kind, rule.value("guardFactor").toDouble(1.0)};
    if (o.value("currentToleranceMa").isDouble())
        h.currentToleranceMa = o.value("currentToleranceMa").toDouble();
    h.ambientSource = o.value("ambientSource").toString();
    if (o.value("currentMeter").isObject()) {
        const QJsonObject m = o.value("currentMeter").toObject();
        h.currentMeter = MeterTerms{m.value("percentOfReading").toDouble(), m.value("floorMa").toDouble(),
                                    m.value("resolutionMa").toDouble(), m.value("certificateMa").toDouble(),
                                    m.value("certificateK").toDouble(2.0)};
    }
    return h;
}

QJsonArray budgetToJson(const QVector<PointUncertainty::Line> &lines)
{
    QJsonArray a;
    for (const auto &l : lines) {
        QJsonObject o{{"name", l.name}, {"distribution", l.distribution}, {"sensitivity", l.sensitivity},
                      {"inputUnit", l.inputUnit}, {"u", l.standardUncertainty}};
        if (std::isfinite(l.degreesOfFreedom))
            o.insert("degreesOfFreedom", l.degreesOfFreedom);
        if (l.bias != 0)
            o.insert("bias", l.bias);
        a.append(o);
    }
    return a;
}

QVector<PointUncertainty::Line> budgetFromJson(const QJsonArray &a)
{
    QVector<PointUncertainty::Line> lines;
    for (const QJsonValue &v : a) {
        const QJsonObject o = v.toObject();
        PointUncertainty::Line l;
        l.name = o.value("name").toString();
        l.distribution = o.value("distribution").toString();
        l.sensitivity = o.value("sensitivity").toDouble(1.0);
        l.inputUnit = o.value("inputUnit").toString();
        l.standardUncertainty = o.value("u").toDouble();
        if (o.value("degreesOfFreedom").isDouble())
            l.degreesOfFreedom = o.value("degreesOfFreedom").toDouble();
        l.bias = o.value("bias").toDouble();
        lines << l;
    }
    return lines;
}

// Infinite degrees of freedom are written as no key at all.
QJsonObject uncertaintyToJson(const PointUncertainty &u)
{
    QJsonObject o{{"expanded", u.expanded}, {"coverageFactor", u.coverageFactor}};
    if (std::isfinite(u.effectiveDegreesOfFreedom))
        o.insert("effectiveDegreesOfFreedom", u.effectiveDegreesOfFreedom);
    if (u.currentExpandedMa) {
        o.insert("currentExpandedMa", *u.currentExpandedMa);
        o.insert("currentCoverageFactor", u.currentCoverageFactor);
        if (std::isfinite(u.currentEffectiveDegreesOfFreedom))
            o.insert("currentEffectiveDegreesOfFreedom", u.currentEffectiveDegreesOfFreedom);
    }
    if (!u.budget.isEmpty())
        o.insert("budget", budgetToJson(u.budget));
    if (!u.currentBudget.isEmpty())
        o.insert("currentBudget", budgetToJson(u.currentBudget));
    return o;
}

PointUncertainty uncertaintyFromJson(const QJsonObject &o)
{
    PointUncertainty u;
    u.expanded = o.value("expanded").toDouble();
    u.coverageFactor = o.value("coverageFactor").toDouble(2.0);
    if (o.value("effectiveDegreesOfFreedom").isDouble())
        u.effectiveDegreesOfFreedom = o.value("effectiveDegreesOfFreedom").toDouble();
    if (o.value("currentExpandedMa").isDouble())
        u.currentExpandedMa = o.value("currentExpandedMa").toDouble();
    u.currentCoverageFactor = o.value("currentCoverageFactor").toDouble(2.0);
    if (o.value("currentEffectiveDegreesOfFreedom").isDouble())
        u.currentEffectiveDegreesOfFreedom = o.value("currentEffectiveDegreesOfFreedom").toDouble();
    u.budget = budgetFromJson(o.value("budget").toArray());
    u.currentBudget = budgetFromJson(o.value("currentBudget").toArray());
    return u;
}

QJsonObject usedInstrumentToJson(const UsedInstrument &i)
{
    return {{"role", i.role}, {"model", i.model}, {"identity", i.identity}, {"serial", i.serial},
            {"certificate", i.certificate}, {"due", i.due.toString(Qt::ISODate)}};
}

UsedInstrument usedInstrumentFromJson(const QJsonObject &o)
{
    return {o.value("role").toString(), o.value("model").toString(), o.value("identity").toString(),
            o.value("serial").toString(), o.value("certificate").toString(),
            QDate::fromString(o.value("due").toString(), Qt::ISODate)};
}

QJsonObject pointToJson(const Point &p)
{
    QJsonObject o{{"reference", p.reference}, {"status", statusKey(p.status)}};
    if (p.status == Point::Status::Recorded) {
        o.insert("reading", p.reading);
        o.insert("time", utcText(p.time));
    }
    if (p.currentMa)
        o.insert("currentMa", *p.currentMa);
    if (p.uncertainty)
        o.insert("uncertainty", uncertaintyToJson(*p.uncertainty));
    return o;
}

Point pointFromJson(const QJsonObject &o)
{
    Point p;
    p.reference = o.value("reference").toDouble();
    p.status = statusFromKey(o.value("status").toString());
    p.reading = o.value("reading").toDouble();
    p.time = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
    if (o.contains("currentMa"))
        p.currentMa = o.value("currentMa").toDouble();
    if (o.value("uncertainty").isObject())
        p.uncertainty = uncertaintyFromJson(o.value("uncertainty").toObject());
    return p;
}

} // namespace

QString stageKey(Stage stage)
{
    return stage == Stage::AsFound ? QStringLiteral("as-found") : QStringLiteral("as-left");
}

Record newRecord(const Header &header, Stage stage, const QVector<double> &references,
                 const QDateTime &started)
{
    Record r;
    r.header = header;
    r.stage = stage;
    r.started = started;
    for (double reference : references) {
        Point p;
        p.reference = reference;
        r.points << p;
    }
    return r;
}

void setTypedCurrent(Record &record, int index, std::optional<double> currentMa)
{
    if (index >= 0 && index < record.points.size())
        record.points[index].currentMa = currentMa;
}

ReferenceState referenceState(const Header &header, const QDate &today)
{
    if (!header.referenceDue.isValid())
        return ReferenceState::Missing;
    return header.referenceDue < today ? ReferenceState::Expired : ReferenceState::Valid;
}

double pointUncertainty(const Point &point, const Header &header)
{
    if (point.uncertainty)
        return point.uncertainty->expanded;
    return header.uncertainty.value_or(0.0);
}

QString localTimeText(const QDateTime &time, bool seconds)
{
    if (!time.isValid())
        return QString();
    const QDateTime local = time.toLocalTime();
    const int offset = local.offsetFromUtc();
    const QString zone = QStringLiteral("%1%2:%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(qAbs(offset) / 3600, 2, 10, QLatin1Char('0'))
                             .arg(qAbs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
    return local.toString(seconds ? QStringLiteral("yyyy-MM-dd HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm"))
           + QLatin1Char(' ') + zone;
}

Verdict verdict(const Record &record)
{
    if (!record.incompleteReason.isEmpty())
        return Verdict::Incomplete;
    bool complete = !record.points.isEmpty();
    for (const Point &p : record.points) {
        if (p.status != Point::Status::Recorded)
            complete = false;
        else if (!figures(p, record.header).passed)
            return Verdict::Fail;
    }
    return complete ? Verdict::Pass : Verdict::Incomplete;
}

QJsonObject toJson(const Record &record)
{
    QJsonArray points;
    for (const Point &p : record.points)
        points.append(pointToJson(p));
    QJsonObject o{
        {"format", kFormat}, {"version", kVersion}, {"stage", stageKey(record.stage)},
        {"started", utcText(record.started)},
        {"header", headerToJson(record.header)}, {"points", points},
    };
    if (!record.configuration.isEmpty())
        o.insert("configuration", record.configuration);
    if (const auto &a = record.amendment)
        o.insert("amends", QJsonObject{{"supersedes", a->supersedes}, {"reason", a->reason},
                                       {"author", a->author}});
    // Written only when there: records without them hash as they always did.
    if (!record.instruments.isEmpty()) {
        QJsonArray used;
        for (const UsedInstrument &i : record.instruments)
            used.append(usedInstrumentToJson(i));
        o.insert("instruments", used);
    }
    if (!record.incompleteReason.isEmpty())
        o.insert("incompleteReason", record.incompleteReason);
    if (record.adjusted)
        o.insert("adjusted", *record.adjusted);
    return o;
}

std::optional<Record> fromJson(const QJsonObject &object)
{
    if (object.value("format").toString() != QLatin1String(kFormat)
        || object.value("version").toInt() < 1 || object.value("version").toInt() > kVersion)
        return std::nullopt;
    const QString stage = object.value("stage").toString();
    if (stage != stageKey(Stage::AsFound) && stage != stageKey(Stage::AsLeft))
        return std::nullopt;
    Record r;
    r.stage = stage == stageKey(Stage::AsFound) ? Stage::AsFound : Stage::AsLeft;
    r.started = QDateTime::fromString(object.value("started").toString(), Qt::ISODateWithMs);
    r.header = headerFromJson(object.value("header").toObject());
    for (const QJsonValue &v : object.value("points").toArray())
        r.points << pointFromJson(v.toObject());
    r.configuration = object.value("configuration").toObject();
    if (object.contains("amends")) {
        const QJsonObject a = object.value("amends").toObject();
        r.amendment = Amendment{qint64(a.value("supersedes").toDouble()), a.value("reason").toString(),
                                a.value("author").toString()};
    }
    for (const QJsonValue &v : object.value("instruments").toArray())
        r.instruments << usedInstrumentFromJson(v.toObject());
    r.incompleteReason = object.value("incompleteReason").toString();
    if (object.value("adjusted").isBool())
        r.adjusted = object.value("adjusted").toBool();
    return r;
}

} // namespace record
