#pragma once
// Numbers typed by the operator: in the operator's locale (12,5 where the comma
// is the decimal sign) or with a dot; anything else is refused, never dropped.

#include <QLocale>
#include <QString>
#include <QVector>
#include <optional>

namespace record {

std::optional<double> parseNumber(const QString &text, const QLocale &locale = QLocale());

// Test points separated by semicolons or spaces. `refused` names the first part
// that is not a number; the points are then empty.
struct ParsedPoints {
    QVector<double> points;
    QString refused;
};
ParsedPoints parsePoints(const QString &text, const QLocale &locale = QLocale());
QString pointsText(const QVector<double> &points, const QLocale &locale = QLocale());

} // namespace record
