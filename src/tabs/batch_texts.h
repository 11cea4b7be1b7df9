#pragma once
// The texts of the Batch view in the three languages, as data. Words it
// shares with the automatic calibration (instruments, procedure, Start,
// Abort) are that tab's (auto_calibration_texts.h).

#include "automation/batch_progress.h"

#include <QString>

namespace batchtext {

enum class Text {
    TabTitle,
    SwitchGroup,
    BatchGroup,
    MapFile,
    UnitHeader,
    SerialHeader,
    PointHeader,        // %1 point number
    OutcomeHeader,
    CertificateHeader,
    Open,
    Legend,
    Done,               // %1 percent
    Remaining,          // %1 minutes, %2 seconds
    Passed,
    Failed,
    Ended,              // %1 reason
    NotCalibrated,
    Measuring,          // %1 as found / as left
    Adjusting,          // %1 step
    Summary,            // %1 passed, %2 units
    BatchEnded,         // %1 reason
    NotMeasured,
    Pass,
    Fail,
    CannotPass,
    CellTip,            // %1 as found, %2 as left
    Count
};

QString text(Text which, int language);
QString stateText(autocal::CellState state, int language);

} // namespace batchtext
