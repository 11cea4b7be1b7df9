#include "record/record_math.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace record {

namespace {
constexpr double kLoopSpanMa = 16.0;
}

Range rangeFromWords(quint16 upperWord, quint16 lowerWord)
{
    return {qint16(lowerWord) / 10.0, qint16(upperWord) / 10.0};
}

QVector<double> defaultPercents()
{
    return {0.0, 25.0, 50.0, 75.0, 100.0};
}

QVector<double> testPoints(const Range &range, const QVector<double> &percents)
{
    QVector<double> points;
    for (double p : percents)
        points << std::round((range.lower + range.span() * p / 100.0) * 10.0) / 10.0;
    return points;
}

double error(double reference, double reading)
{
    return reading - reference;
}

double percentOfSpan(double value, const Range &range)
{
    return range.valid() ? 100.0 * value / range.span() : 0.0;
}

double expectedCurrentMa(double temperature, const Range &range)
{
    if (!range.valid())
        return 4.0;
    return 4.0 + kLoopSpanMa * (temperature - range.lower) / range.span();
}

double toleranceDegrees(const Tolerance &tolerance, const Range &range)
{
    if (tolerance.kind == Tolerance::Kind::Degrees)
        return tolerance.value;
    return tolerance.value * range.span() / 100.0;
}

double statedUncertainty(double uncertainty)
{
    if (!(uncertainty > 0.0))
        return 0.0;
    const int exponent = int(std::floor(std::log10(uncertainty)));
    const double step = std::pow(10.0, exponent - 1);
    // The slack keeps a value already at two digits (0.20) from being bumped by its last bit.
    const double up = std::ceil(uncertainty / step - 1e-6) * step;
    double stated = QString::number(up, 'f', uncertaintyDecimals(up)).toDouble();
    // That slack must never state less than U: a value just past two digits goes up a step.
    if (stated < uncertainty)
        stated = QString::number(stated + step, 'f', uncertaintyDecimals(stated + step)).toDouble();
    return stated;
}

int uncertaintyDecimals(double stated)
{
    if (!(stated > 0.0))
        return 2;
    return std::clamp(1 - int(std::floor(std::log10(stated) + 1e-9)), 0, 8);
}

int exactDecimals(double value, int minimum)
{
    for (int d = std::max(0, minimum); d < 6; ++d) {
        const double scaled = value * std::pow(10.0, d);
        if (std::abs(scaled - std::round(scaled)) < 1e-6)
            return d;
    }
    return 6;
}

double currentErrorDegrees(double currentErrorMa, const Range &range)
{
    return currentErrorMa * range.span() / kLoopSpanMa;
}

int decimalsOf(double resolution)
{
    if (!(resolution > 0.0))
        return 1;
    return std::clamp(int(std::ceil(-std::log10(resolution) - 1e-9)), 0, 6);
}

double roundTo(double value, double resolution)
{
    if (!(resolution > 0.0))
        return value;
    const double rounded = std::round(value / resolution) * resolution;
    // Back to the printed decimals, so the double equals what the text says.
    return QString::number(rounded, 'f', decimalsOf(resolution)).toDouble();
}

} // namespace record
