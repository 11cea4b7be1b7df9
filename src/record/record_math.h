#pragma once
// Arithmetic of an as-found / as-left check: test points over the range, the
// error of a reading, the loop current it should drive and the verdict against
// the tolerance. Plain functions, no widgets, no bus.

#include <QVector>
#include <optional>

namespace record {

// The transmitter's range (holding 2 .. holding 1), in its unit.
struct Range {
    double lower = 0.0;
    double upper = 100.0;
    double span() const { return upper - lower; }
    bool valid() const { return upper > lower; }
};

struct Tolerance {
    enum class Kind { Degrees, PercentOfSpan };
    Kind kind = Kind::Degrees;
    double value = 0.5;
};

// Holding 1 and 2 carry signed tenths.
Range rangeFromWords(quint16 upperWord, quint16 lowerWord);

// The points at `percents` of the range, rounded to 0.1 as a calibrator is set.
QVector<double> testPoints(const Range &range, const QVector<double> &percents);
QVector<double> defaultPercents();   // 0, 25, 50, 75, 100

double error(double reference, double reading);
double percentOfSpan(double value, const Range &range);

// What the loop should carry at `temperature`: 4..20 mA over the range, unclamped.
double expectedCurrentMa(double temperature, const Range &range);

// The tolerance in degrees for this range.
double toleranceDegrees(const Tolerance &tolerance, const Range &range);

// A current error as the temperature error it stands for (16 mA = one span).
double currentErrorDegrees(double currentErrorMa, const Range &range);

// Figures are printed at the transmitter's resolution; the decision rule
// (metrology/decision_rule.h) judges them unrounded.
int decimalsOf(double resolution);
double roundTo(double value, double resolution);

// The expanded uncertainty as the certificate states it: rounded up to two
// significant digits (never understated). The acceptance limit is computed
// from this value, so the printed statement and the verdicts agree.
double statedUncertainty(double uncertainty);
int uncertaintyDecimals(double statedUncertainty);

// The fewest decimals, at least `minimum` and at most 6, that print `value` exactly.
int exactDecimals(double value, int minimum);

} // namespace record
