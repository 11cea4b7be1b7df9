#include "record/record_table.h"

#include "record/decision_texts.h"
#include "record/record_texts.h"

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

QString statedText(double uncertainty)
{
    const double stated = statedUncertainty(uncertainty);
    return number(stated, uncertaintyDecimals(stated));
}

// The U the point was judged with and its k; empty when it had none.
QString uncertaintyCell(const Point &point, const Header &header)
{
    if (!point.uncertainty && !header.uncertainty)
        return QString();
    const double k = point.uncertainty ? point.uncertainty->coverageFactor : 2.0;
    return QStringLiteral("%1 (k=%2)").arg(statedText(pointUncertainty(point, header)), number(k, 2));
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
    if (point.currentMa && point.uncertainty && point.uncertainty->currentExpandedMa)
        cells[ColMeasuredMa] += QStringLiteral(" ± %1 (k=%2)")
                                    .arg(statedText(*point.uncertainty->currentExpandedMa),
                                         number(point.uncertainty->currentCoverageFactor, 2));
    if (uncertaintyColumn)
        cells.insert(ColResult, point.status == Point::Status::Recorded ? uncertaintyCell(point, header) : QString());
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
    const int decimals = decimalsOf(header.resolution);
    QStringList cells;
    cells << number(point.reference, 1)
          << (recorded ? number(roundTo(point.reading, header.resolution), decimals) : QString())
          << (recorded ? signedNumber(f.error, decimals) : QString())
          << (recorded ? signedNumber(f.errorPercent, 3) : QString())
          << number(f.expectedMa, 3)
          << (point.currentMa ? number(*point.currentMa, 3) : QString())
          << (f.currentErrorMa ? signedNumber(*f.currentErrorMa, 3) : QString())
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
    if (!header.uncertainty)
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
