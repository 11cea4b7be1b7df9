// Console commands of the simulated calibration laboratory ("scpi ...").
#pragma once

#include <string>
#include <vector>

namespace sim {

class ScpiLab;

// Lines for the console's help text.
const char *scpiConsoleHelp();

// `words` is the whole command, starting with "scpi". What to print, or an
// empty string when it does not parse.
std::string runScpiCommand(ScpiLab &lab, const std::vector<std::string> &words);

} // namespace sim
