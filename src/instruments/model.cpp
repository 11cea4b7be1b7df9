#include "instruments/model.h"

#include "instruments/built_in_models.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>

// A model file (UTF-8 JSON), every key checked; units are those of the function:
// {
//   "name": "Generic SCPI calibrator",     shown, and what findModel looks up
//   "role": "calibrator" | "meter" | "switch" | "environment",
//   "identity": "^[^,]+,[^,]+,.*$",          regular expression the *IDN? answer must match
//   "terminator": "\n",                      optional (default "\n"), ends each line both ways
//   "timeout ms": 2000,                      optional (default 2000), 1 to 60000, per answer
//   "commands": {                            each a text, or {"text": ..., "scale": ...}
//     "identify", "reset", "error query"                             every model
//     "source millivolts", "source ohms", "output on", "output off"   a calibrator
//     "measure current"                                              a meter
//     "route close", "route open", optionally "route open all"       a switch
//     "measure temperature" (degC), "measure humidity" (%RH, optional) an environment instrument
//   },                                       "{value}" (source commands only) is the value in
//                                            mV or ohm times scale; a query's number times
//                                            scale is mA; "{channels}" (route close/open) is
//                                            the channel list
//   "ranges": [{"function": "mV" | "ohm" | "mA", "up to": 100, "% of reading": 0.01,
//               "floor": 0.005, "resolution": 0.001, "stated at k=2": false}]
//                                            a calibrator needs an mV and an ohm range, a meter
//                                            an mA one, an environment instrument a degC one;
//                                            a switch has none
//   "channel list": {"prefix": "(@", "separator": ",", "suffix": ")"}   a switch, optional
//   "settle ms": 10                          a switch, optional (default 0), 0 to 10000
// }

namespace instruments {

namespace {

struct Fault {
    QString text;
};

[[noreturn]] void fault(const QString &where, const QString &what)
{
    throw Fault{where.isEmpty() ? what : QStringLiteral("%1: %2").arg(where, what)};
}

QString joined(const QString &where, const QString &key)
{
    return where.isEmpty() ? QStringLiteral("\"%1\"").arg(key)
                           : QStringLiteral("%1 \"%2\"").arg(where, key);
}

void checkKeys(const QJsonObject &object, const QStringList &known, const QString &where)
{
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!known.contains(it.key()))
            fault(where, QStringLiteral("unknown key \"%1\" (known: %2)")
                             .arg(it.key(), known.join(QStringLiteral(", "))));
}

QString text(const QJsonObject &object, const QString &key, const QString &where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        fault(where, QStringLiteral("\"%1\" is missing").arg(key));
    if (!value.isString() || value.toString().isEmpty())
        fault(joined(where, key), QStringLiteral("must be a text, not empty"));
    return value.toString();
}

// A finite number at least `least` (above it when `strictly`); absent gives fallback.
double number(const QJsonObject &object, const QString &key, const QString &where,
              double least, bool strictly, std::optional<double> fallback = std::nullopt)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        if (!fallback)
            fault(where, QStringLiteral("\"%1\" is missing").arg(key));
        return *fallback;
    }
    const double x = value.toDouble();
    if (!value.isDouble() || !std::isfinite(x) || x < least || (strictly && x == least))
        fault(joined(where, key), QStringLiteral("must be a number %1 %2")
                                      .arg(strictly ? QStringLiteral("above") : QStringLiteral("at least"))
                                      .arg(least));
    return x;
}

const QStringList kPlaceholders{QStringLiteral("{value}"), QStringLiteral("{channels}")};

// `placeholder` is the one the command must hold (empty: none); no other may appear.
Command command(const QJsonValue &value, const QString &placeholder, const QString &where)
{
    Command result;
    if (value.isString()) {
        result.text = value.toString();
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        checkKeys(object, {QStringLiteral("text"), QStringLiteral("scale")}, where);
        result.text = text(object, QStringLiteral("text"), where);
        result.scale = number(object, QStringLiteral("scale"), where, 0, true, 1.0);
    } else {
        fault(where, QStringLiteral("must be a text or {\"text\": ..., \"scale\": ...}"));
    }
    if (result.text.trimmed().isEmpty())
        fault(where, QStringLiteral("the command is empty"));
    if (!placeholder.isEmpty() && !result.text.contains(placeholder))
        fault(where, QStringLiteral("lacks \"%1\"").arg(placeholder));
    for (const QString &other : kPlaceholders)
        if (other != placeholder && result.text.contains(other))
            fault(where, QStringLiteral("takes no %1, yet has \"%2\"")
                             .arg(other == QLatin1String("{value}") ? QStringLiteral("value")
                                                                    : QStringLiteral("channels"),
                                  other));
    return result;
}

