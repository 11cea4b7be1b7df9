// Text commands of the tcal-sim console (read from standard input).
#pragma once

#include <string>

namespace sim {

class Simulator;

const char *consoleHelp();

// Runs one command line and returns what to print. Sets *quit on "quit".
std::string runConsoleCommand(Simulator &s, const std::string &line, bool *quit = nullptr);

} // namespace sim
