#include "core/operator_input.h"

#include <QRegularExpression>

namespace input {

namespace {
int decimalsOf(int scale)
{
    int d = 0;
    for (int s = scale; s > 1; s /= 10)
        ++d;
    return d;
}
}

std::optional<qint64> scaled(const QString &text, int scale, Range range)
{
    static const QRegularExpression number(
        QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?$"));
    const QRegularExpressionMatch m = number.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QString whole = m.captured(2);
    const QString fraction = m.captured(3);
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;              // "", "-", "."
    if (whole.size() > 12)
        return std::nullopt;              // far outside any register anyway

    const int decimals = decimalsOf(scale);
    qint64 magnitude = whole.isEmpty() ? 0 : whole.toLongLong();
    for (int i = 0; i < decimals; ++i) {
        const int digit = i < fraction.size() ? fraction.at(i).digitValue() : 0;
        magnitude = magnitude * 10 + digit;
    }
    if (fraction.size() > decimals && fraction.at(decimals).digitValue() >= 5)
        ++magnitude;

    const qint64 value = m.captured(1) == QLatin1String("-") ? -magnitude : magnitude;
    if (value < range.min || value > range.max)
        return std::nullopt;
    return value;
}

QString limitText(qint64 scaledLimit, int scale)
{
    const int decimals = decimalsOf(scale);
    if (decimals == 0)
        return QString::number(scaledLimit);
    const QString sign = scaledLimit < 0 ? QStringLiteral("-") : QString();
    const qint64 magnitude = scaledLimit < 0 ? -scaledLimit : scaledLimit;
    return sign + QString::number(magnitude / scale) + QLatin1Char('.')
        + QString::number(magnitude % scale).rightJustified(decimals, QLatin1Char('0'));
}

} // namespace input
