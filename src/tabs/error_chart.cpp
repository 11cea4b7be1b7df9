#include "tabs/error_chart.h"

#include <QChartView>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#include <cmath>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
using QtCharts::QAbstractSeries;
using QtCharts::QChartView;
#endif

ErrorChart::ErrorChart(QWidget *parent) : QWidget(parent)
{
    m_chart = new QChart;
    m_found = new QScatterSeries(m_chart);
    m_left = new QScatterSeries(m_chart);
    m_upper = new QLineSeries(m_chart);
    m_lower = new QLineSeries(m_chart);
    m_x = new QValueAxis(m_chart);
    m_y = new QValueAxis(m_chart);
    m_x->setLabelFormat(QStringLiteral("%.0f"));
    m_y->setLabelFormat(QStringLiteral("%.2f"));
    m_y->setTickCount(5);
    QFont small = m_y->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_x->setLabelsFont(small);
    m_y->setLabelsFont(small);
    m_chart->addAxis(m_x, Qt::AlignBottom);
    m_chart->addAxis(m_y, Qt::AlignLeft);
    for (QAbstractSeries *s : std::initializer_list<QAbstractSeries *>{m_upper, m_lower, m_found, m_left}) {
        m_chart->addSeries(s);
        s->attachAxis(m_x);
        s->attachAxis(m_y);
    }
    QPen band(QColor(200, 60, 60));
    band.setStyle(Qt::DashLine);
    m_upper->setPen(band);
    m_lower->setPen(band);
    m_found->setMarkerSize(9);
    m_left->setMarkerSize(9);
    m_left->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    auto *view = new QChartView(m_chart, this);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(180);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    reset(0.0, 100.0, 1.0);
}

void ErrorChart::reset(double lower, double upper, double tolerance)
{
    m_found->clear();
    m_left->clear();
    m_tolerance = tolerance;
    m_largest = 0.0;
    m_upper->replace(QVector<QPointF>{QPointF(lower, tolerance), QPointF(upper, tolerance)});
    m_lower->replace(QVector<QPointF>{QPointF(lower, -tolerance), QPointF(upper, -tolerance)});
    const double margin = (upper - lower) * 0.05;
    m_x->setRange(lower - margin, upper + margin);
    fitErrorAxis();
}

void ErrorChart::addPoint(bool asLeft, double reference, double error)
{
    (asLeft ? m_left : m_found)->append(reference, error);
    m_largest = std::max(m_largest, std::abs(error));
    fitErrorAxis();
}

void ErrorChart::fitErrorAxis()
{
    const double reach = std::max(m_tolerance, m_largest) * 1.3;
    m_y->setRange(-reach, reach);
}

void ErrorChart::setTexts(const QString &title, const QString &errorAxis, const QString &asFound,
                          const QString &asLeft, const QString &band)
{
    // The unit goes into the title: an axis title takes the room the labels need.
    m_chart->setTitle(QStringLiteral("%1 — %2").arg(title, errorAxis));
    m_found->setName(asFound);
    m_left->setName(asLeft);
    m_upper->setName(band);
    m_lower->setName(band);
    // One legend entry for the band is enough.
    const auto markers = m_chart->legend()->markers(m_lower);
    for (auto *marker : markers)
        marker->setVisible(false);
}

int ErrorChart::pointCount(bool asLeft) const
{
    return (asLeft ? m_left : m_found)->count();
}