struct CommandKey {
    const char *key;
    Command Model::*member;
    const char *placeholder;       // the one the command must hold, or ""
    std::optional<Role> onlyFor;   // required for this role; empty: every model
    bool optional = false;         // may be left out even by that role
};

const CommandKey kCommands[] = {
    {"identify", &Model::identify, "", std::nullopt},
    {"reset", &Model::reset, "", std::nullopt},
    {"error query", &Model::errorQuery, "", std::nullopt},
    {"source millivolts", &Model::sourceMillivolts, "{value}", Role::Calibrator},
    {"source ohms", &Model::sourceOhms, "{value}", Role::Calibrator},
    {"output on", &Model::outputOn, "", Role::Calibrator},
    {"output off", &Model::outputOff, "", Role::Calibrator},
    {"measure current", &Model::measureCurrent, "", Role::Meter},
    {"route close", &Model::routeClose, "{channels}", Role::Switch},
    {"route open", &Model::routeOpen, "{channels}", Role::Switch},
    {"route open all", &Model::routeOpenAll, "", Role::Switch, true},
    {"measure temperature", &Model::measureTemperature, "", Role::Environment},
    {"measure humidity", &Model::measureHumidity, "", Role::Environment, true},
};

QString roleName(Role role)
{
    switch (role) {
    case Role::Meter: return QStringLiteral("meter");
    case Role::Switch: return QStringLiteral("switch");
    case Role::Environment: return QStringLiteral("environment instrument");
    case Role::Calibrator: break;
    }
    return QStringLiteral("calibrator");
}

void readCommands(const QJsonObject &root, Model &model)
{
    const QJsonValue value = root.value(QStringLiteral("commands"));
    if (!value.isObject())
        fault(QString(), QStringLiteral("\"commands\" must be an object"));
    const QJsonObject commands = value.toObject();
    QStringList known;
    for (const CommandKey &c : kCommands)
        known << QString::fromLatin1(c.key);
    checkKeys(commands, known, QStringLiteral("commands"));
    for (const CommandKey &c : kCommands) {
        const QString key = QString::fromLatin1(c.key);
        const QString where = QStringLiteral("command \"%1\"").arg(key);
        if (commands.contains(key))
            model.*c.member = command(commands.value(key), QString::fromLatin1(c.placeholder), where);
        else if (!c.optional && (!c.onlyFor || *c.onlyFor == model.role))
            fault(QString(), QStringLiteral("a %1 needs the command \"%2\"").arg(roleName(model.role), key));
    }
}

