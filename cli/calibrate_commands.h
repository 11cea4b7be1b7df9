#pragma once
// tcal-cli calibrate: the window's calibration procedures from a terminal,
// with a meter and a reference source in the technician's hands.

#include "output.h"

namespace cli {

extern const char kCalibrateHelp[];

// calibrate current | calibrate input thermocouple|rtd
int calibrate(const Invocation &inv, Output &o);

} // namespace cli
