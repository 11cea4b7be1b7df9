#pragma once
// One live poll of the input block, decoded: what the monitor shows and what
// trend, logging and the calibration record take from it. No widgets, no bus.

#include <QDateTime>
#include <QVector>
#include <QtGlobal>
#include <optional>

namespace reg {

// Divisor the decimal-places code stands for (0 -> 1, 1 -> 10, 2 -> 100);
// without a code (short reply) the plain integer; nullopt for a code the
// display cannot show.
std::optional<int> temperatureDivisor(bool haveDecimalCode, quint16 decimalCode);

struct LiveValues {
    QDateTime time;
    QVector<quint16> words;             // the block as received, possibly short
    std::optional<double> measured;     // in the transmitter's unit
    std::optional<double> room;         // degC
    qint32 adc = 0;
    int decimalCode = -1;               // -1: the reply did not carry it
    int workMode = -1;                  // -1: the reply did not carry it
};

// Room zero offset, in hundredths, that makes a room reading (raw input word
// pair scaled by `divisor`) read `targetHundredths`. nullopt when the reading
// cannot be scaled or the offset does not fit a signed register.
std::optional<qint64> roomOffsetHundredths(qint64 targetHundredths, qint32 readingRaw,
                                           std::optional<int> divisor);

LiveValues decodeLiveValues(const QVector<quint16> &words, const QDateTime &time);

} // namespace reg
