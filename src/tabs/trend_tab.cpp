#include "tabs/trend_tab.h"
#include "widgets/modal_guard.h"

#include "core/whole_file.h"
#include "link/link.h"

#include "diagnostics/diagnostics_texts.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QModbusReply>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

using diag::TrendValue;

namespace {

const qint64 kSpansMs[] = {60 * 1000, 10 * 60 * 1000, 60 * 60 * 1000};
// Enough points to draw a smooth line across the widest screen.
constexpr int kMaxChartPoints = 1200;
// Once a second at most, whatever the poll rate: a trend over minutes gains
// nothing from more, and each redraw of the chart costs more than a poll.
constexpr int kRefreshMs = 1000;

// The text between 【 and 】 of the link-status line.
QString statusWords(const QString &text)
{
    const int open = text.indexOf(QChar(0x3010));
    const int close = text.lastIndexOf(QChar(0x3011));
    return open >= 0 && close > open ? text.mid(open + 1, close - open - 1) : text;
}

} // namespace

TrendTab::TrendTab(rtu::Link &link, QWidget *parent)
    : QWidget(parent), m_refreshTimer(new QTimer(this)), m_spanLabel(new QLabel(this)),
      m_span(new QComboBox(this)), m_autoscale(new QCheckBox(this)), m_pause(new QPushButton(this)),
      m_exportPng(new QPushButton(this)), m_logButton(new QPushButton(this)),
      m_logState(new QLabel(this))
{
    buildChart();
    m_span->addItems({QString(), QString(), QString()});
    m_autoscale->setChecked(true);
    m_pause->setCheckable(true);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(kRefreshMs);

    auto *controls = new QHBoxLayout;
    for (QWidget *w : std::initializer_list<QWidget *>{m_spanLabel, m_span, m_autoscale, m_pause,
                                                       m_exportPng, m_logButton, m_logState})
        controls->addWidget(w);
    controls->addStretch(1);

    auto *figures = new QGridLayout;
    for (int c = 0; c < 4; ++c) {
        m_figureHeads[c] = new QLabel(this);
        figures->addWidget(m_figureHeads[c], 0, c + 1);
    }
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 5; ++c) {
            m_figures[r][c] = new QLabel(this);
            figures->addWidget(m_figures[r][c], r + 1, c);
        }
    }
    figures->setColumnStretch(5, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_view, 1);
    layout->addLayout(figures);

    connect(m_refreshTimer, &QTimer::timeout, this, &TrendTab::refresh);
    connect(m_span, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &TrendTab::refresh);
    connect(m_autoscale, &QCheckBox::toggled, this, [this](bool on) {
        // Without autoscale the operator zooms with the mouse.
        m_view->setRubberBand(on ? QChartView::NoRubberBand : QChartView::RectangleRubberBand);
        m_fittedTo.reset();   // a zoom meanwhile moved the axis: fit it again
        refresh();
    });
    connect(m_pause, &QPushButton::toggled, this, [this] {
        setLanguage(m_language);
        refresh();
    });
    connect(m_exportPng, &QPushButton::clicked, this, &TrendTab::choosePngFile);
    connect(m_logButton, &QPushButton::clicked, this, &TrendTab::toggleLog);
    connect(&link, &rtu::Link::requestIssued, this, &TrendTab::observeRequest);
    setLanguage(0);
}

void TrendTab::buildChart()
{
    m_chart = new QChart;
    m_measured = new QLineSeries(m_chart);
    m_room = new QLineSeries(m_chart);
    m_chart->addSeries(m_measured);
    m_chart->addSeries(m_room);
    m_timeAxis = new QDateTimeAxis(m_chart);
    m_timeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    m_valueAxis = new QValueAxis(m_chart);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    for (QLineSeries *s : {m_measured, m_room}) {
        s->attachAxis(m_timeAxis);
        s->attachAxis(m_valueAxis);
    }
    m_chart->legend()->setAlignment(Qt::AlignTop);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_view = new QChartView(m_chart, this);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumHeight(160);
}

