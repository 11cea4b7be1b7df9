#include "record/record_table.h"

#include "record/decision_texts.h"
#include "record/record_texts.h"

#include <cmath>

namespace record {

namespace {

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString signedNumber(double value, int decimals)
{
    const QString s = number(value, decimals);
    return value >= 0.0 && !s.startsWith(QLatin1Char('-')) ? QLatin1Char('+') + s : s;
}

QString statusText(const Point &point, const PointFigures &f, int language)
{
    switch (point.status) {
    case Point::Status::Recorded: return decisionText(pointDecision(f), language);
    case Point::Status::Skipped: return text(Text::Skipped, language);
    case Point::Status::NotStable: return text(Text::NotStable, language);
    case Point::Status::Pending: break;
    }
    return text(Text::Pending, language);
}

// "0.12 (k=2.00)": a stated U as figures() gives it.
QString withK(double stated, double k)
{
    return QStringLiteral("%1 (k=%2)").arg(number(stated, uncertaintyDecimals(stated)), number(k, 2));
}

} // namespace

bool hasPointUncertainties(const Record &record)
{
    for (const Point &p : record.points)
        if (p.uncertainty)
            return true;
    return false;
}

QStringList certificateTitles(int language, const QString &unit, bool uncertaintyColumn)
{
    QStringList titles = columnTitles(language, unit);
    if (uncertaintyColumn)
        titles.insert(ColResult, text(Text::ColUncertainty, language).arg(unit));
    return titles;
}

QStringList certificateCells(const Point &point, const Header &header, int language, bool uncertaintyColumn)
{
    QStringList cells = rowCells(point, header, language);
    const PointFigures f = figures(point, header);
    // The current's U belongs to its error, which carries the reference's terms too.
    if (f.currentErrorMa && f.currentExpandedMa)
        cells[ColCurrentError] += QStringLiteral(" ± ") + withK(*f.currentExpandedMa, f.currentCoverageFactor);
    if (uncertaintyColumn)
        cells.insert(ColResult, point.status == Point::Status::Recorded && f.expanded
                                    ? withK(*f.expanded, f.coverageFactor) : QString());
    return cells;
}

QStringList columnTitles(int language, const QString &unit)
{
    QStringList titles;
    for (Text t : {Text::ColReference, Text::ColReading, Text::ColError, Text::ColErrorPercent,
                   Text::ColExpectedMa, Text::ColMeasuredMa, Text::ColCurrentError, Text::ColResult}) {
        const QString title = text(t, language);
        titles << (title.contains(QLatin1String("%1")) ? title.arg(unit) : title);
    }
    return titles;
}

QStringList rowCells(const Point &point, const Header &header, int language)
{
    const PointFigures f = figures(point, header);
    const bool recorded = point.status == Point::Status::Recorded;
    QString currentError;
    if (f.currentErrorMa)
        currentError = signedNumber(*f.currentErrorMa, f.currentDecimals)
                       + (f.currentUnjudged ? QStringLiteral(" (%1)").arg(text(Text::CurrentNotJudged, language)) : QString());
    QStringList cells;
    cells << number(point.reference, exactDecimals(point.reference, 1))
          << (recorded ? number(f.reading, f.decimals) : QString())
          << (recorded ? signedNumber(f.error, f.decimals) : QString())
          << (recorded ? signedNumber(f.errorPercent, f.percentDecimals) : QString())
          << number(f.expectedMa, f.currentDecimals)
          << (point.currentMa ? number(*point.currentMa, f.currentDecimals) : QString())
          << currentError
          << statusText(point, f, language);
    return cells;
}

QString verdictText(Verdict verdict, int language)
{
    switch (verdict) {
    case Verdict::Pass: return text(Text::Pass, language);
    case Verdict::Fail: return text(Text::Fail, language);
    case Verdict::Incomplete: break;
    }
    return text(Text::Incomplete, language);
}

QString rangeText(const Header &header)
{
    return QStringLiteral("%1 .. %2 %3").arg(number(header.range.lower, 1),
                                             number(header.range.upper, 1), header.unit);
}

QString toleranceText(const Header &header, int language)
{
    const Tolerance &t = header.tolerance;
    if (t.kind == Tolerance::Kind::Degrees)
        return QStringLiteral("± %1 %2").arg(number(t.value, exactDecimals(t.value, 2)), header.unit);
    const double degrees = toleranceDegrees(t, header.range);
    return QStringLiteral("± %1 %2 (± %3 %4)")
        .arg(number(t.value, exactDecimals(t.value, 2)), text(Text::TolerancePercent, language),
             number(degrees, exactDecimals(degrees, 2)), header.unit);
}

QString uncertaintyText(const Header &header, int language)
{
    if (!header.uncertainty || !(std::isfinite(*header.uncertainty) && *header.uncertainty > 0))
        return QStringLiteral("—");
    const double stated = statedUncertainty(*header.uncertainty);
    return text(Text::UncertaintyStatement, language).arg(number(stated, uncertaintyDecimals(stated)), header.unit);
}

QString acceptanceText(const Header &header)
{
    const auto limit = metrology::acceptanceLimit(header.decisionRule, toleranceDegrees(header.tolerance, header.range),
                                                  statedUncertainty(header.uncertainty.value_or(0.0)));
    if (!limit)
        return QStringLiteral("—");
    return QStringLiteral("± %1 %2").arg(number(*limit, exactDecimals(*limit, 2)), header.unit);
}

} // namespace record
