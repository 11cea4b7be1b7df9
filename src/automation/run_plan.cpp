#include "automation/run_plan.h"

#include "texts/engine_texts.h"

#include "record/record_validation.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <cmath>
#include <type_traits>

namespace autocal {

namespace {

using enginetext::Id;
const auto en = enginetext::english;

constexpr qint64 kLargestFile = 64 * 1024;
constexpr int kMostPoints = 21;

const QSet<QString> kPlanKeys{"name", "points", "points are", "tolerance", "tolerance is", "stability",
                              "adjust", "room sensor limit", "room sensor limit is measured", "decision rule",
                              "guard factor", "tolerance mA", "thermal EMF uV", "lead resistance ohm", "repeats"};
const QSet<QString> kStabilityKeys{"band", "band mA", "samples", "interval ms", "timeout s"};

std::optional<QString> unknownKey(const QJsonObject &o, const QSet<QString> &known)
{
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!known.contains(it.key()))
            return it.key();
    return std::nullopt;
}

// A whole number in [low, high], or nullopt with `why` naming `key`: 2.5 samples are not 2.
std::optional<int> whole(const QJsonValue &v, const QString &key, int low, int high, QString &why)
{
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || !std::isfinite(d) || d != std::floor(d) || d < low || d > high) {
        why = en(Id::WholeNumberFromTo).arg(key).arg(low).arg(high);
        return std::nullopt;
    }
    return int(d);
}

// A finite number in [low, high], or nullopt with `why` naming `key`.
std::optional<double> number(const QJsonValue &v, const QString &key, double low, double high, QString &why)
{
    if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() < low || v.toDouble() > high) {
        why = en(Id::NumberFromTo).arg(key).arg(low).arg(high);
        return std::nullopt;
    }
    return v.toDouble();
}

bool readSettling(const QJsonObject &o, Settling &s, QString &why)
{
    if (const auto key = unknownKey(o, kStabilityKeys))
        return why = en(Id::UnknownKey).arg("stability." + *key), false;
    auto take = [&](const char *key, double low, double high, auto &into, double scale) {
        if (!o.contains(key))
            return true;
        const auto v = number(o.value(key), QString::fromUtf8(key), low, high, why);
        if (v)
            into = std::remove_reference_t<decltype(into)>(*v * scale);
        return v.has_value();
    };
    if (o.contains("samples")) {
        const auto n = whole(o.value("samples"), "samples", 2, 100, why);
        if (!n)
            return false;
        s.samples = *n;
    }
    if (!(take("band", 1e-4, 100.0, s.band, 1.0) && take("band mA", 1e-5, 1.0, s.bandMa, 1.0)
          && take("interval ms", 100, 60000, s.intervalMs, 1.0) && take("timeout s", 1, 3600, s.timeoutMs, 1000.0)))
        return false;
    // A point that settles at once still takes its samples' time.
    const qint64 needed = qint64(s.samples) * s.intervalMs;
    if (s.timeoutMs < needed)
        return why = en(Id::TimeoutShorter)
                         .arg(s.timeoutMs / 1000.0).arg(needed / 1000.0), false;
    return true;
}

bool readPoints(const QJsonObject &o, RunPlan &plan, QString &why)
{
    const QString are = o.value("points are").toString(QStringLiteral("percent of range"));
    if (are != "percent of range" && are != "degrees")
        return why = en(Id::OneOfTwo).arg("points are", "percent of range", "degrees"), false;
    plan.percent = are == "percent of range";
    const QJsonArray points = o.value("points").toArray();
    if (points.isEmpty() || points.size() > kMostPoints)
        return why = en(Id::PointsCount).arg(kMostPoints), false;
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
        return why = en(Id::OneOfTwo).arg("tolerance is", "degrees", "percent of span"), false;
    plan.tolerance.kind = is == "degrees" ? record::Tolerance::Kind::Degrees : record::Tolerance::Kind::PercentOfSpan;
    // ± half the span is the widest tolerance that still says something.
    const double widest = plan.tolerance.kind == record::Tolerance::Kind::PercentOfSpan ? 50.0 : 1000.0;
    const auto t = number(o.value("tolerance"), "tolerance", 1e-3, widest, why);
    if (t)
        plan.tolerance.value = *t;
    if (t && o.contains("tolerance mA")) {
        const auto ma = number(o.value("tolerance mA"), "tolerance mA", 1e-4, 8.0, why);
        if (!ma)
            return false;
        plan.toleranceMa = *ma;
    }
    return t.has_value();
}