QLineSeries *TrendTab::series(TrendValue which) const
{
    return which == TrendValue::Measured ? m_measured : m_room;
}

qint64 TrendTab::spanMs() const
{
    return kSpansMs[std::max(0, m_span->currentIndex())];
}

bool TrendTab::paused() const
{
    return m_pause->isChecked();
}

// The visible span ends at the newest sample.
qint64 TrendTab::spanStart() const
{
    return m_samples.isEmpty() ? 0 : m_samples.newest().msecs - spanMs();
}

diag::SpanStats TrendTab::spanStats(TrendValue which) const
{
    return diag::spanStats(m_samples, spanStart(), which);
}

void TrendTab::addLiveValues(const reg::LiveValues &values)
{
    diag::TrendSample sample;
    sample.msecs = values.time.toMSecsSinceEpoch();
    sample.measured = values.measured.value_or(std::nan(""));
    sample.room = values.room.value_or(std::nan(""));
    m_samples.push(sample);
    const bool logging = isLogging();
    m_log.writePoll(values, m_unitCode, QStringLiteral("OK"));
    if (logging != isLogging())
        showLogState();
    scheduleRefresh();
}

void TrendTab::showLinkStatus(bool ok, const QString &text)
{
    if (!ok && isLogging()) {
        m_log.writeFailure(QDateTime::currentDateTime(), statusWords(text));
        if (!isLogging())
            showLogState();
    }
}

void TrendTab::observeRequest(const rtu::RequestDescription &request, QModbusReply *reply)
{
    if (!reply || request.function == 4)
        return;
    auto learn = [this, request, reply] {
        const auto code = diag::unitCodeSeen(request, reply->result().values(),
                                             reply->error() == QModbusDevice::NoError);
        if (code && code != m_unitCode) {
            m_unitCode = code;
            setLanguage(m_language);   // the unit is part of the texts
        }
    };
    if (reply->isFinished())
        learn();
    else
        connect(reply, &QModbusReply::finished, this, learn);
}

// A hidden tab draws nothing; it catches up when shown.
void TrendTab::scheduleRefresh()
{
    if (!paused() && isVisible() && !m_refreshTimer->isActive())
        m_refreshTimer->start();
}

void TrendTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void TrendTab::refresh()
{
    if (paused() || m_samples.isEmpty()) {
        showFigures(spanStart());
        return;
    }
    const qint64 from = spanStart();
    m_measured->replace(diag::spanPoints(m_samples, from, TrendValue::Measured, kMaxChartPoints));
    m_room->replace(diag::spanPoints(m_samples, from, TrendValue::Room, kMaxChartPoints));
    const qint64 to = m_samples.newest().msecs;
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    m_timeAxis->setFormat(spanMs() > 10 * 60 * 1000 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss"));
    if (m_autoscale->isChecked()) {
        const diag::SpanStats a = diag::spanStats(m_samples, from, TrendValue::Measured);
        const diag::SpanStats b = diag::spanStats(m_samples, from, TrendValue::Room);
        if (a.count > 0 || b.count > 0) {
            const double low = std::min(a.count ? a.min : b.min, b.count ? b.min : a.min);
            const double high = std::max(a.count ? a.max : b.max, b.count ? b.max : a.max);
            if (m_fittedTo != std::make_pair(low, high)) {
                m_fittedTo = std::make_pair(low, high);
                const double pad = std::max(0.5, (high - low) * 0.05);
                m_valueAxis->setRange(low - pad, high + pad);
                m_valueAxis->applyNiceNumbers();
            }
        }
    }
    showFigures(from);
}

void TrendTab::showFigures(qint64 from)
{
    const QString unit = diag::unitText(m_unitCode);
    for (int r = 0; r < 2; ++r) {
        const TrendValue which = r == 0 ? TrendValue::Measured : TrendValue::Room;
        const diag::SpanStats s = diag::spanStats(m_samples, from, which);
        const QString suffix = r == 0 ? (unit.isEmpty() ? QString() : QLatin1Char(' ') + unit)
                                      : QStringLiteral(" °C");
        const double values[] = {s.min, s.max, s.mean, s.stddev};
        for (int c = 0; c < 4; ++c) {
            m_figures[r][c + 1]->setText(
                s.count == 0 ? lang::diagText(lang::DiagText::NoData, m_language)
                             : QString::number(values[c], 'f', c == 3 ? 3 : 2) + suffix);
        }
    }
}

void TrendTab::setLanguage(int language)
{
    using T = lang::DiagText;
    if (lang::diagText(T::TrendTab, language).isEmpty())
        return;
    m_language = language;
    setWindowTitle(lang::diagText(T::TrendTab, language));
    m_spanLabel->setText(lang::diagText(T::Span, language));
    const T spans[] = {T::Span1Min, T::Span10Min, T::Span1Hour};
    for (int i = 0; i < 3; ++i)
        m_span->setItemText(i, lang::diagText(spans[i], language));
    m_autoscale->setText(lang::diagText(T::Autoscale, language));
    m_pause->setText(lang::diagText(paused() ? T::Resume : T::Pause, language));
    m_exportPng->setText(lang::diagText(T::ExportPng, language));
    m_measured->setName(lang::diagText(T::Measured, language));
    m_room->setName(lang::diagText(T::Room, language));
    m_timeAxis->setTitleText(lang::diagText(T::Time, language));
    const QString unit = diag::unitText(m_unitCode);
    m_valueAxis->setTitleText(lang::diagText(T::Temperature, language)
                              + (unit.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(unit)));
    const T heads[] = {T::Min, T::Max, T::Mean, T::StdDev};
    for (int c = 0; c < 4; ++c)
        m_figureHeads[c]->setText(lang::diagText(heads[c], language));
    m_figures[0][0]->setText(lang::diagText(T::Measured, language));
    m_figures[1][0]->setText(lang::diagText(T::Room, language));
    showLogState();
    showFigures(spanStart());
}

bool TrendTab::startLog(const QString &path, QString *error)
{
    const bool ok = m_log.start(path, error);
    showLogState();
    return ok;
}

void TrendTab::stopLog()
{
    m_log.stop();
    showLogState();
}

void TrendTab::showLogState()
{
    using T = lang::DiagText;
    m_logButton->setText(lang::diagText(isLogging() ? T::StopLog : T::StartLog, m_language));
    m_logState->setText(isLogging()                    ? lang::diagText(T::LoggingTo, m_language).arg(m_log.path())
                        : !m_log.failure().isEmpty() ? lang::diagText(T::LogStopped, m_language)
                                                           .arg(m_log.path() + QStringLiteral(": ") + m_log.failure())
                                                     : lang::diagText(T::NotLogging, m_language));
}

void TrendTab::toggleLog()
{
    if (isLogging()) {
        stopLog();
        return;
    }
    if (!modal_guard::mayOpen())
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, lang::diagText(lang::DiagText::StartLog, m_language), QString(),
        QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!startLog(path, &error))
        m_logState->setText(lang::diagText(lang::DiagText::CannotOpen, m_language).arg(error));
}

bool TrendTab::exportPng(const QString &path, QString *why)
{
    QByteArray png;
    QBuffer buffer(&png);
    QString error = QStringLiteral("the picture could not be made");
    if (buffer.open(QIODevice::WriteOnly) && m_view->grab().save(&buffer, "PNG")
        && files::writeWhole(files::FileKind::TrendImage, path, png, error))
        return true;
    if (why)
        *why = error;
    return false;
}

void TrendTab::choosePngFile()
{
    if (!modal_guard::mayOpen())
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, lang::diagText(lang::DiagText::ExportPng, m_language), QString(),
        QStringLiteral("PNG (*.png)"));
    QString why;
    if (!path.isEmpty() && !exportPng(path, &why))
        m_logState->setText(lang::diagText(lang::DiagText::ExportFailed, m_language).arg(why));
}
