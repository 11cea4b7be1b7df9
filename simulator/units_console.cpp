#include "units_console.h"

#include "console.h"
#include "scpi_console.h"
#include "scpi_server.h"
#include "units.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace sim {

namespace {

std::vector<std::string> words(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string word; in >> word;)
        w.push_back(word);
    return w;
}

bool toNumber(const std::string &s, double &out)
{
    char *end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return !s.empty() && end && *end == '\0' && std::isfinite(out);
}

// What follows the first `skip` words of `line`, as typed.
std::string rest(const std::string &line, size_t skip)
{
    std::istringstream in(line);
    std::string word;
    for (size_t i = 0; i < skip; ++i)
        in >> word;
    std::string tail;
    std::getline(in >> std::ws, tail);
    return tail;
}

std::string unitCommand(Units &units, int k, const std::string &line, const std::vector<std::string> &w)
{
    double a4 = 0, a20 = 0;
    if (w.size() == 4 && w[2] == "wiring" && (w[3] == "parallel" || w[3] == "routed")) {
        units.setWiring(k, w[3] == "parallel" ? UnitWiring::Parallel : UnitWiring::Routed);
        return "ok\n";
    }
    if (w.size() == 6 && w[2] == "output" && w[3] == "error" && toNumber(w[4], a4) && toNumber(w[5], a20)
        && std::fabs(a4) < 1 && std::fabs(a20) < 1) {
        UnitErrors e = units.errors(k);
        e.output = {a4, a20};
        units.setErrors(k, e);
        return "ok\n";
    }
    // Everything else is the unit's own console; "quit" there stops nothing.
    return runConsoleCommand(units.unit(k), rest(line, 2));
}

} // namespace

const char *unitsConsoleHelp()
{
    return "Batch commands (tcal-sim --units N):\n"
           "  units                    every unit: line, input, wiring, errors, loop current\n"
           "  unit K COMMAND           a unit's own command (set mv 20, fault silent on, power cycle ...)\n"
           "  unit K wiring parallel|routed  on the millivolt bus, or only through its source channel\n"
           "  unit K output error A4 A20     its output stage's error at 4 and 20 mA, mA\n"
           "  all COMMAND              the same command for every unit\n"
           "  scpi ...                 the calibrator, the meter and the switch (below)\n"
           "  help, quit\n"
           "Unit K: source channel 100+K, meter channel 200+K (and with --own-meters a\n"
           "meter of its own, 'scpi silent meter K on|off').\n\n";
}

std::string runUnitsCommand(Units &units, ScpiLab *lab, const std::string &line, bool *quit)
{
    const std::vector<std::string> w = words(line);
    if (w.empty())
        return {};
    if (w[0] == "help" || w[0] == "?")
        return std::string(unitsConsoleHelp()) + "Commands of one unit:\n" + consoleHelp();
    if (w[0] == "quit" || w[0] == "exit") {
        if (quit)
            *quit = true;
        return "bye\n";
    }
    if (w[0] == "units" && (w.size() == 1 || (w.size() == 2 && w[1] == "show")))
        return units.describe();
    if (w[0] == "scpi") {
        const std::string out = lab ? runScpiCommand(*lab, w) : std::string("no instruments (start with --scpi)\n");
        return out.empty() ? "unknown command (type 'help')\n" : out;
    }
    if (w[0] == "all" && w.size() > 1) {
        std::string out;
        for (int k = 1; k <= units.count(); ++k)
            out += "unit " + std::to_string(k) + ": " + runConsoleCommand(units.unit(k), rest(line, 1));
        return out;
    }
    char *end = nullptr;
    const long k = w.size() > 2 && w[0] == "unit" ? std::strtol(w[1].c_str(), &end, 10) : 0;
    if (end && *end == '\0' && k >= 1 && k <= units.count())
        return unitCommand(units, int(k), line, w);
    if (w[0] == "unit")
        return "unit K COMMAND, K from 1 to " + std::to_string(units.count()) + "\n";
    return "unknown command (type 'help'; a unit's command goes behind 'unit K' or 'all')\n";
}

} // namespace sim
