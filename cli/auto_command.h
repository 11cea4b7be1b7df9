#pragma once
// tcal-cli calibrate auto: the unattended calibration with a SCPI calibrator
// and meter, progress as lines (JSON lines with --json).

#include "output.h"

namespace cli {

extern const char kAutoHelp[];

int calibrateAuto(const Invocation &inv, Output &o);

} // namespace cli
