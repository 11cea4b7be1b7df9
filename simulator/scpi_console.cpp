#include "scpi_console.h"

#include "scpi_server.h"

#include <cmath>
#include <cstdlib>

namespace sim {

namespace {

bool toNumber(const std::string &s, double &out)
{
    char *end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return !s.empty() && end && *end == '\0' && std::isfinite(out);
}

bool toInstrument(const std::string &s, Instrument &out)
{
    if (s == "source" || s == "calibrator") { out = Instrument::Source; return true; }
    if (s == "meter") { out = Instrument::Meter; return true; }
    if (s == "switch") { out = Instrument::Switch; return true; }
    if (s == "environment") { out = Instrument::Environment; return true; }
    return false;
}

bool toSwitch(const std::string &s, bool &out)
{
    if (s == "on" || s == "1") { out = true; return true; }
    if (s == "off" || s == "0") { out = false; return true; }
    return false;
}

} // namespace

const char *scpiConsoleHelp()
{
    return "  scpi [show]              the calibrator and the meter: where, output, faults\n"
           "  scpi silent source|meter|switch on|off  the instrument answers nothing\n"
           "  scpi silent meter K on|off  unit K's own meter (tcal-sim --own-meters)\n"
           "  scpi drift MV_PER_MIN    the calibrator's output walks away (0 = off)\n"
           "  scpi error source|meter|switch CODE  CODE enters the error queue at the next command\n"
           "  scpi clear               clear the instruments' faults\n";
}

std::string runScpiCommand(ScpiLab &lab, const std::vector<std::string> &w)
{
    const auto arg = [&](size_t i) { return i < w.size() ? w[i] : std::string(); };
    Instrument which = Instrument::Source;
    bool on = false;
    double d = 0;
    if (w.size() == 1 || (w.size() == 2 && arg(1) == "show"))
        return lab.describe();
    if (w.size() == 2 && arg(1) == "clear") {
        lab.clearFaults();
        return "ok\n";
    }
    if ((arg(1) == "silent" || arg(1) == "error") && arg(2) == "switch" && !lab.hasSwitch())
        return "this laboratory has no switch (tcal-sim --units N has one)\n";
    if (w.size() == 4 && arg(1) == "silent" && toInstrument(arg(2), which) && toSwitch(arg(3), on)) {
        lab.setSilent(which, on);
        return "ok\n";
    }
    if (w.size() == 5 && arg(1) == "silent" && arg(2) == "meter" && toNumber(arg(3), d) && toSwitch(arg(4), on)
        && d == std::floor(d) && d >= 1 && d <= lab.unitMeterCount()) {
        lab.unitMeter(int(d))->setSilent(on);
        return "ok\n";
    }
    if (w.size() == 3 && arg(1) == "drift" && toNumber(arg(2), d)) {
        lab.setDrift(d);
        return "ok\n";
    }
    if (w.size() == 4 && arg(1) == "error" && toInstrument(arg(2), which) && toNumber(arg(3), d)
        && d == std::floor(d) && d != 0 && std::fabs(d) <= 32767) {
        lab.queueError(which, static_cast<int>(d));
        return "ok\n";
    }
    return {};
}

} // namespace sim
