#pragma once
// Units handed from the due list to a batch: the channel map cut down to
// them when it places every one with the register's serial, otherwise what is
// still missing for each. Plain data, no widgets.

#include "automation/channel_map.h"
#include "records_db/instrument_register.h"
#include "texts/lab_texts.h"

#include <optional>

namespace records {

struct UnitRemaining {
    QString tag;
    QVector<labtext::Text> fields;
};

struct Handover {
    std::optional<autocal::ChannelMap> map;   // the handed units only, in their order; none while any remains
    QVector<UnitRemaining> remaining;
    QString why;                              // the cut map's own refusal, if it had one
};

// `map` nullopt: no map read yet (every unit still needs its port and channels).
Handover handOver(const QVector<recordsdb::Instrument> &units, const std::optional<autocal::ChannelMap> &map);
// "still needed before the batch starts: TT-1 (serial port, …); …" in `language`; empty when nothing remains.
QString remainingText(const Handover &handover, int language);

} // namespace records
