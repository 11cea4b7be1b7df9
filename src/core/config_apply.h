#pragma once
// Reading a configuration from a transmitter and applying one to it: write the
// differing fields only, store, read back and verify every field. Written once
// against RegisterBus for the window and the command-line tool alike.

#include "config_compare.h"
#include "register_bus.h"

namespace config {

struct DeviceRead {
    std::optional<Configuration> config;
    core::BusError error;
};
DeviceRead readConfiguration(core::RegisterBus &bus);

enum class ApplyOutcome {
    Verified,
    ReadFailed,       // nothing written: the device could not be read first
    WriteRefused,     // the transmitter refused a register; nothing stored
    WriteFailed,      // a write got no answer; nothing stored
    StoreFailed,
    ReadBackFailed,
    Mismatch,         // stored, but a field reads back different
};

struct ApplyReport {
    ApplyOutcome outcome = ApplyOutcome::ReadFailed;
    int registersWritten = 0;
    QVector<int> refused;              // registers the transmitter refused
    QVector<FieldComparison> checks;   // the device after the store against the file
    std::optional<Configuration> readBack;
    core::BusError error;

    bool verified() const { return outcome == ApplyOutcome::Verified; }
};

ApplyReport applyConfiguration(core::RegisterBus &bus, const Configuration &target);

// One line for the operator, in language 0..2 (English otherwise).
QString applySummary(const ApplyReport &report, int language);
// "holding 5 (filter)"
QString registerName(int address);

} // namespace config
