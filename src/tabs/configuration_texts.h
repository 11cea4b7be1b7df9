#pragma once
// Every text of the configuration tab in the three languages, as data.

#include <QString>

namespace configtext {

enum class Text {
    TabTitle,
    ReadButton,
    OpenButton,
    SaveButton,
    CompareButton,
    ApplyButton,
    TagLabel,
    DescriptionLabel,
    NoFile,
    FileLabel,          // %1 path
    FieldHeader,
    DeviceHeader,
    FileHeader,
    StateHeader,
    Equal,
    Differs,
    Verified,
    ReadDone,           // %1 address
    ReadFailed,         // %1 reason
    Saved,              // %1 path
    SaveFailed,         // %1 reason
    FileRefused,        // %1 reason
    NeedFile,
    CompareEqual,
    CompareDiffers,     // %1 count
    FileFilter,
    IncludeCalibration,
    CalibrationLeftAlone,
    CompareSettingsEqual,   // %1 count of differing calibration fields
    ConfirmTitle,
    ConfirmCalibration,     // %1 field list, %2 origin note
    SameUnitNote,           // %1 address
    OtherUnitNote,          // %1 file's address, %2 this address
    ApplyRunning,
    OperationRunning,
    Count
};

// Text in language 0..2; English for any other index.
QString text(Text t, int language);

} // namespace configtext
