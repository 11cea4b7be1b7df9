#include "record/record_validation.h"

#include "metrology/decision_rule.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QVector>

#include <cmath>

namespace record {

namespace {

bool finiteNumber(const QJsonValue &v)
{
    return v.isDouble() && std::isfinite(v.toDouble());
}

bool timeText(const QJsonValue &v)
{
    return v.isString() && QDateTime::fromString(v.toString(), Qt::ISODateWithMs).isValid();
}

bool recordableResolution(double resolution)
{
    for (double r : {1.0, 0.1, 0.01, 0.001, 0.0001})
        if (std::abs(resolution - r) <= r * 1e-9)
            return true;
    return false;
}

bool positiveNumber(const QJsonValue &v)
{
    return finiteNumber(v) && v.toDouble() > 0.0;
}

// Terms no smaller than zero, something stated, a certificate's k of at least 1.
bool meterTermsUsable(const QJsonValue &value)
{
    const QJsonObject m = value.toObject();
    bool any = false;
    for (const char *key : {"percentOfReading", "floorMa", "resolutionMa", "certificateMa"}) {
        if (!finiteNumber(m.value(key)) || m.value(key).toDouble() < 0.0)
            return false;
        any = any || m.value(key).toDouble() > 0.0;
    }
    return value.isObject() && any && finiteNumber(m.value("certificateK")) && m.value("certificateK").toDouble() >= 1.0;
}

QString headerProblem(const QJsonObject &h)
{
    if (!h.value("serial").isString() || h.value("serial").toString().trimmed().isEmpty())
        return QStringLiteral("no serial number");
    for (const char *key : {"tag", "description", "technician", "reference", "referenceDue", "ambient", "unit",
                            "toleranceKind", "laboratory", "procedure", "inputType", "referenceCertificate",
                            "referenceOverride"}) {
        if (h.contains(key) && !h.value(key).isString())
            return QStringLiteral("header %1 is not text").arg(QLatin1String(key));
    }
    for (const char *key : {"tolerance", "rangeLower", "rangeUpper", "resolution", "address"}) {
        if (h.contains(key) && !finiteNumber(h.value(key)))
            return QStringLiteral("header %1 is not a number").arg(QLatin1String(key));
    }
    if (!finiteNumber(h.value("tolerance")) || !(h.value("rangeUpper").toDouble() > h.value("rangeLower").toDouble()))
        return QStringLiteral("no tolerance or no range");
    // The fewest decimals figures are printed with; the unrounded error is judged.
    if (h.contains("resolution") && !recordableResolution(h.value("resolution").toDouble()))
        return QStringLiteral("header resolution %1 is none the tool records (1, 0.1, 0.01, 0.001 or 0.0001)")
            .arg(h.value("resolution").toDouble());
    if (!h.value("uncertainty").isNull() && !h.value("uncertainty").isUndefined() && !positiveNumber(h.value("uncertainty")))
        return QStringLiteral("header uncertainty is not a positive number");
    if (h.contains("currentMeter") && !meterTermsUsable(h.value("currentMeter")))
        return QStringLiteral("header currentMeter is not a meter's terms");
    if (h.contains("decisionRule")) {
        const QJsonObject rule = h.value("decisionRule").toObject();
        if (!metrology::ruleKind(rule.value("kind").toString().toStdString()) || !finiteNumber(rule.value("guardFactor"))
            || rule.value("guardFactor").toDouble() < 0.0)
            return QStringLiteral("header decisionRule is not a decision rule");
    }
    if (h.contains("currentToleranceMa") && !(finiteNumber(h.value("currentToleranceMa")) && h.value("currentToleranceMa").toDouble() > 0))
        return QStringLiteral("header currentToleranceMa is not a positive number");
    return QString();
}

// A point's own uncertainty: finite, a positive U, k of at least 1; the
// degrees of freedom absent or null when infinite.
QString uncertaintyProblem(const QJsonValue &value)
{
    const QJsonObject u = value.toObject();
    if (!value.isObject() || !positiveNumber(u.value("expanded")))
        return QStringLiteral("has an uncertainty without a positive expanded value");
    if (!finiteNumber(u.value("coverageFactor")) || u.value("coverageFactor").toDouble() < 1.0)
        return QStringLiteral("has a coverage factor under 1");
    const QJsonValue dof = u.value("effectiveDegreesOfFreedom");
    if (!dof.isUndefined() && !dof.isNull() && !positiveNumber(dof))
        return QStringLiteral("has effective degrees of freedom that are not a positive number");
    if (u.contains("currentExpandedMa") && !positiveNumber(u.value("currentExpandedMa")))
        return QStringLiteral("has a current uncertainty that is not a positive number");
    if (u.contains("currentCoverageFactor") && !(finiteNumber(u.value("currentCoverageFactor")) && u.value("currentCoverageFactor").toDouble() >= 1.0))
        return QStringLiteral("has a current coverage factor under 1");
    return QString();
}

QString pointProblem(const QJsonValue &value, int index)
{
    const QJsonObject p = value.toObject();
    const QString status = p.value("status").toString();
    static const QStringList kStatus{"pending", "recorded", "skipped", "not-stable"};
    QString what;
    if (!value.isObject() || !finiteNumber(p.value("reference")) || !kStatus.contains(status))
        what = QStringLiteral("has no reference or status");
    else if (status == QLatin1String("recorded") && (!finiteNumber(p.value("reading")) || !timeText(p.value("time"))))
        what = QStringLiteral("is recorded without a reading or time");
    else if (p.contains("currentMa") && !finiteNumber(p.value("currentMa")))
        what = QStringLiteral("has a current that is not a number");
    else if (p.contains("uncertainty"))
        what = uncertaintyProblem(p.value("uncertainty"));
    return what.isEmpty() ? what : QStringLiteral("point %1 %2").arg(index + 1).arg(what);
}

// Times without a zone, placed at `offset` and written in UTC.
QJsonValue placed(const QJsonValue &time, int offset)
{
    QDateTime t = QDateTime::fromString(time.toString(), Qt::ISODateWithMs);
    if (t.timeSpec() != Qt::LocalTime)
        return time;
    t.setOffsetFromUtc(offset);
    return t.toUTC().toString(Qt::ISODateWithMs);
}

bool zoneless(const QJsonObject &o)
{
    if (QDateTime::fromString(o.value("started").toString(), Qt::ISODateWithMs).timeSpec() == Qt::LocalTime)
        return true;
    for (const QJsonValue &p : o.value("points").toArray()) {
        const QJsonValue t = p.toObject().value("time");
        if (t.isString() && QDateTime::fromString(t.toString(), Qt::ISODateWithMs).timeSpec() == Qt::LocalTime)
            return true;
    }
    return false;
}

QString instrumentsProblem(const QJsonValue &value)
{
    if (!value.isArray() || value.toArray().isEmpty())
        return QStringLiteral("instruments used that are not a list");
    for (const QJsonValue &v : value.toArray()) {
        const QJsonObject i = v.toObject();
        const QString role = i.value("role").toString();
        if (!v.isObject() || !QStringList{"source", "meter", "environment"}.contains(role))
            return QStringLiteral("an instrument used that is neither source, meter nor environment");
        for (const char *key : {"model", "identity", "serial", "certificate", "due"}) {
            if (i.contains(key) && !i.value(key).isString())
                return QStringLiteral("an instrument used whose %1 is not text").arg(QLatin1String(key));
        }
        const QString due = i.value("due").toString();
        if (!due.isEmpty() && !QDate::fromString(due, Qt::ISODate).isValid())
            return QStringLiteral("an instrument used whose due date is not a date");
    }
    return QString();
}

QJsonObject placeTimes(QJsonObject o, int offset)
{
    o.insert("started", placed(o.value("started"), offset));
    QJsonArray points = o.value("points").toArray();
    for (int i = 0; i < points.size(); ++i) {
        QJsonObject p = points[i].toObject();
        if (p.contains("time"))
            p.insert("time", placed(p.value("time"), offset));
        points[i] = p;
    }
    o.insert("points", points);
    return o;
}

} // namespace

QString recordProblem(const QJsonObject &o)
{
    if (o.value("format").toString() != QLatin1String("tcal-calibration-record") || !o.value("version").isDouble()
        || o.value("version").toInt() < 1 || o.value("version").toInt() > 2)
        return QStringLiteral("not a calibration record of a known version");
    if (o.value("stage").toString() != stageKey(Stage::AsFound) && o.value("stage").toString() != stageKey(Stage::AsLeft))
        return QStringLiteral("no known stage");
    if (!timeText(o.value("started")))
        return QStringLiteral("no start time");
    if (!o.value("header").isObject())
        return QStringLiteral("no header");
    if (const QString h = headerProblem(o.value("header").toObject()); !h.isEmpty())
        return h;
    const QJsonArray points = o.value("points").toArray();
    if (!o.value("points").isArray() || points.isEmpty())
        return QStringLiteral("no test points");
    for (int i = 0; i < points.size(); ++i) {
        if (const QString p = pointProblem(points[i], i); !p.isEmpty())
            return p;
    }
    if (o.contains("configuration") && !o.value("configuration").isObject())
        return QStringLiteral("a configuration that is not an object");
    if (o.contains("amends")) {
        const QJsonObject a = o.value("amends").toObject();
        if (!(a.value("supersedes").toDouble() >= 1) || !a.value("reason").isString()
            || a.value("reason").toString().trimmed().isEmpty())
            return QStringLiteral("an amendment without the record it amends or a reason");
    }
    if (o.contains("instruments"))
        if (const QString i = instrumentsProblem(o.value("instruments")); !i.isEmpty())
            return i;
    if (o.contains("incompleteReason")
        && (!o.value("incompleteReason").isString() || o.value("incompleteReason").toString().trimmed().isEmpty()))
        return QStringLiteral("a reason for ending early that is not text");
    if (o.contains("adjusted") && !(o.value("adjusted").isBool() && o.value("stage").toString() == stageKey(Stage::AsLeft)))
        return QStringLiteral("an adjusted flag that is not true or false on an as-left check");
    return QString();
}

// Run over text QJsonDocument has already accepted, so only strings and
// brackets need telling apart; keys are compared as Qt decodes them.
bool hasDuplicateKeys(const QByteArray &json)
{
    struct Frame { bool object; bool expectKey; QSet<QString> keys; };
    QVector<Frame> stack;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '"') {
            int end = i + 1;
            while (end < json.size() && json.at(end) != '"')
                end += json.at(end) == '\\' ? 2 : 1;
            if (!stack.isEmpty() && stack.last().object && stack.last().expectKey) {
                const QString key = QJsonDocument::fromJson('[' + json.mid(i, end - i + 1) + ']').array().at(0).toString();
                if (stack.last().keys.contains(key))
                    return true;
                stack.last().keys.insert(key);
                stack.last().expectKey = false;
            }
            i = end;
        } else if (c == '{' || c == '[') {
            stack.append({c == '{', c == '{', {}});
        } else if ((c == '}' || c == ']') && !stack.isEmpty()) {
            stack.removeLast();
        } else if (c == ',' && !stack.isEmpty() && stack.last().object) {
            stack.last().expectKey = true;
        }
    }
    return false;
}

