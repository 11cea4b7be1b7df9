#include "record_csv.h"

#include "csv_field.h"

#include <QStringList>

namespace record {

namespace {

QString field(const QString &value) { return csv::field(value); }

QString number(double value) { return QString::number(value, 'f', 3); }

QString statusKey(const Point &point, bool passed)
{
    switch (point.status) {
    case Point::Status::Recorded: return passed ? QStringLiteral("pass") : QStringLiteral("fail");
    case Point::Status::Skipped: return QStringLiteral("skipped");
    case Point::Status::NotStable: return QStringLiteral("not stable");
    case Point::Status::Pending: break;
    }
    return QStringLiteral("not done");
}

QStringList headerLines(const Header &h)
{
    const QString tolerance = number(h.tolerance.value)
        + (h.tolerance.kind == Tolerance::Kind::Degrees ? QStringLiteral(" degrees")
                                                         : QStringLiteral(" % of span"));
    const QList<QPair<QString, QString>> rows = {
        {"tag", h.tag}, {"serial", h.serial}, {"description", h.description},
        {"technician", h.technician}, {"reference instrument", h.reference},
        {"reference due", h.referenceDue.toString(Qt::ISODate)}, {"ambient", h.ambient},
        {"range low", number(h.range.lower)}, {"range high", number(h.range.upper)},
        {"unit", h.unit}, {"tolerance", tolerance},
    };
    QStringList lines;
    for (const auto &row : rows)
        lines << field(row.first) + QLatin1Char(',') + field(row.second);
    return lines;
}

QString pointLine(const Record &r, const Point &p)
{
    const PointFigures f = figures(p, r.header);
    const bool recorded = p.status == Point::Status::Recorded;
    QStringList cells{stageKey(r.stage), r.started.toString(Qt::ISODate), number(p.reference),
                      recorded ? number(p.reading) : QString(),
                      recorded ? number(f.error) : QString(),
                      recorded ? number(f.errorPercent) : QString(), number(f.expectedMa),
                      p.currentMa ? number(*p.currentMa) : QString(),
                      f.currentErrorMa ? number(*f.currentErrorMa) : QString(),
                      statusKey(p, f.passed)};
    return cells.join(QLatin1Char(','));
}

} // namespace

QString toCsv(const QVector<Record> &checks)
{
    if (checks.isEmpty())
        return {};
    QStringList lines = headerLines(checks.first().header);
    lines << QString()
          << QStringLiteral("stage,started,reference,reading,error,error % of span,"
                            "expected mA,measured mA,current error mA,result");
    for (const Record &r : checks) {
        for (const Point &p : r.points)
            lines << pointLine(r, p);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace record
