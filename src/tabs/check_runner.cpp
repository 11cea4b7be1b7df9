#include "tabs/check_runner.h"

#include "record/repeats.h"

#include <algorithm>

#include "record/number_input.h"
#include "record/record_table.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

using namespace record;

CheckRunner::CheckRunner(Hooks hooks, QWidget *parent) : QWidget(parent), m_hooks(std::move(hooks))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *buttons = new QHBoxLayout;
    auto *found = m_texts.button(Text::StartAsFound, "pushButton_record_as_found");
    auto *left = m_texts.button(Text::StartAsLeft, "pushButton_record_as_left");
    auto *measure = m_texts.button(Text::Measure, "pushButton_record_measure");
    auto *repeat = m_texts.button(Text::Repeat, "pushButton_record_repeat");
    auto *skip = m_texts.button(Text::Skip, "pushButton_record_skip");
    for (QPushButton *b : {found, left, measure, repeat, skip})
        buttons->addWidget(b);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_apply = new QLabel;
    m_apply->setObjectName(QStringLiteral("label_record_apply"));
    QFont big = m_apply->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    m_apply->setFont(big);
    m_live = new QLabel;
    m_countdown = new QLabel;
    m_countdown->setObjectName(QStringLiteral("label_record_countdown"));
    m_countdown->setWordWrap(true);
    auto *state = new QHBoxLayout;
    state->addWidget(m_apply, 3);
    state->addWidget(m_live, 2);
    state->addWidget(m_countdown, 3);
    layout->addLayout(state);
    layout->addWidget(buildTables(), 1);

    m_waitTicker = new QTimer(this);
    m_waitTicker->setInterval(250);
    connect(m_waitTicker, &QTimer::timeout, this, &CheckRunner::onWaitTick);
    connect(found, &QPushButton::clicked, this, [this] { startCheck(Stage::AsFound); });
    connect(left, &QPushButton::clicked, this, [this] { startCheck(Stage::AsLeft); });
    connect(measure, &QPushButton::clicked, this, &CheckRunner::startWait);
    connect(repeat, &QPushButton::clicked, this, &CheckRunner::repeatPoint);
    connect(skip, &QPushButton::clicked, this, &CheckRunner::skipPoint);
}

// One above the other: each table has the page's whole width for its eight columns.
QWidget *CheckRunner::buildTables()
{
    auto *box = new QSplitter(Qt::Vertical);
    box->setChildrenCollapsible(false);
    m_foundTable = recordui::table("tableWidget_record_as_found", ColumnCount);
    m_leftTable = recordui::table("tableWidget_record_as_left", ColumnCount);
    for (QTableWidget *t : {m_foundTable, m_leftTable})
        t->setMinimumHeight(70);   // the headings and a row; the splitter gives either more
    // The verdict stands in the group's title, so the tables keep every line of height.
    m_foundGroup = new QGroupBox;
    m_leftGroup = new QGroupBox;
    for (auto [t, group, stage] : {std::tuple{m_foundTable, m_foundGroup, Stage::AsFound},
                                   std::tuple{m_leftTable, m_leftGroup, Stage::AsLeft}}) {
        auto *layout = new QVBoxLayout(group);
        layout->setContentsMargins(4, 4, 4, 4);
        layout->addWidget(t);
        box->addWidget(group);
        connect(t, &QTableWidget::cellChanged, this,
                [this, t = t, stage = stage](int r, int c) { onCellChanged(t, stage, r, c); });
    }
    return box;
}

void CheckRunner::applyTexts(int language)
{
    m_language = language;
    m_texts.apply(language);
    showRecord(Stage::AsFound);
    showRecord(Stage::AsLeft);
    if (m_running)
        showCurrentPoint();
    else
        m_apply->setText(text(Text::NoCheck, m_language));
    showReading();
}

