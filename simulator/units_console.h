// Console commands of a batch (tcal-sim --units N): each unit's own commands
// behind "unit K", the same for every unit behind "all", the laboratory's
// "scpi ..." as in a single-unit run.
#pragma once

#include <string>

namespace sim {

class Units;
class ScpiLab;

const char *unitsConsoleHelp();
std::string runUnitsCommand(Units &units, ScpiLab *lab, const std::string &line, bool *quit = nullptr);

} // namespace sim
