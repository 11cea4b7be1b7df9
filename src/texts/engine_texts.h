#pragma once
// The calibration engine's reasons, steps and notes as data. The engine writes
// them in English from this table (tcal-cli prints them so); the window shows
// them in its language through render().

#include <QString>

namespace enginetext {

enum class Id {
    CouldNotBeWritten,
    UnitInputPoints,
    InputPoints,
    UnitOutputPoints,
    OutputPoints,
    NotMeterModel,
    OutsideSensorOrSource,
    UnitLeaveInputMode,
    LeaveInputMode,
    UnitLeaveOutputMode,
    LeaveOutputMode,
    RtdOwnChannel,
    UnknownError,
    OperationRunning,
    LinkBusy,
    BothChecksNeeded,
    NoAnswer,
    NoDrive4mA,
    NoEnterInputMode,
    NoTake4mA,
    NoTakeInputPoint,
    LeftNormalMode,
    LostCapturedPoint,
    UnshownReading,
    InputNotSettled,
    InputsNotStored,
    RangeDiffers,
    LineNotOpen,
    LinkClosed,
    LoopNotSettled,
    OutputsNotStored,
    OwnMeterNamed,
    OwnMeter,
    ReadingNotSettled,
    StepFailed,
    NoRecordsForCertificate,
    NoReferenceForPoint,
    NoSignalFor,
    NoSignalNewJunction,
    NoUncertaintyFor,
    NoUnitCalibrated,
    PointFailed,
    TheInstrument,
    EnvironmentInstrument,
    AdjustmentEndedEarly,
    EnvironmentFailed,
    LinkNotOpen,
    NoSwitch,
    MeterOnLoop,
    MeterNoRange,
    MeterFailed,
    SourceNotOff,
    SourceNoRange,
    SourceFailed,
    SwitchMeterChannel,
    SwitchSourceChannel,
    SwitchRoutesOpen,
    SwitchFailed,
    NotCelsius,
    NotNormalMode,
    ParametersNotRead,
    RangeNotRange,
    ReadingUnshown,
    ReadingsNotRead,
    RoomReadingUnshown,
    SerialNeeded,
    NoReferenceFunction,
    Unit,
    PointsNotNumber,
    PointsMixed,
    ToleranceNotNumber,
    PointsCount,
    Count
};

// The English template of `id`, with its %1, %2 for QString::arg.
QString english(Id id);
// The template of `id` in language 0 (Simplified), 1 (Traditional Chinese) or 2 (English);
// empty outside 0..2.
QString text(Id id, int language);
// An English text the engine composed from this table, in `language`: the template that
// matches it, with each argument rendered in turn. A text no template matches (a number,
// a path, an instrument's own reply) comes back as it is.
QString render(const QString &english, int language);

} // namespace enginetext
