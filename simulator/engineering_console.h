// Console commands of the engineering-unit input and the input-stage error.
#pragma once

#include <string>
#include <vector>

namespace sim {

class Simulator;

// "set error gain G offset X" (either part may be left out) or "set error off";
// `words` is the whole command. False when it does not parse.
bool runErrorCommand(Simulator &s, const std::vector<std::string> &words);

// "curves standard" or "curves linear". False when it does not parse.
bool runCurvesCommand(Simulator &s, const std::vector<std::string> &words);

// Lines for "show state": the applied degC and the error in force.
std::string describeEngineeringInput(const Simulator &s);

} // namespace sim
