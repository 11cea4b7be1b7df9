#pragma once
// What the batch keeps of each unit while it runs; shared by the batch's own
// files (orchestration, bench, settler, unit session, adjustment) only.

#include "automation/batch_run.h"
#include "automation/point_record.h"
#include "automation/settling.h"
#include "core/live_values.h"
#include "link/link.h"
#include "metrology/sensor.h"
#include "procedures/current_calibration.h"
#include "procedures/sensor_calibration.h"
#include "procedures/unit_binding.h"

#include <memory>
#include <optional>
#include <vector>

namespace autocal {

// The serial number field of an *IDN? answer.
QString serialOfIdentity(const QString &identity);

struct BatchRun::Unit {
    BatchUnit given;
    std::unique_ptr<rtu::OperationGuard> guard;
    proc::UnitBinding binding;
    metrology::Sensor sensor{};
    record::Range range;
    double resolution = 0.1;
    record::Header header;
    UnitOutcome outcome;
    bool live = false;
    // The point in progress.
    std::optional<SettlingWindow> window;
    rtu::ReadResult read;
    std::optional<reg::LiveValues> values;
    std::vector<double> repeatReadings, repeatCurrents;   // one mean per independent repeat
    QString stepFailure;   // what a side-by-side step of it threw
    double room = 0.0;
    // What it is, as read before the first point.
    std::optional<TransmitterSetup> setup;
    StepFailure setupFailure;
    // The adjustment in progress, through the procedures.
    std::unique_ptr<proc::SensorCalibration> input;
    std::unique_ptr<proc::CurrentCalibration> output;
    // Its loop's meter: the shared one behind its meter channel, or one of its own,
    // with that meter's terms for the current's budget and the instruments its records name.
    std::unique_ptr<instruments::Instrument> ownMeter;
    instruments::Instrument *meter = nullptr;
    QMap<QString, metrology::StandardCalibration> meterTerms;
    QVector<record::UsedInstrument> used;
    bool rtd() const { return !metrology::isThermocouple(sensor); }
};

} // namespace autocal
