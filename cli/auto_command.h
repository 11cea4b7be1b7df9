#pragma once
// tcal-cli calibrate auto: the unattended calibration with a SCPI calibrator
// and meter, progress as lines (JSON lines with --json).

#include "output.h"

#include "automation/run_records.h"

#include <optional>

namespace recordsdb {
class RecordDb;
}

namespace cli {

extern const char kAutoHelp[];

int calibrateAuto(const Invocation &inv, Output &o);

// Where a run's checks go, for calibrate auto and batch alike: `db` opened in the
// records folder and the operator's key unlocked once, before any line is
// touched; nullopt with `status` the exit code of what failed.
std::optional<autocal::RunRecords> runRecords(recordsdb::RecordDb &db, const Invocation &inv, Output &o, int &status);

} // namespace cli