bool readDecisionRule(const QJsonObject &o, RunPlan &plan, QString &why)
{
    if (o.contains("decision rule")) {
        const auto kind = metrology::ruleKind(o.value("decision rule").toString().toStdString());
        if (!kind)
            return why = en(Id::OneOfThree).arg("decision rule", "simple acceptance", "guarded acceptance", "non-binary"), false;
        plan.decisionRule.kind = *kind;
    }
    if (o.contains("guard factor")) {
        const auto r = number(o.value("guard factor"), "guard factor", 0.0, 3.0, why);
        if (!r)
            return false;
        plan.decisionRule.guardFactor = *r;
    }
    return true;
}

// The budget's inputs a laboratory sets: each given limit is used as stated,
// and a room sensor limit of 0 only when it is stated as measured.
bool readBudgetInputs(const QJsonObject &o, RunPlan &plan, QString &why)
{
    if (o.contains("room sensor limit is measured")) {
        if (!o.value("room sensor limit is measured").isBool())
            return why = en(Id::TrueOrFalse).arg("room sensor limit is measured"), false;
        plan.roomSensorLimitMeasured = o.value("room sensor limit is measured").toBool();
    }
    if (o.contains("room sensor limit")) {
        const auto r = number(o.value("room sensor limit"), "room sensor limit", 0.0, 10.0, why);
        if (!r)
            return false;
        plan.roomSensorLimit = *r;
    }
    if (plan.roomSensorLimit == 0.0 && !plan.roomSensorLimitMeasured)
        return why = en(Id::RoomLimitZero), false;
    if (o.contains("thermal EMF uV")) {
        const auto e = number(o.value("thermal EMF uV"), "thermal EMF uV", 0.0, 100.0, why);
        if (!e)
            return false;
        plan.thermalEmfMicrovolts = *e;
    }
    if (o.contains("lead resistance ohm")) {
        const auto r = number(o.value("lead resistance ohm"), "lead resistance ohm", 0.0, 10.0, why);
        if (!r)
            return false;
        plan.leadResistanceOhms = *r;
    }
    if (o.contains("repeats")) {
        const auto n = whole(o.value("repeats"), "repeats", 1, 10, why);
        if (!n)
            return false;
        plan.repeats = *n;
    }
    return true;
}

bool readAdjust(const QJsonObject &o, RunPlan &plan, QString &why)
{
    const QString adjust = o.value("adjust").toString(QStringLiteral("when failed"));
    for (Adjust a : {Adjust::WhenFailed, Adjust::Always, Adjust::Never})
        if (adjustKey(a) == adjust)
            return plan.adjust = a, true;
    why = en(Id::OneOfThree).arg("adjust", "when failed", "always", "never");
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
        return why = en(Id::UnknownKey).arg(*key), std::nullopt;
    RunPlan plan;
    plan.name = o.value("name").toString();
    if (!readPoints(o, plan, why) || !readTolerance(o, plan, why) || !readAdjust(o, plan, why)
        || !readDecisionRule(o, plan, why) || !readBudgetInputs(o, plan, why))
        return std::nullopt;
    if (o.contains("stability") && !readSettling(o.value("stability").toObject(), plan.settling, why))
        return std::nullopt;
    return plan;
}

