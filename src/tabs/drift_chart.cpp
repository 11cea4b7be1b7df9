#include "tabs/drift_chart.h"

#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
using namespace QtCharts;
#endif

DriftChart::DriftChart(QWidget *parent) : QWidget(parent), m_view(new QChartView)
{
    setObjectName(QStringLiteral("driftChart"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumHeight(120);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    plot({}, 0.0, QString(), QString());
}

int DriftChart::seriesCount() const
{
    int count = 0;
    for (QAbstractSeries *s : m_view->chart()->series())
        count += s->objectName().isEmpty() ? 1 : 0;   // the tolerance lines are named
    return count;
}

void DriftChart::plot(const QVector<record::DriftSeries> &series, double tolerance, const QString &unit,
                      const QString &title)
{
    auto *chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignRight);
    auto *time = new QDateTimeAxis;
    time->setFormat(QStringLiteral("yyyy-MM"));
    time->setTickCount(4);
    // Many test points: the lines speak for themselves, a legend would crowd them out.
    chart->legend()->setVisible(series.size() <= 8);
    auto *error = new QValueAxis;
    error->setTitleText(unit);
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(error, Qt::AlignLeft);
    QDateTime first, last;
    double extent = tolerance;
    for (const record::DriftSeries &s : series) {
        auto *line = new QLineSeries;
        line->setName(QStringLiteral("%1 %2").arg(s.reference, 0, 'f', 1).arg(unit));
        line->setPointsVisible(true);
        for (const auto &[when, e] : s.errors) {
            line->append(double(when.toMSecsSinceEpoch()), e);
            first = first.isValid() ? qMin(first, when) : when;
            last = last.isValid() ? qMax(last, when) : when;
            extent = qMax(extent, qAbs(e));
        }
        chart->addSeries(line);
        line->attachAxis(time);
        line->attachAxis(error);
    }
    if (!first.isValid())
        first = last = QDateTime::currentDateTimeUtc();
    first = first.addDays(-30);
    last = last.addDays(30);
    time->setRange(first, last);
    for (double edge : {tolerance, -tolerance}) {
        if (!(tolerance > 0.0))
            break;
        auto *band = new QLineSeries;
        band->setObjectName(QStringLiteral("tolerance"));
        band->setPen(QPen(Qt::gray, 1, Qt::DashLine));
        band->append(double(first.toMSecsSinceEpoch()), edge);
        band->append(double(last.toMSecsSinceEpoch()), edge);
        chart->addSeries(band);
        band->attachAxis(time);
        band->attachAxis(error);
        chart->legend()->markers(band).first()->setVisible(false);
    }
    error->setRange(-1.2 * qMax(extent, 0.1), 1.2 * qMax(extent, 0.1));
    QChart *old = m_view->chart();
    m_view->setChart(chart);
    delete old;
}
