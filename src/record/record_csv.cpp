#include "record/record_csv.h"

#include "core/csv_field.h"
#include "core/whole_file.h"

#include <QStringList>

namespace record {

namespace {

QString field(const QString &value) { return csv::textField(value); }

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

QList<QPair<QString, QString>> headerRows(const Header &h)
{
    const QString tolerance = number(h.tolerance.value)
        + (h.tolerance.kind == Tolerance::Kind::Degrees ? QStringLiteral(" degrees")
                                                         : QStringLiteral(" % of span"));
    return {
        {"tag", h.tag}, {"serial", h.serial}, {"description", h.description},
        {"technician", h.technician}, {"reference instrument", h.reference},
        {"reference due", h.referenceDue.toString(Qt::ISODate)}, {"ambient", h.ambient},
        {"range low", number(h.range.lower)}, {"range high", number(h.range.upper)},
        {"unit", h.unit}, {"tolerance", tolerance},
        {"uncertainty (k=2)", h.uncertainty ? QString::number(statedUncertainty(*h.uncertainty), 'f',
                                                              uncertaintyDecimals(statedUncertainty(*h.uncertainty)))
                                            : QString()},
        {"laboratory", h.laboratory}, {"procedure", h.procedure},
    };
}

// Every check's header: the checks may differ (another technician, ambient).
QStringList headerLines(const QVector<Record> &checks)
{
    QStringList names{QStringLiteral("field")};
    for (const Record &r : checks)
        names << stageKey(r.stage);
    QStringList lines;
    if (checks.size() > 1)
        lines << names.join(QLatin1Char(','));
    const int count = headerRows(checks.first().header).size();
    // The tool's own numbers go as they are; typed text is guarded.
    static const QStringList kNumbers{"range low", "range high", "tolerance", "uncertainty (k=2)"};
    for (int i = 0; i < count; ++i) {
        const QString name = headerRows(checks.first().header)[i].first;
        QStringList cells{field(name)};
        for (const Record &r : checks) {
            const QString value = headerRows(r.header)[i].second;
            cells << (kNumbers.contains(name) ? csv::field(value) : field(value));
        }
        lines << cells.join(QLatin1Char(','));
    }
    return lines;
}

QString pointLine(const Record &r, const Point &p)
{
    const PointFigures f = figures(p, r.header);
    const bool recorded = p.status == Point::Status::Recorded;
    // The figures as the certificate states them.
    QStringList cells{stageKey(r.stage), r.started.toUTC().toString(Qt::ISODate), number(p.reference),
                      recorded ? number(p.reading) : QString(),
                      recorded ? QString::number(f.error, 'f', f.decimals) : QString(),
                      recorded ? QString::number(f.errorPercent, 'f', f.percentDecimals) : QString(),
                      QString::number(f.expectedMa, 'f', f.currentDecimals),
                      p.currentMa ? QString::number(*p.currentMa, 'f', f.currentDecimals) : QString(),
                      f.currentErrorMa ? QString::number(*f.currentErrorMa, 'f', f.currentDecimals) : QString(),
                      statusKey(p, f.passed)};
    return cells.join(QLatin1Char(','));
}

} // namespace

QString toCsv(const QVector<Record> &checks)
{
    if (checks.isEmpty())
        return {};
    QStringList lines = headerLines(checks);
    lines << QString()
          << QStringLiteral("stage,started,reference,reading,error,error % of span,"
                            "expected mA,measured mA,current error mA,result");
    for (const Record &r : checks) {
        for (const Point &p : r.points)
            lines << pointLine(r, p);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray csvBytes(const QVector<Record> &checks, bool bom)
{
    const QByteArray text = toCsv(checks).toUtf8();
    return bom ? QByteArray("\xEF\xBB\xBF") + text : text;
}

bool writeCsv(const QString &path, const QVector<Record> &checks, bool bom)
{
    if (checks.isEmpty())
        return false;
    const QByteArray bytes = csvBytes(checks, bom);
    QString error;
    return files::writeWhole(files::FileKind::Export, path, bytes, error);
}

} // namespace record
