// Text commands of the tcal-sim console (read from standard input).
#pragma once

#include <string>

namespace sim {

class Simulator;
class ScpiLab;

const char *consoleHelp();

// Runs one command line and returns what to print. Sets *quit on "quit".
// "scpi ..." commands go to `lab` when there is one.
std::string runConsoleCommand(Simulator &s, const std::string &line, bool *quit = nullptr,
                              ScpiLab *lab = nullptr);

} // namespace sim
