#include "automation/channel_map.h"

#include "texts/engine_texts.h"

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

using enginetext::Id;
const auto en = enginetext::english;

// `text` said of `where` ("unit 3: ..."); of the map itself when `where` is empty.
QString at(const QString &where, const QString &text)
{
    return where.isEmpty() ? text : en(Id::At).arg(where, text);
}

void checkKeys(const QJsonObject &o, const QSet<QString> &known, const QString &where)
{
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!known.contains(it.key()))
            fault(at(where, en(Id::UnknownKey).arg(it.key())));
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
        fault(at(where, en(Id::Missing).arg(key)));
    const QString s = v.toString();
    if (!v.isString() || s.isEmpty() || s.size() > kLongestText || s.trimmed() != s || !printable(s))
        fault(at(where, en(Id::TextOfLength).arg(key).arg(kLongestText)));
    return s;
}

QString channel(const QJsonObject &o, const QString &key, const QString &where)
{
    const QString c = text(o, key, where, true);
    if (!c.isEmpty() && !instruments::isChannelName(c))
        fault(at(where, en(Id::NoChannelName).arg(key, c)));
    return c;
}

MapUnit readUnit(const QJsonValue &value, int index)
{
    QString where = en(Id::EntryOfUnits).arg(index + 1);
    if (!value.isObject())
        fault(at(where, en(Id::MustBeObject)));
    const QJsonObject o = value.toObject();
    checkKeys(o, kUnitKeys, where);
    MapUnit u;
    const QJsonValue number = o.value(QStringLiteral("unit"));
    const double n = number.toDouble();
    if (!number.isDouble() || n != std::floor(n) || n < 1 || n > 999)
        fault(at(where, en(Id::UnitNumber)));
    u.unit = int(n);
    where = en(Id::Unit).arg(u.unit);
    u.port = text(o, QStringLiteral("port"), where);
    u.tag = text(o, QStringLiteral("tag"), where);
    u.serial = text(o, QStringLiteral("serial"), where);
    u.sourceChannel = channel(o, QStringLiteral("source channel"), where);
    u.meterChannel = channel(o, QStringLiteral("meter channel"), where);
    const QJsonValue isolated = o.value(QStringLiteral("input isolated"));
    if (!isolated.isUndefined() && !isolated.isBool())
        fault(at(where, en(Id::TrueOrFalse).arg("input isolated")));
    u.inputIsolated = isolated.toBool(false);
    if (!u.inputIsolated && u.sourceChannel.isEmpty())
        fault(at(where, en(Id::NeedsSourceChannel)));
    const QString meter = text(o, QStringLiteral("meter"), where, true);
    if (meter.isEmpty() == u.meterChannel.isEmpty())
        fault(at(where, en(Id::MeterChannelOrOwn)));
    if (!meter.isEmpty()) {
        QString why;
        const auto address = instruments::parseAddress(meter, &why);
        if (!address)
            fault(at(where, at("\"meter\"", why)));
        u.meter = instruments::addressText(*address);
        // Written back with its default baud or port, the address must still be one a map can hold.
        if (u.meter.size() > kLongestText)
            fault(at(where, at("\"meter\"", en(Id::LongerThan).arg(u.meter).arg(kLongestText))));
    }
    u.meterModel = text(o, QStringLiteral("meter model"), where, true);
    if (!u.meterModel.isEmpty() && u.meter.isEmpty())
        fault(at(where, en(Id::MeterModelWithoutMeter)));
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
            fault(en(Id::UnitsShare).arg(seen.value(key)).arg(unit).arg(what, key));
        seen.insert(key, unit);
    };
    for (const MapUnit &u : units) {
        claim(unitNumbers, QString::number(u.unit), u.unit, en(Id::TheUnitNumber));
        claim(ports, u.port, u.unit, en(Id::ThePort));
        claim(serials, u.serial, u.unit, en(Id::TheSerialNumber));
        claim(channels, u.sourceChannel, u.unit, en(Id::TheChannel));
        if (!u.meterChannel.isEmpty() && u.meterChannel == u.sourceChannel)
            fault(at(en(Id::Unit).arg(u.unit), en(Id::OneChannelBoth).arg(u.meterChannel)));
        claim(channels, u.meterChannel, u.unit, en(Id::TheChannel));
        claim(meters, u.meter, u.unit, en(Id::TheMeter));
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
            fault(en(Id::UnitsCount).arg(kMostUnits));
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
        return why = en(Id::At).arg(path, file.errorString()), std::nullopt;
    if (file.size() > kLargestFile)
        return why = at(path, en(Id::LargerThanMap)), std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return why = at(path, en(Id::NotJsonAt).arg(error.errorString()).arg(error.offset)),
               std::nullopt;
    if (!document.isObject())
        return why = at(path, en(Id::NotJsonObject)), std::nullopt;
    QString fault;
    auto map = channelMapFromJson(document.object(), fault);
    if (!map)
        why = en(Id::At).arg(path, fault);
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
