#pragma once
// Texts of the laboratory's workflow between tabs (the due list handing units
// to a batch, a run's link to its records row, the record tab's remaining
// actions) in the three languages: 0 Simplified Chinese, 1 Traditional
// Chinese, 2 English.

#include <QString>

namespace labtext {

enum class Text {
    StartBatch, SelectOne, SelectSeveral, HandedBatch, FieldsRemain, UnitRemains,
    FieldPort, FieldChannels, FieldSerial, MapUnreadable,
    OpenInRecords, NotInRecords,
    TextCount
};

// The text in `language`; English for an index outside 0..2.
QString text(Text id, int language);

} // namespace labtext
