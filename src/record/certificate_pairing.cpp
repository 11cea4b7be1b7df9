#include "record/certificate_pairing.h"

#include "record/record_texts.h"

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
    if (in.asLeft->started < in.asFound->started)
        return text(Text::PairingOrder, lang);
    return QString();
}

} // namespace record
