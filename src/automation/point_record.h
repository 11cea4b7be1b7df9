#pragma once
// What the single run and the batch share about one transmitter: reading what
// it is (sensor, range, resolution, mode) with the plan checked against its
// range, and turning a point's settled samples into the recorded point with
// both columns' budgets. The verdicts are then decide()'s, from the header
// this fills in and the uncertainties recorded here; no run judges on its own.

#include "automation/auto_calibration.h"
#include "automation/run_plan.h"
#include "automation/settling.h"
#include "instruments/model.h"
#include "metrology/point_budget.h"
#include "metrology/sensor.h"
#include "record/calibration_record.h"

#include <QMap>
#include <QString>
#include <optional>
#include <vector>

namespace rtu {
class Link;
}

namespace autocal {

// Why a step could not be taken, and what it is owed to.
struct StepFailure {
    QString reason;
    RunResult::Cause cause = RunResult::Cause::Transmitter;
};

struct TransmitterSetup {
    metrology::Sensor sensor{};
    record::Range range;
    double resolution = 0.1;
    std::optional<double> room;   // its cold-junction sensor's reading, when it sends one
};

// Reads the transmitter on `link`, refuses what no run can calibrate (no
// reference function, not °C, no range, not in normal mode) and a plan its
// range cannot take, and fills in `header`: range, resolution, unit, address,
// input type, and the plan's tolerances, decision rule and name.
std::optional<TransmitterSetup> readTransmitterSetup(rtu::Link &link, const RunPlan &plan, record::Header &header,
                                                     StepFailure &failure);

// What every point of one unit's check is measured with.
struct PointSetup {
    const TransmitterSetup &transmitter;
    const RunPlan &plan;
    const instruments::Model &source;
    const instruments::Model &meter;
    QMap<QString, metrology::StandardCalibration> sourceTerms;   // by function, from the standard's certificate
    QMap<QString, metrology::StandardCalibration> meterTerms;
};

// The room may move this far before a thermocouple's signal is set again.
constexpr double kColdJunctionStep = 0.1;

// `point` recorded at `celsius` from the settled `window` (`sourced` mV or
// ohm at cold junction `room`): its reading, current, and the temperature's
// and current's budgets. With independent repeats, Type A is theirs (one mean
// each). nullopt on success; else the point is left as it was.
std::optional<StepFailure> recordPoint(record::Point &point, const PointSetup &setup, double celsius, double room,
                                       double sourced, const SettlingWindow &window,
                                       const std::vector<double> &repeatReadings = {},
                                       const std::vector<double> &repeatCurrents = {});

} // namespace autocal