void CheckRunner::adoptNumbers(const std::function<qint64(const Record &)> &numberOf)
{
    for (auto *r : {&m_found, &m_left}) {
        if (*r && (*r)->id == 0)
            (*r)->id = numberOf(**r);
    }
}

std::optional<Record> &CheckRunner::recordOf(Stage stage)
{
    return stage == Stage::AsFound ? m_found : m_left;
}

QTableWidget *CheckRunner::tableOf(Stage stage) const
{
    return stage == Stage::AsFound ? m_foundTable : m_leftTable;
}

void CheckRunner::startCheck(Stage stage)
{
    auto fresh = m_hooks.start(stage);
    if (!fresh)
        return;
    // A new as-found check begins a new calibration: the old as-left is history.
    if (stage == Stage::AsFound)
        m_left.reset();
    recordOf(stage) = std::move(fresh);
    m_running = stage;
    m_lastStage = stage;
    m_point = 0;
    showRecord(Stage::AsFound);
    showRecord(Stage::AsLeft);
    beginPoint();
}

void CheckRunner::beginPoint()
{
    m_readings.clear();
    const Record &r = *recordOf(*m_running);
    while (m_point < r.points.size() && r.points[m_point].status != Point::Status::Pending)
        ++m_point;
    if (m_point >= r.points.size())
        finishCheck();
    else
        showCurrentPoint();
}

void CheckRunner::showCurrentPoint()
{
    const Record &r = *recordOf(*m_running);
    const Point &p = r.points[m_point];
    tableOf(*m_running)->selectRow(m_point);
    m_apply->setText(text(Text::Apply, m_language).arg(QString::number(p.reference, 'f', 1), r.header.unit));
    if (m_waiting)
        showCountdown();
    else
        m_countdown->setText(text(p.status == Point::Status::NotStable ? Text::NotStable : Text::PressMeasure,
                                  m_language));
}

// The technician has set the calibrator: from now on the polls count.
void CheckRunner::startWait()
{
    if (!m_running || m_waiting)
        return;
    m_detector = StabilityDetector(m_hooks.stability());
    m_waitClock.start();
    m_waiting = true;
    m_waitTicker->start();
    showCountdown();
}

void CheckRunner::stopWait()
{
    m_waiting = false;
    m_waitTicker->stop();
}

void CheckRunner::showCountdown()
{
    m_countdown->setText(text(Text::Countdown, m_language)
                             .arg(m_detector.pollsToGo())
                             .arg((m_detector.msToGo(m_waitClock.elapsed()) + 999) / 1000));
}

void CheckRunner::onLiveValues(const reg::LiveValues &values)
{
    m_lastReading = values.measured;
    // A label changed on a hidden tab still lays the window out again: only when shown.
    if (isVisible())
        showReading();
    if (!m_waiting)
        return;
    const auto state = m_detector.feed(values.measured, m_waitClock.elapsed());
    if (state == StabilityDetector::State::Stable)
        recordPoint(m_detector.value());
    else if (state == StabilityDetector::State::TimedOut)
        onWaitTick();
    else
        showCountdown();
}

void CheckRunner::showReading()
{
    m_live->setText(text(Text::Reading, m_language)
                        .arg(m_lastReading ? QString::number(*m_lastReading) + QLatin1Char(' ') + m_hooks.unit()
                                           : QStringLiteral("--")));
}

void CheckRunner::onWaitTick()
{
    if (!m_waiting)
        return;
    if (m_detector.expire(m_waitClock.elapsed()) != StabilityDetector::State::TimedOut) {
        showCountdown();
        return;
    }
    stopWait();
    recordOf(*m_running)->points[m_point].status = Point::Status::NotStable;
    showRecord(*m_running);
    showCurrentPoint();
}

