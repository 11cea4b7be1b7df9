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
// formula, also after leading whitespace and in its full-width form (＝ ＋ －
// ＠, which spreadsheets read as the ASCII ones), so such text gets a leading
// apostrophe. Numbers the tool writes itself go through field().
inline bool startsFormula(const QString &value)
{
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    for (const QChar c : value) {
        if (kFormulaStarts.contains(c))
            return true;
        if (c.unicode() >= 0xFF01 && c.unicode() <= 0xFF5E)   // full width: the ASCII character it stands for
            return kFormulaStarts.contains(QChar(c.unicode() - 0xFF01 + 0x21));
        if (!c.isSpace())
            return false;
    }
    return false;
}

inline QString textField(const QString &value)
{
    if (startsFormula(value))
        return field(QLatin1Char('\'') + value);
    return field(value);
}

} // namespace csv
