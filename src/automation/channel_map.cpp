#include "automation/channel_map.h"

#include "instruments/address.h"
#include "instruments/model.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <cmath>

namespace autocal {

namespace {

constexpr qint64 kLargestFile = 256 * 1024;
constexpr int kLongestText = 128;

const QSet<QString> kRootKeys{"name", "units"};
const QSet<QString> kUnitKeys{"unit", "port", "tag", "serial", "source channel", "meter channel", "meter",
                              "meter model", "input isolated"};

struct Fault {
    QString text;
};

[[noreturn]] void fault(const QString &text)
{
    throw Fault{text};
}

void checkKeys(const QJsonObject &o, const QSet<QString> &known, const QString &where)
{
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!known.contains(it.key()))
            fault(QStringLiteral("%1unknown key \"%2\"").arg(where, it.key()));
}

bool printable(const QString &text)
{
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return false;
    return true;
}

// A text of 1 to kLongestText printable characters without spaces at either end;
// absent gives an empty text when `optional`.
QString text(const QJsonObject &o, const QString &key, const QString &where, bool optional = false)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() && optional)
        return QString();
    if (v.isUndefined())
        fault(QStringLiteral("%1\"%2\" is missing").arg(where, key));
    const QString s = v.toString();
    if (!v.isString() || s.isEmpty() || s.size() > kLongestText || s.trimmed() != s || !printable(s))
        fault(QStringLiteral("%1\"%2\" must be a text of 1 to %3 printable characters, without spaces at "
                             "either end")
                  .arg(where, key)
                  .arg(kLongestText));
    return s;
}

QString channel(const QJsonObject &o, const QString &key, const QString &where)
{
    const QString c = text(o, key, where, true);
    if (!c.isEmpty() && !instruments::isChannelName(c))
        fault(QStringLiteral("%1\"%2\" \"%3\" is no channel name (1 to 16 letters, digits or '!')")
                  .arg(where, key, c));
    return c;
}

MapUnit readUnit(const QJsonValue &value, int index)
{
    QString where = QStringLiteral("entry %1 of \"units\": ").arg(index + 1);
    if (!value.isObject())
        fault(where + QStringLiteral("must be an object"));
    const QJsonObject o = value.toObject();
    checkKeys(o, kUnitKeys, where);
    MapUnit u;
    const QJsonValue number = o.value(QStringLiteral("unit"));
    const double n = number.toDouble();
    if (!number.isDouble() || n != std::floor(n) || n < 1 || n > 999)
        fault(where + QStringLiteral("\"unit\" must be a whole number 1 to 999"));
    u.unit = int(n);
    where = QStringLiteral("unit %1: ").arg(u.unit);
    u.port = text(o, QStringLiteral("port"), where);
    u.tag = text(o, QStringLiteral("tag"), where);
    u.serial = text(o, QStringLiteral("serial"), where);
    u.sourceChannel = channel(o, QStringLiteral("source channel"), where);
    u.meterChannel = channel(o, QStringLiteral("meter channel"), where);
    const QJsonValue isolated = o.value(QStringLiteral("input isolated"));
    if (!isolated.isUndefined() && !isolated.isBool())
        fault(where + QStringLiteral("\"input isolated\" must be true or false"));
    u.inputIsolated = isolated.toBool(false);
    if (!u.inputIsolated && u.sourceChannel.isEmpty())
        fault(where + QStringLiteral("needs a \"source channel\": its input is not isolated from its loop, "
                                     "so the calibrator reaches it only through the switch"));
    const QString meter = text(o, QStringLiteral("meter"), where, true);
    if (meter.isEmpty() == u.meterChannel.isEmpty())
        fault(where + QStringLiteral("needs either a \"meter channel\" or a \"meter\" of its own, not both"));
    if (!meter.isEmpty()) {
        QString why;
        const auto address = instruments::parseAddress(meter, &why);
        if (!address)
            fault(where + QStringLiteral("\"meter\": ") + why);
        u.meter = instruments::addressText(*address);
        // Written back with its default baud or port, the address must still be one a map can hold.
        if (u.meter.size() > kLongestText)
            fault(where + QStringLiteral("\"meter\": \"%1\" is longer than %2 characters")
                              .arg(u.meter)
                              .arg(kLongestText));
    }
    u.meterModel = text(o, QStringLiteral("meter model"), where, true);
    if (!u.meterModel.isEmpty() && u.meter.isEmpty())
        fault(where + QStringLiteral("\"meter model\" names the model of a \"meter\" of its own; it has none"));
    return u;
}