Range range(const QJsonValue &value, int index)
{
    const QString where = QStringLiteral("range %1").arg(index + 1);
    if (!value.isObject())
        fault(where, QStringLiteral("must be an object"));
    const QJsonObject object = value.toObject();
    checkKeys(object, {QStringLiteral("function"), QStringLiteral("up to"), QStringLiteral("% of reading"),
                       QStringLiteral("floor"), QStringLiteral("resolution"), QStringLiteral("stated at k=2"),
                       QStringLiteral("excitation effect"), QStringLiteral("% of reading per degC"),
                       QStringLiteral("floor per degC"), QStringLiteral("reference degC")},
              where);
    Range r;
    r.function = text(object, QStringLiteral("function"), where);
    if (!QStringList{"mV", "ohm", "mA", "degC", "%RH"}.contains(r.function))
        fault(where, QStringLiteral("function \"%1\" is none of mV, ohm, mA, degC, %RH").arg(r.function));
    r.upTo = number(object, QStringLiteral("up to"), where, 0, true);
    r.percentOfReading = number(object, QStringLiteral("% of reading"), where, 0, false);
    r.floor = number(object, QStringLiteral("floor"), where, 0, false);
    r.resolution = number(object, QStringLiteral("resolution"), where, 0, true);
    const QJsonValue k2 = object.value(QStringLiteral("stated at k=2"));
    if (!k2.isUndefined() && !k2.isBool())
        fault(where, QStringLiteral("\"stated at k=2\" must be true or false"));
    r.statedAtK2 = k2.toBool(false);
    if (object.contains(QStringLiteral("excitation effect"))) {
        if (r.function != QLatin1String("ohm"))
            fault(where, QStringLiteral("\"excitation effect\" belongs to an ohm range"));
        r.excitationEffect = number(object, QStringLiteral("excitation effect"), where, 0, false);
    }
    if (object.contains(QStringLiteral("% of reading per degC")) || object.contains(QStringLiteral("floor per degC"))) {
        r.coefficientPercentPerDegree = number(object, QStringLiteral("% of reading per degC"), where, 0, false, 0.0);
        r.coefficientFloorPerDegree = number(object, QStringLiteral("floor per degC"), where, 0, false, 0.0);
        const QJsonArray band = object.value(QStringLiteral("reference degC")).toArray();
        if (object.contains(QStringLiteral("reference degC"))
            && !(band.size() == 2 && band[0].isDouble() && band[1].isDouble() && band[0].toDouble() <= band[1].toDouble()))
            fault(where, QStringLiteral("\"reference degC\" must be [from, to]"));
        if (band.size() == 2) {
            r.referenceFrom = band[0].toDouble();
            r.referenceTo = band[1].toDouble();
        }
    }
    return r;
}

void readRanges(const QJsonObject &root, Model &model)
{
    const QJsonValue value = root.value(QStringLiteral("ranges"));
    if (model.role == Role::Switch && value.isUndefined())
        return;
    if (!value.isArray())
        fault(QString(), QStringLiteral("\"ranges\" must be a list"));
    const QJsonArray list = value.toArray();
    for (int i = 0; i < list.size(); ++i)
        model.ranges << range(list.at(i), i);
    if (model.role == Role::Switch && !model.ranges.isEmpty())
        fault(QString(), QStringLiteral("a switch has no ranges"));
    const QStringList needed = model.role == Role::Meter         ? QStringList{QStringLiteral("mA")}
                               : model.role == Role::Environment ? QStringList{QStringLiteral("degC")}
                               : model.role == Role::Switch      ? QStringList{}
                                                                 : QStringList{QStringLiteral("mV"), QStringLiteral("ohm")};
    for (const QString &function : needed)
        if (!rangeFor(model, function, 0))
            fault(QString(), QStringLiteral("no %1 range").arg(function));
}

void readHeader(const QJsonObject &root, Model &model)
{
    model.name = text(root, QStringLiteral("name"), QString()).trimmed();
    const QString role = text(root, QStringLiteral("role"), QString());
    if (role == QLatin1String("calibrator"))
        model.role = Role::Calibrator;
    else if (role == QLatin1String("meter"))
        model.role = Role::Meter;
    else if (role == QLatin1String("switch"))
        model.role = Role::Switch;
    else if (role == QLatin1String("environment"))
        model.role = Role::Environment;
    else
        fault(QStringLiteral("\"role\""),
              QStringLiteral("\"%1\" is none of calibrator, meter, switch, environment").arg(role));
    model.identityPattern = text(root, QStringLiteral("identity"), QString());
    const QRegularExpression pattern(model.identityPattern);
    if (!pattern.isValid())
        fault(QStringLiteral("\"identity\""), QStringLiteral("not a regular expression: %1 at %2")
                                                  .arg(pattern.errorString())
                                                  .arg(pattern.patternErrorOffset()));
    if (root.contains(QStringLiteral("terminator")))
        model.terminator = text(root, QStringLiteral("terminator"), QString());
    const double timeout = number(root, QStringLiteral("timeout ms"), QString(), 1, false, 2000);
    if (timeout != std::floor(timeout) || timeout > 60000)
        fault(QStringLiteral("\"timeout ms\""), QStringLiteral("must be a whole number 1 to 60000"));
    model.timeoutMs = int(timeout);
}

