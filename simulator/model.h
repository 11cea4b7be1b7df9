// Live-value model of the simulated transmitter: pure functions, no I/O.
//
// The model is deliberately linear; it only has to behave like a transmitter
// from the outside, not like real sensor physics.
//
//   Converter (ADC), with a small built-in zero error:
//     thermocouple input (holding 0 = 0..9, and any code that is not an RTD):
//       adc = round(120 + 2000 * mV)          50 mV -> 100120, 0 mV -> 120,
//                                             -5 mV -> -9880 (negative)
//     RTD input (holding 0 = 32 PT100, 33 Cu50):
//       adc = round(250 + 1000 * ohm)         100 ohm -> 100250, 200 ohm -> 200250
//
//   Calibration points (holding 15-16 / 17-18: ADC at 50 mV / 0 mV,
//   holding 19-20 / 21-22: ADC at 100 / 200 ohm; 32-bit, high word first)
//   turn the ADC value back into the input quantity:
//     mV  = 50 * (adc - adc0mV) / (adc50mV - adc0mV)
//     ohm = 100 + 100 * (adc - adc100) / (adc200 - adc100)
//   Two equal points give 0 mV / 100 ohm instead of a division by zero.
//
//   Room (cold-junction) temperature in degC:
//     room = ambient * (holding 8 / 10) + (int16)holding 7 / 100
//
//   Measured temperature in degC:
//     thermocouple: mV / 0.040 + room        (40 uV/degC, cold-junction compensated)
//     PT100:        (ohm - 100) / 0.385
//     Cu50:         (ohm - 50) / 0.214
//   or, with the standard curves switched on (Environment::curves), through the
//   tables of sensor_tables.h for the types that have one: thermocouple
//   t = E^-1(mV + E(room)), PT100 by Callendar-Van Dusen, Cu50 by its line;
//   then, if holding 6 = 1, converted to degF (t * 9 / 5 + 32); finally the zero
//   offset (int16)holding 4 / 100 is added, in the unit shown.
//
//   Inputs 3-4 (measured) and 5-6 (room) carry round(value * 10^code), code being
//   the decimal-places code in input 11 (0..4; larger codes scale by 1), as a
//   signed 32-bit value, high word first. Inputs 7-8 carry the ADC value the same
//   way. Input 9 is holding 9 while holding 51 = 3, holding 10 while it is 4, else 0.
//
//   Loop current in mA: the output stage has a built-in error of +0.012 mA at
//   4 mA and -0.025 mA at 20 mA (linear in between). Holding 11/12 (the currents
//   measured at the 4/20 mA points, in uA) let the transmitter correct it; the
//   trims in holding 9/10 (4096 = neutral, 1 uA per count) shift the 4/20 mA end.
//     mode 4, command 1: the raw 4 mA point    (4.012 mA)
//     mode 4, command 2: the raw 20 mA point   (19.975 mA)
//     mode 4, command 3: corrected 4 mA  + trim 4 mA
//     mode 4, command 4: corrected 20 mA + trim 20 mA
//     otherwise: 4..20 mA over the range holding 2 (low) .. holding 1 (high),
//     both signed tenths, clamped to 3.8..20.5 mA, corrected and trimmed.
#pragma once

#include <array>
#include <cstdint>

namespace sim {

using HoldingImage = std::array<uint16_t, 64>;
using InputImage = std::array<uint16_t, 13>;

namespace model {

constexpr int kHoldingCount = 64;
constexpr int kInputCount = 13;

// How the transmitter turns its input into degC: the straight lines above, or
// the standard tables (a type without one keeps its line).
enum class Curves { Linear, Standard };

constexpr double kTcZeroCounts = 120.0;
constexpr double kTcCountsPerMv = 2000.0;
constexpr double kRtdZeroCounts = 250.0;
constexpr double kRtdCountsPerOhm = 1000.0;
constexpr double kTcMvPerDegree = 0.040;
constexpr uint16_t kTrimNeutral = 4096;

HoldingImage defaultHolding();

bool isRtd(uint16_t inputType);

int32_t toInt32(uint16_t high, uint16_t low);
void fromInt32(int32_t v, uint16_t &high, uint16_t &low);

int32_t adcFromMillivolts(double mv);
int32_t adcFromOhms(double ohm);
double millivoltsFromAdc(int32_t adc, int32_t adc50mV, int32_t adc0mV);
double ohmsFromAdc(int32_t adc, int32_t adc100, int32_t adc200);

double roomCelsius(double ambient, uint16_t offsetWord, uint16_t gainWord);

// Measured temperature in the unit of holding 6, zero offset applied.
double measuredTemperature(const HoldingImage &h, int32_t adc, double room,
                           Curves curves = Curves::Linear);

// Value scaled by the decimal-places code, rounded, saturated to 32 bits.
int32_t scaled(double value, uint16_t decimalCode);

struct Environment {
    double millivolts = 4.0;
    double ohms = 138.5;
    double ambient = 23.5;
    uint16_t decimalCode = 1;
    int reportedMode = 0;
    Curves curves = Curves::Linear;
};

int32_t adcFor(const HoldingImage &h, const Environment &env);
InputImage evaluateInputs(const HoldingImage &h, const Environment &env);

// The output stage's own error at the 4 and 20 mA ends (linear in between);
// the default image's measured points (holding 11/12) correct the default one.
struct OutputError {
    double at4 = 0.012;
    double at20 = -0.025;
};

double loopCurrentMa(const HoldingImage &h, int workMode, double temperature, OutputError error = {});

// Bits one character takes: start, data, parity, stop.
int bitsPerCharacter(int dataBits, char parity, int stopBits);
// Time a request and its reply occupy a real line: `bitsPerChar` bits per
// character and a 3.5-character gap after each frame.
double lineTimeMs(int requestBytes, int replyBytes, int baud, int bitsPerChar = 11);
// Length of the normal reply to a request (function, count); exception = 5.
int replyLength(int function, int count);
int requestLength(int function, int count);

uint16_t crc16(const uint8_t *data, int length);

} // namespace model
} // namespace sim
