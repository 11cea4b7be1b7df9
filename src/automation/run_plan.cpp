#include "automation/run_plan.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <cmath>
#include <type_traits>

namespace autocal {

namespace {

constexpr qint64 kLargestFile = 64 * 1024;
constexpr int kMostPoints = 21;

const QSet<QString> kPlanKeys{"name", "points", "points are", "tolerance", "tolerance is", "stability",
                              "adjust", "room sensor limit"};
const QSet<QString> kStabilityKeys{"band", "band mA", "samples", "interval ms", "timeout s"};

std::optional<QString> unknownKey(const QJsonObject &o, const QSet<QString> &known)
{
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!known.contains(it.key()))
            return it.key();
    return std::nullopt;
}

// A finite number in [low, high], or nullopt with `why` naming `key`.
std::optional<double> number(const QJsonValue &v, const QString &key, double low, double high, QString &why)
{
    if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() < low || v.toDouble() > high) {
        why = QStringLiteral("\"%1\" must be a number from %2 to %3").arg(key).arg(low).arg(high);
        return std::nullopt;
    }
    return v.toDouble();
}

bool readSettling(const QJsonObject &o, Settling &s, QString &why)
{
    if (const auto key = unknownKey(o, kStabilityKeys))
        return why = QStringLiteral("unknown key \"stability.%1\"").arg(*key), false;
    auto take = [&](const char *key, double low, double high, auto &into, double scale) {
        if (!o.contains(key))
            return true;
        const auto v = number(o.value(key), QString::fromUtf8(key), low, high, why);
        if (v)
            into = std::remove_reference_t<decltype(into)>(*v * scale);
        return v.has_value();
    };
    return take("band", 1e-4, 100.0, s.band, 1.0) && take("band mA", 1e-5, 1.0, s.bandMa, 1.0)
        && take("samples", 2, 100, s.samples, 1.0) && take("interval ms", 100, 60000, s.intervalMs, 1.0)
        && take("timeout s", 1, 3600, s.timeoutMs, 1000.0);
}

bool readPoints(const QJsonObject &o, RunPlan &plan, QString &why)
{
    const QString are = o.value("points are").toString(QStringLiteral("percent of range"));
    if (are != "percent of range" && are != "degrees")
        return why = QStringLiteral("\"points are\" must be \"percent of range\" or \"degrees\""), false;
    plan.percent = are == "percent of range";
    const QJsonArray points = o.value("points").toArray();
    if (points.isEmpty() || points.size() > kMostPoints)
        return why = QStringLiteral("\"points\" must list 1 to %1 numbers").arg(kMostPoints), false;
    for (const QJsonValue &v : points) {
        const auto p = plan.percent ? number(v, "points", 0.0, 100.0, why) : number(v, "points", -270.0, 1820.0, why);
        if (!p)
            return false;
        plan.points << *p;
    }
    return true;
}

bool readTolerance(const QJsonObject &o, RunPlan &plan, QString &why)
{
    const QString is = o.value("tolerance is").toString(QStringLiteral("degrees"));
    if (is != "degrees" && is != "percent of span")
        return why = QStringLiteral("\"tolerance is\" must be \"degrees\" or \"percent of span\""), false;
    plan.tolerance.kind = is == "degrees" ? record::Tolerance::Kind::Degrees : record::Tolerance::Kind::PercentOfSpan;
    const auto t = number(o.value("tolerance"), "tolerance", 1e-3, 100.0, why);
    if (t)
        plan.tolerance.value = *t;
    return t.has_value();
}

bool readAdjust(const QJsonObject &o, RunPlan &plan, QString &why)
{
    const QString adjust = o.value("adjust").toString(QStringLiteral("when failed"));
    for (Adjust a : {Adjust::WhenFailed, Adjust::Always, Adjust::Never})
        if (adjustKey(a) == adjust)
            return plan.adjust = a, true;
    why = QStringLiteral("\"adjust\" must be \"when failed\", \"always\" or \"never\"");
    return false;
}

