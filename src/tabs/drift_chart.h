#pragma once
// The drift chart of one transmitter: as-found error per test point across
// calibrations (Qt Charts), the tolerance band drawn as two dashed lines.

#include "record/drift.h"

#include <QWidget>

// Qt 5 keeps the chart classes in a namespace of their own, Qt 6 does not.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
namespace QtCharts { class QChartView; }
using QtCharts::QChartView;
#else
class QChartView;
#endif

class DriftChart : public QWidget
{
    Q_OBJECT

public:
    explicit DriftChart(QWidget *parent = nullptr);

    // `tolerance` in the unit, 0 for none; the title in the window's language.
    void plot(const QVector<record::DriftSeries> &series, double tolerance, const QString &unit, const QString &title);
    int seriesCount() const;

private:
    QChartView *m_view;
};
