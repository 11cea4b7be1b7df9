#pragma once
// Every text of the automatic calibration tab in the three languages, as data.

#include "automation/auto_calibration.h"

#include <QString>

namespace autotext {

enum class Text {
    TabTitle,
    SourceGroup,
    MeterGroup,
    Address,
    Model,
    Identify,
    ProcedureGroup,
    ProcedureFile,
    Browse,
    Points,
    Tolerance,
    Tag,
    Serial,
    Start,
    Abort,
    PhaseHeader,
    PointHeader,
    ReferenceHeader,     // %1 unit
    SignalHeader,
    ReadingHeader,       // %1 unit
    ErrorHeader,         // %1 unit
    UncertaintyHeader,   // %1 unit
    CurrentHeader,
    VerdictHeader,
    Pass,
    Fail,
    AsFound,
    AsLeft,
    Adjusting,
    Preparing,
    Finishing,
    Settling,            // %1 samples in the band, %2 needed
    Passed,
    Failed,
    Aborted,             // %1 reason
    Refused,             // %1 reason
    CertificateDraft,    // %1 path
    NoCertificate,       // %1 reason
    OpenCertificate,
    ChartTitle,
    ChartError,          // %1 unit
    ChartTolerance,
    StoppedByOperator,
    Busy,
    NotIdentified,       // %1 reason
    SerialNeeded,
    Standards,
    EnvironmentGroup,
    Optional,
    OtherRun,            // %1 what runs
    WindowClosed,
    StepInputPoint,      // %1 signal, %2 unit
    StepStoringInputs,
    StepOutput4mA,
    StepOutput20mA,
    SerialMissing,
    NoPerformer,         // no unlocked performer to sign the records
    Count
};

QString text(Text which, int language);
// An adjustment step of the engine, in `language`.
QString stepText(const autocal::AdjustmentStep &step, int language);

} // namespace autotext