// "0.5" or "0.5%": the number and whether it carried the sign.
std::optional<std::pair<double, bool>> optionNumber(QString text)
{
    text = text.trimmed();
    const bool percent = text.endsWith('%');
    if (percent)
        text.chop(1);
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return std::make_pair(v, percent);
}

} // namespace

QString adjustKey(Adjust adjust)
{
    switch (adjust) {
    case Adjust::Always: return QStringLiteral("always");
    case Adjust::Never: return QStringLiteral("never");
    case Adjust::WhenFailed: break;
    }
    return QStringLiteral("when failed");
}

QVector<double> pointTemperatures(const RunPlan &plan, const record::Range &range)
{
    return plan.percent ? record::testPoints(range, plan.points) : plan.points;
}

std::optional<RunPlan> planFromJson(const QJsonObject &o, QString &why)
{
    if (const auto key = unknownKey(o, kPlanKeys))
        return why = QStringLiteral("unknown key \"%1\"").arg(*key), std::nullopt;
    RunPlan plan;
    plan.name = o.value("name").toString();
    if (!readPoints(o, plan, why) || !readTolerance(o, plan, why) || !readAdjust(o, plan, why))
        return std::nullopt;
    if (o.contains("stability") && !readSettling(o.value("stability").toObject(), plan.settling, why))
        return std::nullopt;
    if (o.contains("room sensor limit")) {
        const auto r = number(o.value("room sensor limit"), "room sensor limit", 0.0, 10.0, why);
        if (!r)
            return std::nullopt;
        plan.roomSensorLimit = *r;
    }
    return plan;
}

std::optional<RunPlan> readPlan(const QString &path, QString &why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return why = QStringLiteral("%1: %2").arg(path, file.errorString()), std::nullopt;
    if (file.size() > kLargestFile)
        return why = QStringLiteral("%1: larger than a procedure can be").arg(path), std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (!doc.isObject())
        return why = QStringLiteral("%1: not a JSON object (%2)").arg(path, error.errorString()), std::nullopt;
    auto plan = planFromJson(doc.object(), why);
    if (!plan)
        why = QStringLiteral("%1: %2").arg(path, why);
    else if (plan->name.isEmpty())
        plan->name = QFileInfo(path).completeBaseName();
    return plan;
}

QJsonObject planToJson(const RunPlan &plan)
{
    QJsonArray points;
    for (double p : plan.points)
        points << p;
    const Settling &s = plan.settling;
    return {{"name", plan.name},
            {"points", points},
            {"points are", plan.percent ? "percent of range" : "degrees"},
            {"tolerance", plan.tolerance.value},
            {"tolerance is", plan.tolerance.kind == record::Tolerance::Kind::Degrees ? "degrees" : "percent of span"},
            {"stability", QJsonObject{{"band", s.band}, {"band mA", s.bandMa}, {"samples", s.samples},
                                      {"interval ms", s.intervalMs}, {"timeout s", s.timeoutMs / 1000.0}}},
            {"adjust", adjustKey(plan.adjust)},
            {"room sensor limit", plan.roomSensorLimit}};
}

std::optional<RunPlan> planFromOptions(const QString &points, const QString &tolerance, QString &why)
{
    QJsonArray list;
    int percents = 0;
    const QStringList items = points.split(',', Qt::SkipEmptyParts);
    for (const QString &item : items) {
        const auto v = optionNumber(item);
        if (!v)
            return why = QStringLiteral("--points: \"%1\" is not a number").arg(item.trimmed()), std::nullopt;
        list << v->first;
        percents += v->second ? 1 : 0;
    }
    if (percents != 0 && percents != list.size())
        return why = QStringLiteral("--points: either every point is a percentage or none is"), std::nullopt;
    const auto t = optionNumber(tolerance);
    if (!t)
        return why = QStringLiteral("--tolerance: \"%1\" is not a number").arg(tolerance), std::nullopt;
    QJsonObject o{{"name", QStringLiteral("points %1, tolerance %2").arg(points, tolerance)},
                  {"points", list},
                  {"points are", percents ? "percent of range" : "degrees"},
                  {"tolerance", t->first},
                  {"tolerance is", t->second ? "percent of span" : "degrees"}};
    return planFromJson(o, why);
}

} // namespace autocal
