#pragma once
// One CSV field as a spreadsheet reads it back: quoted when it holds a comma,
// a quote or a line break, quotes doubled.

#include <QString>

namespace csv {

inline QString field(const QString &value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"'))
        && !value.contains(QLatin1Char('\n')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace csv
