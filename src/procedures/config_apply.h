#pragma once
// Reading a configuration from a transmitter and applying one to it, all or
// nothing: read everything first, write the differing fields in scope, read
// back and verify, and store only when every field verified. On any refusal,
// silence or mismatch the values read at the start are written back and read
// back, and the report says what the transmitter holds now. Written once
// against RegisterBus for the window and the command-line tool alike.

#include "core/config_compare.h"
#include "core/register_bus.h"
#include "procedures/transaction.h"

namespace config {

struct DeviceRead {
    std::optional<Configuration> config;
    core::BusError error;
};
DeviceRead readConfiguration(core::RegisterBus &bus);

enum class ApplyOutcome {
    Verified,
    ReadFailed,       // nothing written: the device could not be read first
    WriteRefused,     // the transmitter refused a register
    WriteFailed,      // a write got no answer
    StoreFailed,
    ReadBackFailed,
    Mismatch,         // a field read back different before the store
};

// What a failed apply left behind.
enum class RestoreOutcome {
    NotNeeded,        // verified, or nothing was written
    Restored,         // RAM and stored image hold the values read at the start
    Incomplete,       // `unrestored` names the registers that do not
    StoredImageUnknown,   // RAM restored; a store that got no answer could not be undone
    StoredAgain,      // put back and stored again over a store that may have taken
};

struct ApplyOptions {
    bool includeCalibration = false;   // settings only unless asked
    // When not empty: exactly the fields at these addresses, settings or
    // calibration (the window's parameter page).
    QVector<int> only;
    QString procedure = QStringLiteral("configuration apply");   // the writer, for the link's ledger
    // Store even when no field differs: RAM may hold what the stored image does not.
    bool storeUnchanged = false;
};

struct ApplyReport {
    ApplyOutcome outcome = ApplyOutcome::ReadFailed;
    RestoreOutcome restore = RestoreOutcome::NotNeeded;
    int registersWritten = 0;
    bool storeSent = false;            // the store command was sent and answered
    QVector<int> refused;              // registers the transmitter refused
    QVector<int> unrestored;           // registers not back at their first value
    QVector<FieldComparison> checks;   // the fields in scope, device read back against the file
    std::optional<Configuration> checked;    // the read-back `checks` compare
    std::optional<Configuration> readBack;   // the device as last read (after a restore, restored)
    core::BusError error;
    proc::Outcome stored;              // what RAM and the stored image hold
    proc::Aftermath aftermath;         // what a failure put back, as the transaction says it

    bool verified() const { return outcome == ApplyOutcome::Verified; }
};

// Fields an apply writes: the settings, and the calibration when included.
bool inScope(const FieldDef &f, const ApplyOptions &options);

// `holding`, when given, is the block the caller has just read whole; otherwise it is read here.
ApplyReport applyConfiguration(core::RegisterBus &bus, const Configuration &target,
                               const ApplyOptions &options = {}, const QVector<quint16> *holding = nullptr);

// One line for the operator, in language 0..2 (English otherwise).
QString applySummary(const ApplyReport &report, int language);
// "holding 5 (filter)"
QString registerName(int address);

} // namespace config
