#pragma once
// The room-temperature (cold-junction) offset against a reference: the word
// holding 7 must hold so that the room temperature, read with the offset
// cleared, shows the reference. SensorCalibration::calibrateRoom() writes it
// as a step of the thermocouple calibration.

#include <QVector>
#include <optional>

namespace proc {

// `input`: the input block read with the offset cleared; `referenceHundredths`
// in 0.01 °C. None when the block is short, its decimal code unknown, or the
// offset is one the register cannot hold: never a wrapped word.
std::optional<quint16> roomOffsetWord(qint64 referenceHundredths, const QVector<quint16> &input);

} // namespace proc