// The keys only a switch has.
void readSwitchKeys(const QJsonObject &root, Model &model)
{
    const QString listKey = QStringLiteral("channel list"), settleKey = QStringLiteral("settle ms");
    if (model.role != Role::Switch) {
        for (const QString &key : {listKey, settleKey})
            if (root.contains(key))
                fault(QString(), QStringLiteral("only a switch has \"%1\"").arg(key));
        return;
    }
    const double settle = number(root, settleKey, QString(), 0, false, 0);
    if (settle != std::floor(settle) || settle > 10000)
        fault(QStringLiteral("\"settle ms\""), QStringLiteral("must be a whole number 0 to 10000"));
    model.settleMs = int(settle);
    if (!root.contains(listKey))
        return;
    const QJsonValue value = root.value(listKey);
    if (!value.isObject())
        fault(QString(), QStringLiteral("\"channel list\" must be an object"));
    const QJsonObject form = value.toObject();
    const QString where = QStringLiteral("channel list");
    checkKeys(form, {QStringLiteral("prefix"), QStringLiteral("separator"), QStringLiteral("suffix")}, where);
    // The separator may not be empty (channels would run together); prefix and suffix may.
    const auto part = [&](const QString &key, bool mayBeEmpty, const QString &fallback) {
        const QJsonValue v = form.value(key);
        if (v.isUndefined())
            return fallback;
        if (!v.isString() || (!mayBeEmpty && v.toString().isEmpty()))
            fault(joined(where, key), mayBeEmpty ? QStringLiteral("must be a text")
                                                 : QStringLiteral("must be a text, not empty"));
        if (v.toString().contains(QLatin1Char('\n')) || v.toString().contains(QLatin1Char('\r')))
            fault(joined(where, key), QStringLiteral("must not hold a line end"));
        return v.toString();
    };
    model.channelList.prefix = part(QStringLiteral("prefix"), true, model.channelList.prefix);
    model.channelList.separator = part(QStringLiteral("separator"), false, model.channelList.separator);
    model.channelList.suffix = part(QStringLiteral("suffix"), true, model.channelList.suffix);
}

Model modelFrom(const QJsonObject &root)
{
    checkKeys(root, {QStringLiteral("name"), QStringLiteral("role"), QStringLiteral("identity"),
                     QStringLiteral("terminator"), QStringLiteral("timeout ms"), QStringLiteral("commands"),
                     QStringLiteral("ranges"), QStringLiteral("channel list"), QStringLiteral("settle ms")},
              QString());
    Model model;
    readHeader(root, model);
    readSwitchKeys(root, model);
    readCommands(root, model);
    readRanges(root, model);
    return model;
}

constexpr qint64 kLargestFile = 1 << 20;

} // namespace

std::optional<Model> readModel(const QString &path, QString *why)
{
    registerBuiltInModels();
    QFile file(path);
    const auto refuse = [&](const QString &what) -> std::optional<Model> {
        if (why)
            *why = QStringLiteral("%1: %2").arg(path, what);
        return std::nullopt;
    };
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    if (file.size() > kLargestFile)
        return refuse(QStringLiteral("larger than a model file can be"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return refuse(QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset));
    if (!document.isObject())
        return refuse(QStringLiteral("not a JSON object"));
    try {
        Model model = modelFrom(document.object());
        model.file = QFileInfo(path).absoluteFilePath();
        return model;
    } catch (const Fault &f) {
        return refuse(f.text);
    }
}

bool isChannelName(const QString &channel)
{
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9!]{1,16}$"));
    return form.match(channel).hasMatch();
}

QString channelListText(const ChannelListForm &form, const QStringList &channels)
{
    return form.prefix + channels.join(form.separator) + form.suffix;
}

std::optional<Range> rangeFor(const Model &model, const QString &function, double value)
{
    const double magnitude = std::fabs(value);
    std::optional<Range> best;
    for (const Range &r : model.ranges)
        if (r.function == function && magnitude <= r.upTo && (!best || r.upTo < best->upTo))
            best = r;
    return best;
}

} // namespace instruments
