// The simulated laboratory's switch: a scanner card whose relays route the
// calibrator to one transmitter's input and the loops to the meter
// (units.h says which channel is which). Logic only, like the other
// instruments (scpi_instruments.h); ScpiLab serves it.
//
//   ROUT:CLOS (@101,201)     close the channels listed ("(@101:104)" is a range)
//   ROUT:OPEN (@101)         open them
//   ROUT:OPEN:ALL            open every channel (so does *RST)
//   ROUT:CLOS? (@101,102)    "1,0": closed or not, per channel listed
//
// A list that does not parse is -104 and a channel the card does not have
// -222; either way no relay moves. Every change is reported to the listener
// with the switch's lock held (a wiring: it never calls back).
#pragma once

#include "scpi_instruments.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sim {

class ScpiSwitch : public ScpiInstrument {
public:
    using Listener = std::function<void(const std::set<int> &closed)>;
    ScpiSwitch(std::set<int> channels, Listener onChange);

    std::set<int> closed() const;
    std::string describe() const;

    // "(@101,103:105)" -> {101, 103, 104, 105}; nullopt when it does not parse.
    static std::optional<std::vector<int>> parseChannelList(const std::string &text);

private:
    std::optional<std::string> execute(const std::string &header, const std::string &parameter,
                                       bool hasParameter) override;
    void resetLocked() override;
    std::string identity() const override;
    // The listed channels, or nothing (with the error queued).
    std::optional<std::vector<int>> channelsLocked(const std::string &parameter, bool hasParameter);

    const std::set<int> m_channels;
    Listener m_onChange;
    std::set<int> m_closed;
};

} // namespace sim