// A settled reading; with repeats, the point waits for the reference set
// again until each is taken, then records their mean and repeatability.
void CheckRunner::recordPoint(double reading)
{
    stopWait();
    m_readings.push_back(reading);
    const int repeats = std::max(1, m_hooks.stability().repeats);
    if (int(m_readings.size()) < repeats) {
        m_countdown->setText(text(Text::RepeatOf, m_language).arg(m_readings.size()).arg(repeats));
        return;
    }
    Record &r = *recordOf(*m_running);
    const std::optional<record::RepeatedPoint> repeated = record::repeatedPoint(m_readings, r.header.uncertainty);
    Point &p = r.points[m_point];
    p.status = Point::Status::Recorded;
    p.reading = repeated ? repeated->reading : reading;
    p.uncertainty = repeated ? repeated->uncertainty : std::nullopt;
    p.time = QDateTime::currentDateTimeUtc();
    showRecord(*m_running);
    ++m_point;
    beginPoint();
}

void CheckRunner::finishCheck()
{
    stopWait();
    const Stage stage = *m_running;
    m_running.reset();
    m_apply->setText(text(Text::CheckDone, m_language));
    m_countdown->clear();
    m_hooks.save(*recordOf(stage));
}

// Repeats the current point, or the row picked in the last check's table; on a
// finished check only as an amendment.
void CheckRunner::repeatPoint()
{
    const std::optional<Stage> stage = m_running ? m_running : m_lastStage;
    if (!stage || !recordOf(*stage))
        return;
    Record &r = *recordOf(*stage);
    const int selected = tableOf(*stage)->currentRow();
    const int row = !m_waiting && selected >= 0 ? selected : m_point;
    if (row < 0 || row >= r.points.size())
        return;
    if (!m_running && !m_hooks.amend(r))
        return;
    r.points[row].status = Point::Status::Pending;
    m_running = stage;
    m_point = row;
    stopWait();
    showRecord(*stage);
    beginPoint();
}

void CheckRunner::skipPoint()
{
    if (!m_running)
        return;
    recordOf(*m_running)->points[m_point].status = Point::Status::Skipped;
    stopWait();
    showRecord(*m_running);
    ++m_point;
    beginPoint();
}

void CheckRunner::showRecord(Stage stage)
{
    QTableWidget *t = tableOf(stage);
    QGroupBox *group = stage == Stage::AsFound ? m_foundGroup : m_leftGroup;
    const auto &r = recordOf(stage);
    m_filling = true;
    t->setHorizontalHeaderLabels(columnTitles(m_language, r ? r->header.unit : QStringLiteral("°C")));
    t->setRowCount(r ? r->points.size() : 0);
    for (int row = 0; r && row < r->points.size(); ++row) {
        const QStringList cells = rowCells(r->points[row], r->header, m_language);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(Qt::AlignCenter);
            if (c != ColMeasuredMa)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            t->setItem(row, c, item);
        }
    }
    m_filling = false;
    QString title = text(stage == Stage::AsFound ? Text::AsFound : Text::AsLeft, m_language);
    if (r)
        title += QStringLiteral(" · ") + text(Text::Verdict, m_language) + QStringLiteral(": ") + verdictText(verdict(*r), m_language);
    group->setTitle(title);
}

// The loop current the technician read on a meter, typed into the row.
void CheckRunner::onCellChanged(QTableWidget *t, Stage stage, int row, int column)
{
    auto &r = recordOf(stage);
    if (m_filling || column != ColMeasuredMa || !r || row >= r->points.size())
        return;
    const QString typed = t->item(row, column)->text().trimmed();
    const auto ma = parseNumber(typed);
    // Whatever happens, the row shows what the record holds.
    QTimer::singleShot(0, this, [this, stage] { showRecord(stage); });
    if (!typed.isEmpty() && !ma) {
        m_hooks.status(text(Text::BadNumber, m_language).arg(typed));
        return;
    }
    if (r->points[row].currentMa == ma)
        return;
    if (stage != m_running && !m_hooks.amend(*r))
        return;
    setTypedCurrent(*r, row, ma);
    if (stage != m_running)
        m_hooks.save(*r);
}
