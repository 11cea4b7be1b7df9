#include "record/record_math.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace record {

namespace {
constexpr double kEdgeSlack = 1e-9;
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

double acceptanceLimit(const Tolerance &tolerance, const Range &range, double uncertainty)
{
    return std::max(0.0, toleranceDegrees(tolerance, range) - std::max(0.0, uncertainty));
}

bool withinTolerance(double errorDegrees, const Tolerance &tolerance, const Range &range,
                     double uncertainty)
{
    const double limit = acceptanceLimit(tolerance, range, uncertainty);
    return std::abs(errorDegrees) <= limit + kEdgeSlack * std::max(1.0, limit);
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
