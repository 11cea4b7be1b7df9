#include "calibration_record.h"

#include <QJsonArray>

namespace record {

namespace {

const char kFormat[] = "tcal-calibration-record";
constexpr int kVersion = 1;

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
    return {
        {"tag", h.tag}, {"serial", h.serial}, {"description", h.description},
        {"technician", h.technician}, {"reference", h.reference},
        {"referenceDue", h.referenceDue.toString(Qt::ISODate)}, {"ambient", h.ambient},
        {"unit", h.unit},
        {"toleranceKind", h.tolerance.kind == Tolerance::Kind::Degrees ? "degrees" : "percent-of-span"},
        {"tolerance", h.tolerance.value},
        {"rangeLower", h.range.lower}, {"rangeUpper", h.range.upper},
    };
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
    return h;
}

QJsonObject pointToJson(const Point &p)
{
    QJsonObject o{{"reference", p.reference}, {"status", statusKey(p.status)}};
    if (p.status == Point::Status::Recorded) {
        o.insert("reading", p.reading);
        o.insert("time", p.time.toString(Qt::ISODateWithMs));
    }
    if (p.currentMa)
        o.insert("currentMa", *p.currentMa);
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
    Record r{header, stage, started, {}};
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

PointFigures figures(const Point &point, const Header &header)
{
    PointFigures f;
    f.error = error(point.reference, point.reading);
    f.errorPercent = percentOfSpan(f.error, header.range);
    f.expectedMa = expectedCurrentMa(point.reference, header.range);
    bool currentOk = true;
    if (point.currentMa) {
        f.currentErrorMa = *point.currentMa - f.expectedMa;
        currentOk = withinTolerance(currentErrorDegrees(*f.currentErrorMa, header.range),
                                    header.tolerance, header.range);
    }
    f.passed = point.status == Point::Status::Recorded && currentOk
               && withinTolerance(f.error, header.tolerance, header.range);
    return f;
}

Verdict verdict(const Record &record)
{
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
    return {
        {"format", kFormat}, {"version", kVersion}, {"stage", stageKey(record.stage)},
        {"started", record.started.toString(Qt::ISODateWithMs)},
        {"header", headerToJson(record.header)}, {"points", points},
    };
}

std::optional<Record> fromJson(const QJsonObject &object)
{
    if (object.value("format").toString() != QLatin1String(kFormat)
        || object.value("version").toInt() != kVersion)
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
    return r;
}

} // namespace record