std::optional<Record> readRecordFile(const QByteArray &bytes, QString &why, std::optional<int> assumeOffsetSeconds)
{
    if (bytes.size() > kMaxRecordFileBytes)
        return why = QStringLiteral("larger than %1 bytes").arg(kMaxRecordFileBytes), std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return why = QStringLiteral("not JSON: ") + error.errorString(), std::nullopt;
    if (hasDuplicateKeys(bytes))
        return why = QStringLiteral("a key given twice"), std::nullopt;
    QJsonObject o = doc.object();
    why = recordProblem(o);
    if (!why.isEmpty())
        return std::nullopt;
    if (zoneless(o)) {
        if (!assumeOffsetSeconds)
            return why = QStringLiteral("times without a zone: give the offset they were written in"), std::nullopt;
        o = placeTimes(o, *assumeOffsetSeconds);
    }
    auto r = fromJson(o);
    if (!r)
        why = QStringLiteral("not a calibration record");
    return r;
}

std::optional<int> parseOffset(const QString &text)
{
    if (text == QLatin1String("Z"))
        return 0;
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^([+-])(\\d\\d):(\\d\\d)$")).match(text);
    if (!m.hasMatch() || m.captured(2).toInt() > 14 || m.captured(3).toInt() > 59)
        return std::nullopt;
    const int seconds = m.captured(2).toInt() * 3600 + m.captured(3).toInt() * 60;
    return m.captured(1) == QLatin1String("-") ? -seconds : seconds;
}

} // namespace record
