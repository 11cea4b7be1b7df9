#pragma once
// The error of each point against its reference temperature, as-found and
// as-left, inside the tolerance band: drawn while an automatic run goes on.

#include <QWidget>
#include <QtGlobal>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
namespace QtCharts {
class QChart;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
}
using QtCharts::QChart;
using QtCharts::QLineSeries;
using QtCharts::QScatterSeries;
using QtCharts::QValueAxis;
#else
class QChart;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
#endif

class ErrorChart : public QWidget
{
    Q_OBJECT
public:
    explicit ErrorChart(QWidget *parent = nullptr);

    // A new run over `lower`..`upper` with a band of ± `tolerance`.
    void reset(double lower, double upper, double tolerance);
    void addPoint(bool asLeft, double reference, double error);
    void setTexts(const QString &title, const QString &errorAxis, const QString &asFound, const QString &asLeft,
                  const QString &band);
    int pointCount(bool asLeft) const;

private:
    void fitErrorAxis();

    QChart *m_chart;
    QScatterSeries *m_found, *m_left;
    QLineSeries *m_upper, *m_lower;
    QValueAxis *m_x, *m_y;
    double m_tolerance = 1.0;
    double m_largest = 0.0;
};
