#pragma once
// tcal-cli calibrate batch: the transmitters of a channel map calibrated in one
// run on one calibrator, one meter and a switch; progress per unit (JSON lines
// naming their unit with --json) and each unit's outcome in the summary.

#include "output.h"

namespace cli {

extern const char kBatchHelp[];

int calibrateBatch(const Invocation &inv, Output &o);

} // namespace cli