// Two units on one line, one relay or one meter would read or drive each other.
void checkDistinct(const QVector<MapUnit> &units)
{
    QHash<QString, int> unitNumbers, ports, serials, channels, meters;
    const auto claim = [](QHash<QString, int> &seen, const QString &key, int unit, const QString &what) {
        if (key.isEmpty())
            return;
        if (seen.contains(key))
            fault(QStringLiteral("units %1 and %2 share %3 \"%4\"").arg(seen.value(key)).arg(unit).arg(what, key));
        seen.insert(key, unit);
    };
    for (const MapUnit &u : units) {
        claim(unitNumbers, QString::number(u.unit), u.unit, QStringLiteral("the unit number"));
        claim(ports, u.port, u.unit, QStringLiteral("the port"));
        claim(serials, u.serial, u.unit, QStringLiteral("the serial number"));
        claim(channels, u.sourceChannel, u.unit, QStringLiteral("the channel"));
        if (!u.meterChannel.isEmpty() && u.meterChannel == u.sourceChannel)
            fault(QStringLiteral("unit %1: one channel \"%2\" cannot route both the source and the meter")
                      .arg(u.unit)
                      .arg(u.meterChannel));
        claim(channels, u.meterChannel, u.unit, QStringLiteral("the channel"));
        claim(meters, u.meter, u.unit, QStringLiteral("the meter"));
    }
}

} // namespace

std::optional<ChannelMap> channelMapFromJson(const QJsonObject &object, QString &why)
{
    try {
        checkKeys(object, kRootKeys, QString());
        ChannelMap map;
        map.name = text(object, QStringLiteral("name"), QString(), true);
        const QJsonValue units = object.value(QStringLiteral("units"));
        if (!units.isArray() || units.toArray().isEmpty() || units.toArray().size() > kMostUnits)
            fault(QStringLiteral("\"units\" must list 1 to %1 units").arg(kMostUnits));
        const QJsonArray list = units.toArray();
        for (int i = 0; i < list.size(); ++i)
            map.units << readUnit(list.at(i), i);
        checkDistinct(map.units);
        return map;
    } catch (const Fault &f) {
        why = f.text;
        return std::nullopt;
    }
}

std::optional<ChannelMap> readChannelMap(const QString &path, QString &why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return why = QStringLiteral("%1: %2").arg(path, file.errorString()), std::nullopt;
    if (file.size() > kLargestFile)
        return why = QStringLiteral("%1: larger than a channel map can be").arg(path), std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return why = QStringLiteral("%1: not JSON: %2 at byte %3").arg(path, error.errorString()).arg(error.offset),
               std::nullopt;
    if (!document.isObject())
        return why = QStringLiteral("%1: not a JSON object").arg(path), std::nullopt;
    QString fault;
    auto map = channelMapFromJson(document.object(), fault);
    if (!map)
        why = QStringLiteral("%1: %2").arg(path, fault);
    return map;
}

QJsonObject channelMapToJson(const ChannelMap &map)
{
    QJsonArray units;
    for (const MapUnit &u : map.units) {
        QJsonObject o{{"unit", u.unit}, {"port", u.port}, {"tag", u.tag}, {"serial", u.serial},
                      {"input isolated", u.inputIsolated}};
        if (!u.sourceChannel.isEmpty())
            o.insert(QStringLiteral("source channel"), u.sourceChannel);
        if (!u.meterChannel.isEmpty())
            o.insert(QStringLiteral("meter channel"), u.meterChannel);
        if (!u.meter.isEmpty())
            o.insert(QStringLiteral("meter"), u.meter);
        if (!u.meterModel.isEmpty())
            o.insert(QStringLiteral("meter model"), u.meterModel);
        units.append(o);
    }
    QJsonObject root{{"units", units}};
    if (!map.name.isEmpty())
        root.insert(QStringLiteral("name"), map.name);
    return root;
}

bool sourceIsRouted(const MapUnit &unit, bool rtdInput)
{
    return rtdInput || !unit.inputIsolated;
}

} // namespace autocal