std::optional<RunPlan> readPlan(const QString &path, QString &why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return why = en(Id::At).arg(path, file.errorString()), std::nullopt;
    if (file.size() > kLargestFile)
        return why = en(Id::At).arg(path, en(Id::LargerThanProcedure)), std::nullopt;
    auto plan = planFromText(file.readAll(), why);
    if (!plan)
        why = en(Id::At).arg(path, why);
    else if (plan->name.isEmpty())
        plan->name = QFileInfo(path).completeBaseName();
    return plan;
}

std::optional<RunPlan> planFromText(const QByteArray &json, QString &why)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (!doc.isObject())
        return why = error.error == QJsonParseError::NoError ? en(Id::NotJsonObject)
                                                             : en(Id::NotJsonObjectBecause).arg(error.errorString()),
               std::nullopt;
    if (record::hasDuplicateKeys(json))
        return why = en(Id::KeyTwice), std::nullopt;
    return planFromJson(doc.object(), why);
}

std::optional<QString> planProblemFor(const RunPlan &plan, const record::Range &range)
{
    for (double t : pointTemperatures(plan, range))
        if (!(t >= range.lower && t <= range.upper))
            return en(Id::OutsideRange).arg(t).arg(range.lower).arg(range.upper);
    if (2.0 * record::toleranceDegrees(plan.tolerance, range) > range.span())
        return en(Id::ToleranceTooWide)
            .arg(record::toleranceDegrees(plan.tolerance, range));
    return std::nullopt;
}

QJsonObject planToJson(const RunPlan &plan)
{
    QJsonArray points;
    for (double p : plan.points)
        points << p;
    const Settling &s = plan.settling;
    QJsonObject o{{"name", plan.name},
            {"points", points},
            {"points are", plan.percent ? "percent of range" : "degrees"},
            {"tolerance", plan.tolerance.value},
            {"tolerance is", plan.tolerance.kind == record::Tolerance::Kind::Degrees ? "degrees" : "percent of span"},
            {"stability", QJsonObject{{"band", s.band}, {"band mA", s.bandMa}, {"samples", s.samples},
                                      {"interval ms", s.intervalMs}, {"timeout s", s.timeoutMs / 1000.0}}},
            {"adjust", adjustKey(plan.adjust)},
            {"room sensor limit", plan.roomSensorLimit},
            {"room sensor limit is measured", plan.roomSensorLimitMeasured},
            {"decision rule", QString::fromStdString(metrology::ruleKey(plan.decisionRule.kind))},
            {"guard factor", plan.decisionRule.guardFactor},
            {"lead resistance ohm", plan.leadResistanceOhms},
            {"repeats", plan.repeats}};
    if (plan.toleranceMa)
        o.insert("tolerance mA", *plan.toleranceMa);
    if (plan.thermalEmfMicrovolts)
        o.insert("thermal EMF uV", *plan.thermalEmfMicrovolts);
    return o;
}

std::optional<RunPlan> planFrom(const QString &file, const QString &points, const QString &tolerance, QString &why)
{
    return file.trimmed().isEmpty() ? planFromOptions(points, tolerance, why) : readPlan(file.trimmed(), why);
}

std::optional<RunPlan> planFromOptions(const QString &points, const QString &tolerance, QString &why)
{
    QJsonArray list;
    int percents = 0;
    const QStringList items = points.split(',', Qt::SkipEmptyParts);
    for (const QString &item : items) {
        const auto v = optionNumber(item);
        if (!v)
            return why = en(Id::PointsNotNumber).arg(item.trimmed()), std::nullopt;
        list << v->first;
        percents += v->second ? 1 : 0;
    }
    if (percents != 0 && percents != list.size())
        return why = en(Id::PointsMixed), std::nullopt;
    const auto t = optionNumber(tolerance);
    if (!t)
        return why = en(Id::ToleranceNotNumber).arg(tolerance), std::nullopt;
    QJsonObject o{{"name", QStringLiteral("points %1, tolerance %2").arg(points, tolerance)},
                  {"points", list},
                  {"points are", percents ? "percent of range" : "degrees"},
                  {"tolerance", t->first},
                  {"tolerance is", t->second ? "percent of span" : "degrees"}};
    return planFromJson(o, why);
}

} // namespace autocal
