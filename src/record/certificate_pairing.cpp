#include "record/certificate_pairing.h"

#include "record/record_texts.h"

#include <algorithm>

namespace record {

namespace {

QString checkRefusal(const Record &r, Stage stage, qint64 supersededBy, int lang)
{
    if (r.stage != stage)
        return text(Text::PairingStage, lang).arg(r.id).arg(stageKey(stage));
    if (verdict(r) == Verdict::Incomplete)
        return text(Text::PairingIncomplete, lang).arg(r.id);
    if (supersededBy > 0)
        return text(Text::PairingSuperseded, lang).arg(r.id).arg(supersededBy);
    return QString();
}

// What names the transmitter and what it was judged against, field by field.
struct IdentityField {
    const char *name[3];
    QString (*value)(const Header &);
};
const IdentityField kIdentity[] = {
    {{"位号", "位號", "tag"}, [](const Header &h) { return h.tag.trimmed(); }},
    {{"输入类型", "輸入類型", "input type"}, [](const Header &h) { return h.inputType.trimmed(); }},
    {{"量程", "量程", "range"}, [](const Header &h) {
         return QStringLiteral("%1 … %2 %3").arg(h.range.lower).arg(h.range.upper).arg(h.unit);
     }},
    {{"允差", "允差", "tolerance"}, [](const Header &h) {
         return QStringLiteral("±%1 %2").arg(h.tolerance.value).arg(h.tolerance.kind == Tolerance::Kind::Degrees
                                                                         ? h.unit : QStringLiteral("% of span"));
     }},
};

} // namespace

QString pairingRefusal(const PairingInput &in, int lang)
{
    if (!in.asFound && !in.asLeft)
        return text(Text::PairingNothing, lang);
    if (in.asFound) {
        const QString refused = checkRefusal(*in.asFound, Stage::AsFound, in.foundSupersededBy, lang);
        if (!refused.isEmpty())
            return refused;
    }
    if (in.asLeft) {
        const QString refused = checkRefusal(*in.asLeft, Stage::AsLeft, in.leftSupersededBy, lang);
        if (!refused.isEmpty())
            return refused;
    }
    if (!in.asFound || !in.asLeft)
        return QString();
    const Header &found = in.asFound->header, &left = in.asLeft->header;
    if (found.serial.trimmed() != left.serial.trimmed() || found.serial.trimmed().isEmpty())
        return text(Text::PairingSerial, lang).arg(found.serial, left.serial);
    if (found.address != left.address)
        return text(Text::PairingAddress, lang).arg(found.address).arg(left.address);
    for (const IdentityField &f : kIdentity) {
        if (f.value(found) != f.value(left))
            return text(Text::PairingIdentity, lang).arg(QString::fromUtf8(f.name[std::clamp(lang, 0, 2)]), f.value(found),
                                                          f.value(left));
    }
    if (in.asLeft->started < in.asFound->started)
        return text(Text::PairingOrder, lang);
    return QString();
}

} // namespace record
