#include "record/number_input.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace record {

std::optional<double> parseNumber(const QString &text, const QLocale &locale)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // Group separators are refused: "12,004" in English is not twelve thousand.
    for (QLocale l : {locale, QLocale::c()}) {
        l.setNumberOptions(QLocale::RejectGroupSeparator);
        bool ok = false;
        const double v = l.toDouble(t, &ok);
        // "nan" and "inf" read as numbers, but no figure or verdict can be made of them.
        if (ok && std::isfinite(v))
            return v;
    }
    return std::nullopt;
}

ParsedPoints parsePoints(const QString &text, const QLocale &locale)
{
    ParsedPoints parsed;
    const QStringList parts =
        text.split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const auto v = parseNumber(part, locale);
        if (!v)
            return {{}, part};
        parsed.points << *v;
    }
    return parsed;
}

QString pointsText(const QVector<double> &points, const QLocale &locale)
{
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    QStringList parts;
    for (double p : points)
        parts << l.toString(p, 'f', 1);
    return parts.join(QStringLiteral("; "));
}

} // namespace record
