#include "model.h"

#include "sensor_tables.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sim {
namespace model {

HoldingImage defaultHolding()
{
    HoldingImage h{};
    h[0] = 0;        // type K
    h[1] = 10000;    // 1000.0
    h[2] = 0;        // 0.0
    h[3] = 0xA5C3;   // top bit set, so a signed misreading shows
    h[4] = 0;
    h[5] = 1;        // filter
    h[6] = 0;        // degC
    h[7] = 0;
    h[8] = 10;       // gain 1.0
    h[9] = kTrimNeutral;
    h[10] = kTrimNeutral;
    h[11] = 4012;    // the output stage's own error, already calibrated
    h[12] = 19975;
    h[13] = 4800;
    fromInt32(adcFromMillivolts(50.0), h[15], h[16]);
    fromInt32(adcFromMillivolts(0.0), h[17], h[18]);
    fromInt32(adcFromOhms(100.0), h[19], h[20]);
    fromInt32(adcFromOhms(200.0), h[21], h[22]);
    return h;
}

bool isRtd(uint16_t inputType)
{
    return inputType == 32 || inputType == 33;
}

int32_t toInt32(uint16_t high, uint16_t low)
{
    return static_cast<int32_t>((static_cast<uint32_t>(high) << 16) | low);
}

void fromInt32(int32_t v, uint16_t &high, uint16_t &low)
{
    const auto u = static_cast<uint32_t>(v);
    high = static_cast<uint16_t>(u >> 16);
    low = static_cast<uint16_t>(u & 0xFFFF);
}

static int32_t saturate(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = std::round(v);
    if (r >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (r <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

int32_t adcFromMillivolts(double mv)
{
    return saturate(kTcZeroCounts + kTcCountsPerMv * mv);
}

int32_t adcFromOhms(double ohm)
{
    return saturate(kRtdZeroCounts + kRtdCountsPerOhm * ohm);
}

double millivoltsFromAdc(int32_t adc, int32_t adc50mV, int32_t adc0mV)
{
    const double span = static_cast<double>(adc50mV) - adc0mV;
    if (span == 0.0)
        return 0.0;
    return 50.0 * (static_cast<double>(adc) - adc0mV) / span;
}

double ohmsFromAdc(int32_t adc, int32_t adc100, int32_t adc200)
{
    const double span = static_cast<double>(adc200) - adc100;
    if (span == 0.0)
        return 100.0;
    return 100.0 + 100.0 * (static_cast<double>(adc) - adc100) / span;
}

double roomCelsius(double ambient, uint16_t offsetWord, uint16_t gainWord)
{
    return ambient * (gainWord / 10.0) + static_cast<int16_t>(offsetWord) / 100.0;
}

// degC through the standard table of the input type; `linear` where the input
// lies outside the table.
static double standardCelsius(const HoldingImage &h, int32_t adc, double room, double linear)
{
    if (isRtd(h[0])) {
        const double ohm = ohmsFromAdc(adc, toInt32(h[19], h[20]), toInt32(h[21], h[22]));
        return h[0] == 32 ? tables::pt100Celsius(ohm) : tables::cu50Celsius(ohm);
    }
    const auto junction = tables::emfMv(h[0], room);
    if (!junction)
        return linear;
    const double mv = millivoltsFromAdc(adc, toInt32(h[15], h[16]), toInt32(h[17], h[18]));
    return tables::celsiusFromEmf(h[0], mv + *junction).value_or(linear);
}

double measuredTemperature(const HoldingImage &h, int32_t adc, double room, Curves curves)
{
    double celsius;
    if (h[0] == 32) {
        celsius = (ohmsFromAdc(adc, toInt32(h[19], h[20]), toInt32(h[21], h[22])) - 100.0) / 0.385;
    } else if (h[0] == 33) {
        celsius = (ohmsFromAdc(adc, toInt32(h[19], h[20]), toInt32(h[21], h[22])) - 50.0) / 0.214;
    } else {
        celsius = millivoltsFromAdc(adc, toInt32(h[15], h[16]), toInt32(h[17], h[18])) / kTcMvPerDegree
                + room;
    }
    if (curves == Curves::Standard && tables::hasStandardCurve(h[0]))
        celsius = standardCelsius(h, adc, room, celsius);
    double t = h[6] == 1 ? celsius * 9.0 / 5.0 + 32.0 : celsius;
    return t + static_cast<int16_t>(h[4]) / 100.0;
}

int32_t scaled(double value, uint16_t decimalCode)
{
    const double factor = decimalCode <= 4 ? std::pow(10.0, decimalCode) : 1.0;
    return saturate(value * factor);
}

int32_t adcFor(const HoldingImage &h, const Environment &env)
{
    return isRtd(h[0]) ? adcFromOhms(env.ohms) : adcFromMillivolts(env.millivolts);
}

InputImage evaluateInputs(const HoldingImage &h, const Environment &env)
{
    InputImage in{};
    const int32_t adc = adcFor(h, env);
    const double room = roomCelsius(env.ambient, h[7], h[8]);
    const double temp = measuredTemperature(h, adc, room, env.curves);
    fromInt32(scaled(temp, env.decimalCode), in[3], in[4]);
    fromInt32(scaled(room, env.decimalCode), in[5], in[6]);
    fromInt32(adc, in[7], in[8]);
    in[9] = h[51] == 3 ? h[9] : h[51] == 4 ? h[10] : 0;
    in[11] = env.decimalCode;
    in[12] = static_cast<uint16_t>(env.reportedMode);
    return in;
}

// What the output stage really drives for a nominal current.
static double rawOutput(double nominal, OutputError e)
{
    return nominal + e.at4 + (e.at20 - e.at4) * (nominal - 4.0) / 16.0;
}

// Output for a wanted current, corrected with the measured points and trimmed.
static double correctedOutput(const HoldingImage &h, double wanted, OutputError e)
{
    const double trim4 = (static_cast<int>(h[9]) - kTrimNeutral) * 0.001;
    const double trim20 = (static_cast<int>(h[10]) - kTrimNeutral) * 0.001;
    const double target = wanted + trim4 + (trim20 - trim4) * (wanted - 4.0) / 16.0;
    const double m4 = h[11] / 1000.0, m20 = h[12] / 1000.0;
    double nominal = target;
    if (m4 > 2.0 && m4 < 6.0 && m20 > 16.0 && m20 < 24.0)
        nominal = 4.0 + (target - m4) * 16.0 / (m20 - m4);
    return rawOutput(nominal, e);
}

double loopCurrentMa(const HoldingImage &h, int workMode, double temperature, OutputError e)
{
    if (workMode == 4) {
        switch (h[51]) {
        case 1: return rawOutput(4.0, e);
        case 2: return rawOutput(20.0, e);
        case 3: return correctedOutput(h, 4.0, e);
        case 4: return correctedOutput(h, 20.0, e);
        default: break;
        }
    }
    const double high = static_cast<int16_t>(h[1]) / 10.0;
    const double low = static_cast<int16_t>(h[2]) / 10.0;
    double wanted = high == low ? 4.0 : 4.0 + 16.0 * (temperature - low) / (high - low);
    wanted = std::clamp(wanted, 3.8, 20.5);
    return correctedOutput(h, wanted, e);
}

int bitsPerCharacter(int dataBits, char parity, int stopBits)
{
    const bool hasParity = parity != 'N' && parity != 'n';
    return 1 + dataBits + (hasParity ? 1 : 0) + stopBits;
}

double lineTimeMs(int requestBytes, int replyBytes, int baud, int bitsPerChar)
{
    if (baud <= 0)
        return 0.0;
    const double chars = requestBytes + replyBytes + 2 * 3.5;
    return chars * bitsPerChar * 1000.0 / baud;
}

int replyLength(int function, int count)
{
    switch (function) {
    case 3:
    case 4: return 5 + 2 * count;
    case 6:
    case 16: return 8;
    default: return 5;
    }
}

int requestLength(int function, int count)
{
    return function == 16 ? 9 + 2 * count : 8;
}

uint16_t crc16(const uint8_t *data, int length)
{
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

} // namespace model
} // namespace sim
