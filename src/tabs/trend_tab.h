#pragma once
// The Trend tab: measured and room temperature against time from the live
// polls the window already makes, the figures of the visible span, pause,
// PNG export, and the CSV log of every poll.

#include "core/live_values.h"
#include "diagnostics/csv_log.h"
#include "diagnostics/trend_samples.h"
#include "link/request_description.h"

#include <QWidget>
#include <QtGlobal>
#include <optional>
#include <utility>

class QCheckBox;
class QComboBox;
class QLabel;
class QModbusReply;
namespace rtu { class Link; }
class QPushButton;
class QTimer;
// Qt 5 keeps the chart classes in a namespace of their own, Qt 6 does not.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
namespace QtCharts {
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
}
using QtCharts::QChart;
using QtCharts::QChartView;
using QtCharts::QDateTimeAxis;
using QtCharts::QLineSeries;
using QtCharts::QValueAxis;
#else
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
#endif

class TrendTab : public QWidget
{
    Q_OBJECT

public:
    // Listens to the link's requests; the window feeds it live values and the link status.
    explicit TrendTab(rtu::Link &link, QWidget *parent = nullptr);

    const diag::RingBuffer<diag::TrendSample> &samples() const { return m_samples; }
    QLineSeries *series(diag::TrendValue which) const;
    diag::SpanStats spanStats(diag::TrendValue which) const;
    qint64 spanMs() const;
    bool paused() const;

    bool startLog(const QString &path, QString *error = nullptr);
    void stopLog();
    bool isLogging() const { return m_log.isOpen(); }
    // False with `why` when the file could not be written; the old one then stays.
    bool exportPng(const QString &path, QString *why = nullptr);

public slots:
    void addLiveValues(const reg::LiveValues &values);
    void showLinkStatus(bool ok, const QString &text);
    // Learns the temperature unit from holding reads and writes that cover it.
    void observeRequest(const rtu::RequestDescription &request, QModbusReply *reply);
    void setLanguage(int language);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildChart();
    void scheduleRefresh();
    void refresh();
    void showFigures(qint64 from);
    void showLogState();
    void toggleLog();
    void choosePngFile();
    qint64 spanStart() const;

    diag::RingBuffer<diag::TrendSample> m_samples{diag::kTrendCapacity};
    diag::CsvLog m_log;
    std::optional<int> m_unitCode;
    int m_language = 0;

    QChart *m_chart = nullptr;
    QChartView *m_view = nullptr;
    QLineSeries *m_measured = nullptr;
    QLineSeries *m_room = nullptr;
    QDateTimeAxis *m_timeAxis = nullptr;
    QValueAxis *m_valueAxis = nullptr;
    // The span's extremes the value axis was last fitted to: the same again leaves
    // the axis alone (each range change lays out and draws all its labels twice).
    std::optional<std::pair<double, double>> m_fittedTo;
    QTimer *m_refreshTimer;
    QLabel *m_spanLabel;
    QComboBox *m_span;
    QCheckBox *m_autoscale;
    QPushButton *m_pause;
    QPushButton *m_exportPng;
    QPushButton *m_logButton;
    QLabel *m_logState;
    QLabel *m_figures[2][5] = {};   // measured / room: name, min, max, mean, std dev
    QLabel *m_figureHeads[4] = {};
};
