#include "tabs/batch_handover.h"

#include <QSet>

namespace records {

using labtext::Text;

namespace {

const autocal::MapUnit *placed(const autocal::ChannelMap &map, const QString &tag)
{
    for (const autocal::MapUnit &unit : map.units)
        if (unit.tag == tag)
            return &unit;
    return nullptr;
}

} // namespace

Handover handOver(const QVector<recordsdb::Instrument> &units, const std::optional<autocal::ChannelMap> &map)
{
    Handover out;
    autocal::ChannelMap cut;
    QSet<QString> seen;
    for (const recordsdb::Instrument &unit : units) {
        if (seen.contains(unit.tag))
            continue;
        seen.insert(unit.tag);
        const autocal::MapUnit *m = map ? placed(*map, unit.tag) : nullptr;
        if (!m)
            out.remaining.push_back({unit.tag, {Text::FieldPort, Text::FieldChannels}});
        else if (m->serial != unit.serial)
            out.remaining.push_back({unit.tag, {Text::FieldSerial}});
        else
            cut.units << *m;
    }
    if (!out.remaining.isEmpty() || cut.units.isEmpty())
        return out;
    cut.name = map->name;
    // The cut map passes the same checks as a file does before a batch may use it.
    out.map = autocal::channelMapFromJson(autocal::channelMapToJson(cut), out.why);
    return out;
}

QString remainingText(const Handover &handover, int language)
{
    QStringList units;
    for (const UnitRemaining &unit : handover.remaining) {
        QStringList fields;
        for (Text field : unit.fields)
            fields << labtext::text(field, language);
        units << labtext::text(Text::UnitRemains, language).arg(unit.tag, fields.join(QStringLiteral(", ")));
    }
    if (units.isEmpty())
        return handover.why;
    return labtext::text(Text::FieldsRemain, language).arg(units.join(QStringLiteral("; ")));
}

} // namespace records
