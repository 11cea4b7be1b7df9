#pragma once
// One CSV field as a spreadsheet reads it back: quoted when it holds a comma,
// a quote or a line break (CR or LF), quotes doubled.

#include <QString>

namespace csv {

inline QString field(const QString &value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"'))
        && !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Typed text: a leading = + - @ (or tab, CR) would make a spreadsheet run it as a
// formula, so such text gets a leading apostrophe. Numbers the tool writes itself
// go through field().
inline QString textField(const QString &value)
{
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    if (!value.isEmpty() && kFormulaStarts.contains(value.front()))
        return field(QLatin1Char('\'') + value);
    return field(value);
}

} // namespace csv
