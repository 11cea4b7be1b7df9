#include "core/live_values.h"

#include "core/registers.h"

namespace reg {

std::optional<int> temperatureDivisor(bool haveDecimalCode, quint16 decimalCode)
{
    if (!haveDecimalCode || decimalCode == 0)
        return 1;
    if (decimalCode == 1)
        return 10;
    if (decimalCode == 2)
        return 100;
    return std::nullopt;
}

std::optional<qint64> roomOffsetHundredths(qint64 targetHundredths, qint32 readingRaw,
                                           std::optional<int> divisor)
{
    if (!divisor || *divisor <= 0 || 100 % *divisor != 0)
        return std::nullopt;
    const qint64 offset = targetHundredths - qint64(readingRaw) * (100 / *divisor);
    if (offset < -32768 || offset > 32767)
        return std::nullopt;
    return offset;
}

LiveValues decodeLiveValues(const QVector<quint16> &words, const QDateTime &time)
{
    LiveValues v;
    v.time = time;
    v.words = words;
    const bool haveCode = words.size() > kDecimalPlaces;
    if (haveCode)
        v.decimalCode = words.at(kDecimalPlaces);
    if (words.size() > kWorkModeStatus)
        v.workMode = words.at(kWorkModeStatus);
    v.adc = value32(words, kAdcValue);
    if (const auto divisor = temperatureDivisor(haveCode, word(words, kDecimalPlaces))) {
        v.measured = value32(words, kMeasuredTemperature) / double(*divisor);
        v.room = value32(words, kRoomTemperature) / double(*divisor);
    }
    return v;
}

} // namespace reg
