#pragma once
// The transmitter's register map and every value encoding the tool uses.
// Plain data and functions: no widgets, no bus.

#include <QString>
#include <QVector>
#include <QtGlobal>
#include <optional>

namespace reg {

// Blocks, always read whole from address 0.
constexpr int kHoldingCount = 64;
constexpr int kInputCount = 13;

// Holding registers.
constexpr int kInputType = 0;
constexpr int kUpperRange = 1;
constexpr int kLowerRange = 2;
constexpr int kZeroOffset = 4;
constexpr int kFilterCoefficient = 5;
constexpr int kUnit = 6;
constexpr int kRoomZeroOffset = 7;
constexpr int kRoomGain = 8;
constexpr int kTrim4mA = 9;
constexpr int kTrim20mA = 10;
constexpr int kMeasured4mA = 11;
constexpr int kMeasured20mA = 12;
constexpr int kDeviceBaudRate = 13;
constexpr int kTc50mVPoint = 15;
constexpr int kTc0mVPoint = 17;
constexpr int kRtd100RPoint = 19;
constexpr int kRtd200RPoint = 21;
constexpr int kWorkModeCommand = 50;
constexpr int kCurrentCommand = 51;
constexpr int kStoreCommand = 62;

constexpr int kParameterBlockCount = 9;   // holding 0..8
constexpr quint16 kStoreValue = 321;

// Input registers.
constexpr int kMeasuredTemperature = 3;   // 3-4
constexpr int kRoomTemperature = 5;       // 5-6
constexpr int kAdcValue = 7;              // 7-8
constexpr int kPresentTrim = 9;
constexpr int kDecimalPlaces = 11;
constexpr int kWorkModeStatus = 12;

// Work modes (holding 50 / input 12), equal to the function-group numbers.
enum WorkMode : quint16 {
    ModeNone = 0,
    ModeParameters = 1,
    ModeThermocouple = 2,
    ModeRtd = 3,
    ModeCurrentOutput = 4,
};

// Current-output commands (holding 51).
enum CurrentCommand : quint16 {
    Drive4mA = 1,
    Drive20mA = 2,
    Trim4mA = 3,
    Trim20mA = 4,
};

// A register a short reply does not carry reads as 0.
quint16 word(const QVector<quint16> &values, int index);

// 32-bit value, high word at the lower address, signed.
inline qint32 join32(quint16 high, quint16 low)
{
    return qint32((quint32(high) << 16) | quint32(low));
}
qint32 value32(const QVector<quint16> &values, int index);

// Scaled signed 16-bit values shown with 1 or 2 decimals.
QString tenthsText(quint16 word);
QString hundredthsText(quint16 word);

// Temperatures of the input block as the live display shows them: `decimalCode`
// 0 plain integer, 1 tenths, 2 hundredths, anything else an empty text; with
// `haveDecimalCode` false (short reply) the plain integer.
QString temperatureText(qint32 raw, bool haveDecimalCode, quint16 decimalCode);

// Code tables: combo index <-> register value; nullopt when there is no entry.
std::optional<int> inputTypeIndex(quint16 code);
std::optional<quint16> inputTypeCode(int index);
std::optional<int> unitIndex(quint16 code);
std::optional<quint16> unitCode(int index);
// "°C" or "°F" for a unit code; empty for a code the tool has no name for.
QString unitSymbol(quint16 code);
int filterIndex(quint16 value);          // value - 1
int roomGainIndex(quint16 value);        // value - 5
quint16 roomGainValue(int index);        // index + 5

} // namespace reg
