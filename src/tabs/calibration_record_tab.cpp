#include "tabs/calibration_record_tab.h"

#include "core/registers.h"
#include "link/link.h"

#include "core/config_file.h"
#include "core/configuration.h"
#include "record/certificate.h"
#include "record/number_input.h"
#include "record/record_csv.h"
#include "record/record_table.h"
#include "records_db/draft_store.h"
#include "tabs/instrument_list.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

using namespace record;

namespace {

QLineEdit *lineEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QDoubleSpinBox *numberBox(const char *name, double min, double max, int decimals, double value)
{
    auto *box = new QDoubleSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setRange(min, max);
    box->setDecimals(decimals);
    box->setValue(value);
    return box;
}

} // namespace

CalibrationRecordTab::CalibrationRecordTab(rtu::Link &link, QWidget *parent)
    : QWidget(parent), m_link(link)
{
    setObjectName(QStringLiteral("calibrationRecordTab"));
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    auto *top = new QHBoxLayout;
    top->addWidget(buildHeader(), 3);
    top->addWidget(buildCheck(), 2);
    column->addLayout(top);
    column->addWidget(buildTables(), 1);
    column->addWidget(buildHistory());

    // The tab area is small in the window; everything stays reachable.
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    m_waitTicker = new QTimer(this);
    m_waitTicker->setInterval(250);
    connect(m_waitTicker, &QTimer::timeout, this, &CalibrationRecordTab::onWaitTick);
    fillDefaultPoints();
    applyTexts();
}

QLabel *CalibrationRecordTab::label(Text text)
{
    auto *l = new QLabel;
    m_labelled.append({l, text});
    return l;
}

QPushButton *CalibrationRecordTab::button(Text text, const char *name)
{
    auto *b = new QPushButton;
    b->setObjectName(QLatin1String(name));
    m_labelled.append({b, text});
    return b;
}

QTableWidget *CalibrationRecordTab::table(const char *name, int columns)
{
    auto *t = new QTableWidget(0, columns);
    t->setObjectName(QLatin1String(name));
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setMinimumHeight(150);
    return t;
}

QWidget *CalibrationRecordTab::buildHeader()
{
    auto *group = new QGroupBox;
    m_labelled.append({group, Text::HeaderGroup});
    auto *grid = new QGridLayout(group);
    m_tag = lineEdit("lineEdit_record_tag", group);
    m_serial = lineEdit("lineEdit_record_serial", group);
    m_description = lineEdit("lineEdit_record_description", group);
    m_technician = lineEdit("lineEdit_record_technician", group);
    m_reference = lineEdit("lineEdit_record_reference", group);
    m_ambient = lineEdit("lineEdit_record_ambient", group);
    m_laboratory = lineEdit("lineEdit_record_laboratory", group);
    m_procedure = lineEdit("lineEdit_record_procedure", group);
    m_referenceCertificate = lineEdit("lineEdit_record_reference_certificate", group);
    m_uncertainty = lineEdit("lineEdit_record_uncertainty", group);
    m_override = lineEdit("lineEdit_record_override", group);
    m_amendReason = lineEdit("lineEdit_record_amend_reason", group);
    // No due date until one is typed: the blank minimum stands for "not given".
    m_due = new QDateEdit;
    m_due->setObjectName(QStringLiteral("dateEdit_record_due"));
    m_due->setCalendarPopup(true);
    m_due->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_due->setMinimumDate(QDate(2000, 1, 1));
    m_due->setSpecialValueText(QStringLiteral(" "));
    m_due->setDate(m_due->minimumDate());
    m_tolerance = numberBox("spinBox_record_tolerance", 0.0, 1000.0, 3, 0.5);
    m_toleranceKind = new QComboBox;
    m_toleranceKind->setObjectName(QStringLiteral("comboBox_record_tolerance_kind"));
    m_toleranceKind->addItems({QString(), QString()});
    m_lower = numberBox("spinBox_record_lower", -3276.8, 3276.7, 1, 0.0);
    m_upper = numberBox("spinBox_record_upper", -3276.8, 3276.7, 1, 1000.0);
    m_unitLabel = new QLabel(m_unit);
    auto *readRangeButton = button(Text::ReadRange, "pushButton_record_read_range");
    m_points = lineEdit("lineEdit_record_points", group);
    auto *defaults = button(Text::DefaultPoints, "pushButton_record_default_points");
    m_polls = new QSpinBox;
    m_polls->setObjectName(QStringLiteral("spinBox_record_polls"));
    m_polls->setRange(1, 50);
    m_polls->setValue(5);
    m_band = numberBox("spinBox_record_band", 0.0, 100.0, 2, 0.2);
    m_timeout = new QSpinBox;
    m_timeout->setObjectName(QStringLiteral("spinBox_record_timeout"));
    m_timeout->setRange(5, 3600);
    m_timeout->setValue(60);
    m_folder = lineEdit("lineEdit_record_folder", group);
    m_folder->setText(recordsdb::defaultRecordsFolder());

    const QList<QPair<Text, QWidget *>> left = {
        {Text::Tag, m_tag}, {Text::Serial, m_serial}, {Text::Description, m_description},
        {Text::Technician, m_technician}, {Text::Laboratory, m_laboratory}, {Text::Procedure, m_procedure},
        {Text::ReferenceInstrument, m_reference}, {Text::ReferenceCertificate, m_referenceCertificate},
        {Text::ReferenceDue, m_due}, {Text::OverrideReason, m_override}, {Text::Uncertainty, m_uncertainty},
        {Text::AmendReason, m_amendReason}};
    for (int row = 0; row < left.size(); ++row) {
        grid->addWidget(label(left[row].first), row, 0);
        grid->addWidget(left[row].second, row, 1);
    }
    auto *tolerance = new QHBoxLayout;
    tolerance->addWidget(m_tolerance);
    tolerance->addWidget(m_toleranceKind);
    auto *range = new QHBoxLayout;
    range->addWidget(m_lower);
    range->addWidget(m_upper);
    range->addWidget(m_unitLabel);
    range->addWidget(readRangeButton);
    auto *points = new QHBoxLayout;
    points->addWidget(m_points, 1);
    points->addWidget(defaults);
    auto *stability = new QHBoxLayout;
    stability->addWidget(m_polls);
    stability->addWidget(label(Text::StableBand));
    stability->addWidget(m_band);
    stability->addWidget(label(Text::StableTimeout));
    stability->addWidget(m_timeout);
    auto *ambient = new QHBoxLayout;
    ambient->addWidget(m_ambient);
    auto *folder = new QHBoxLayout;
    folder->addWidget(m_folder);
    const QList<QPair<Text, QLayout *>> right = {
        {Text::Ambient, ambient}, {Text::Tolerance, tolerance}, {Text::RangeLower, range},
        {Text::TestPoints, points}, {Text::StablePolls, stability}, {Text::RecordsFolder, folder}};
    for (int row = 0; row < right.size(); ++row) {
        grid->addWidget(label(right[row].first), row, 2);
        grid->addLayout(right[row].second, row, 3);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 2);

    connect(readRangeButton, &QPushButton::clicked, this, &CalibrationRecordTab::readRange);
    connect(defaults, &QPushButton::clicked, this, &CalibrationRecordTab::fillDefaultPoints);
    connect(m_serial, &QLineEdit::editingFinished, this, &CalibrationRecordTab::refreshHistory);
    connect(m_folder, &QLineEdit::editingFinished, this, &CalibrationRecordTab::refreshHistory);
    return group;
}

QWidget *CalibrationRecordTab::buildCheck()
{
    auto *group = new QGroupBox;
    m_labelled.append({group, Text::CheckGroup});
    auto *layout = new QVBoxLayout(group);
    auto *starts = new QHBoxLayout;
    auto *found = button(Text::StartAsFound, "pushButton_record_as_found");
    auto *left = button(Text::StartAsLeft, "pushButton_record_as_left");
    starts->addWidget(found);
    starts->addWidget(left);
    layout->addLayout(starts);
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
    for (QLabel *l : {m_apply, m_live, m_countdown})
        layout->addWidget(l);
    auto *steps = new QHBoxLayout;
    auto *measure = button(Text::Measure, "pushButton_record_measure");
    steps->addWidget(measure);
    m_repeat = button(Text::Repeat, "pushButton_record_repeat");
    m_skip = button(Text::Skip, "pushButton_record_skip");
    steps->addWidget(m_repeat);
    steps->addWidget(m_skip);
    layout->addLayout(steps);
    auto *exports = new QHBoxLayout;
    auto *csv = button(Text::ExportCsv, "pushButton_record_csv");
    auto *pdf = button(Text::ExportPdf, "pushButton_record_pdf");
    m_bom = new QCheckBox;
    m_bom->setObjectName(QStringLiteral("checkBox_record_bom"));
    m_labelled.append({m_bom, Text::CsvBom});
    exports->addWidget(csv);
    exports->addWidget(m_bom);
    exports->addWidget(pdf);
    layout->addLayout(exports);
    auto *records = new QHBoxLayout;
    auto *verify = button(Text::VerifyChain, "pushButton_record_verify");
    auto *import = button(Text::ImportJson, "pushButton_record_import");
    auto *instruments = button(Text::Instruments, "pushButton_record_instruments");
    auto *drafts = button(Text::StoreDrafts, "pushButton_record_store_drafts");
    records->addWidget(instruments);
    records->addWidget(verify);
    records->addWidget(import);
    records->addWidget(drafts);
    layout->addLayout(records);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("label_record_status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_status);
    layout->addStretch(1);

    connect(found, &QPushButton::clicked, this, [this] { startCheck(Stage::AsFound); });
    connect(left, &QPushButton::clicked, this, [this] { startCheck(Stage::AsLeft); });
    connect(measure, &QPushButton::clicked, this, &CalibrationRecordTab::startWait);
    connect(m_repeat, &QPushButton::clicked, this, &CalibrationRecordTab::repeatPoint);
    connect(m_skip, &QPushButton::clicked, this, &CalibrationRecordTab::skipPoint);
    connect(csv, &QPushButton::clicked, this, &CalibrationRecordTab::exportCsv);
    connect(pdf, &QPushButton::clicked, this, &CalibrationRecordTab::exportPdf);
    connect(verify, &QPushButton::clicked, this, &CalibrationRecordTab::verifyChain);
    connect(drafts, &QPushButton::clicked, this, &CalibrationRecordTab::storeDrafts);
    connect(instruments, &QPushButton::clicked, this, &CalibrationRecordTab::openInstruments);
    connect(import, &QPushButton::clicked, this, &CalibrationRecordTab::importJson);
    return group;
}

QWidget *CalibrationRecordTab::buildTables()
{
    auto *box = new QWidget;
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    m_foundTable = table("tableWidget_record_as_found", ColumnCount);
    m_leftTable = table("tableWidget_record_as_left", ColumnCount);
    m_foundVerdict = new QLabel;
    m_leftVerdict = new QLabel;
    for (auto [title, t, verdictLabel, stage] :
         {std::tuple{Text::AsFound, m_foundTable, m_foundVerdict, Stage::AsFound},
          std::tuple{Text::AsLeft, m_leftTable, m_leftVerdict, Stage::AsLeft}}) {
        auto *group = new QGroupBox;
        m_labelled.append({group, title});
        auto *layout = new QVBoxLayout(group);
        layout->addWidget(t);
        layout->addWidget(verdictLabel);
        row->addWidget(group);
        connect(t, &QTableWidget::cellChanged, this,
                [this, t = t, stage = stage](int r, int c) { onCellChanged(t, stage, r, c); });
    }
    return box;
}

QWidget *CalibrationRecordTab::buildHistory()
{
    auto *group = new QGroupBox;
    m_labelled.append({group, Text::History});
    auto *row = new QHBoxLayout(group);
    m_history = table("tableWidget_record_history", 3);
    m_history->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_drift = table("tableWidget_record_drift", 4);
    m_drift->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_driftTitle = new QLabel;
    m_driftTitle->setObjectName(QStringLiteral("label_record_drift"));
    auto *driftColumn = new QVBoxLayout;
    driftColumn->addWidget(m_driftTitle);
    driftColumn->addWidget(m_drift);
    row->addWidget(m_history, 1);
    row->addLayout(driftColumn, 1);
    return group;
}

void CalibrationRecordTab::setLanguage(int language)
{
    if (language < 0 || language > 2)
        return;
    m_language = language;
    applyTexts();
}

void CalibrationRecordTab::applyTexts()
{
    setWindowTitle(title());
    for (const Labelled &l : m_labelled) {
        const QString t = text(l.text, m_language);
        if (auto *labelWidget = qobject_cast<QLabel *>(l.widget))
            labelWidget->setText(t);
        else if (auto *b = qobject_cast<QPushButton *>(l.widget))
            b->setText(t);
        else if (auto *g = qobject_cast<QGroupBox *>(l.widget))
            g->setTitle(t);
        else if (auto *c = qobject_cast<QCheckBox *>(l.widget))
            c->setText(t);
    }
    m_toleranceKind->setItemText(0, m_unit);
    m_toleranceKind->setItemText(1, text(Text::TolerancePercent, m_language));
    m_history->setHorizontalHeaderLabels({text(Text::HistoryTime, m_language),
                                          text(Text::HistoryStage, m_language),
                                          text(Text::HistoryVerdict, m_language)});
    m_drift->setHorizontalHeaderLabels({text(Text::ColReference, m_language),
                                        text(Text::AsLeft, m_language),
                                        text(Text::AsFound, m_language),
                                        text(Text::ColError, m_language)});
    showRecord(Stage::AsFound);
    showRecord(Stage::AsLeft);
    refreshHistory();
    if (m_running)
        showCurrentPoint();
    else if (!m_running)
        m_apply->setText(text(Text::NoCheck, m_language));
}

// --- header and settings ---

Header CalibrationRecordTab::header() const
{
    Header h;
    h.tag = m_tag->text().trimmed();
    h.serial = m_serial->text().trimmed();
    h.description = m_description->text().trimmed();
    h.technician = m_technician->text().trimmed();
    h.reference = m_reference->text().trimmed();
    h.referenceDue = m_due->date() == m_due->minimumDate() ? QDate() : m_due->date();
    h.referenceCertificate = m_referenceCertificate->text().trimmed();

    h.laboratory = m_laboratory->text().trimmed();
    h.inputType = m_inputType;
    h.procedure = m_procedure->text().trimmed();
    h.uncertainty = parseNumber(m_uncertainty->text());
    h.ambient = m_ambient->text().trimmed();
    h.unit = m_unit;
    h.tolerance = {m_toleranceKind->currentIndex() == 0 ? Tolerance::Kind::Degrees
                                                        : Tolerance::Kind::PercentOfSpan,
                   m_tolerance->value()};
    h.range = {m_lower->value(), m_upper->value()};
    h.address = m_link.isOpen() ? m_link.address() : 0;
    // The reason for an expired reference belongs on the record only when it is expired.
    if (referenceState(h, QDate::currentDate()) == ReferenceState::Expired)
        h.referenceOverride = m_override->text().trimmed();
    return h;
}

std::optional<QVector<double>> CalibrationRecordTab::typedPoints() const
{
    const ParsedPoints parsed = parsePoints(m_points->text());
    if (parsed.points.isEmpty())
        return std::nullopt;
    return parsed.points;
}

StabilitySettings CalibrationRecordTab::stabilitySettings() const
{
    return {m_polls->value(), m_band->value(), m_timeout->value() * 1000};
}

QString CalibrationRecordTab::recordsFolder() const
{
    return m_folder->text().trimmed();
}

void CalibrationRecordTab::readRange()
{
    const auto words = readHolding();
    if (!words || words->size() <= 6) {
        showStatus(text(Text::RangeReadFailed, m_language));
        return;
    }
    const Range range = rangeFromWords(words->at(1), words->at(2));
    const QString unit = reg::unitSymbol(words->at(reg::kUnit));
    m_unit = unit.isEmpty() ? QStringLiteral("°C") : unit;
    m_unitLabel->setText(m_unit);
    m_toleranceKind->setItemText(0, m_unit);
    m_lower->setValue(range.lower);
    m_upper->setValue(range.upper);
    fillDefaultPoints();
}

// The holding block through the link, under its operation guard; nullopt when
// another operation runs, the link is down or the read failed.
std::optional<QVector<quint16>> CalibrationRecordTab::readHolding()
{
    std::optional<QVector<quint16>> words;
    m_link.runOperation([&] {
        const core::BlockReply reply = m_link.readBlock(core::Block::Holding);
        if (reply.ok())
            words = reply.words;
        else if (!m_link.operationLinkLost())
            emit deviceReadFailed();
    });
    return words;
}

void CalibrationRecordTab::fillDefaultPoints()
{
    m_points->setText(pointsText(testPoints({m_lower->value(), m_upper->value()}, defaultPercents())));
    m_points->setCursorPosition(0);
}

// --- the guided check ---

std::optional<Record> &CalibrationRecordTab::recordOf(Stage stage)
{
    return stage == Stage::AsFound ? m_found : m_left;
}

QTableWidget *CalibrationRecordTab::tableOf(Stage stage) const
{
    return stage == Stage::AsFound ? m_foundTable : m_leftTable;
}

void CalibrationRecordTab::startCheck(Stage stage)
{
    const auto points = typedPoints();
    const QString refused = parsePoints(m_points->text()).refused;
    if (!refused.isEmpty()) {
        showStatus(text(Text::BadPoints, m_language).arg(refused));
        return;
    }
    if (!points || !header().range.valid()) {
        showStatus(text(Text::TestPoints, m_language) + QStringLiteral(" ?"));
        return;
    }
    if (!m_uncertainty->text().trimmed().isEmpty() && !header().uncertainty) {
        showStatus(text(Text::BadNumber, m_language).arg(m_uncertainty->text().trimmed()));
        return;
    }
    switch (referenceState(header(), QDate::currentDate())) {
    case ReferenceState::Missing:
        showStatus(text(Text::DueMissing, m_language));
        return;
    case ReferenceState::Expired:
        if (header().referenceOverride.isEmpty()) {
            showStatus(text(Text::DueExpired, m_language).arg(header().referenceDue.toString(Qt::ISODate)));
            return;
        }
        break;
    case ReferenceState::Valid:
        break;
    }
    saveRemembered();
    // A new as-found check begins a new calibration: the old as-left is history.
    if (stage == Stage::AsFound)
        m_left.reset();
    recordOf(stage) = newRecord(header(), stage, *points, QDateTime::currentDateTimeUtc());
    // The configuration the check was made with, when the transmitter can be read.
    if (const auto words = readHolding()) {
        if (const auto configuration = config::fromHolding(*words)) {
            Record &r = *recordOf(stage);
            r.configuration = QJsonDocument::fromJson(config::toJson(*configuration)).object();
            const config::FieldDef &input = config::fields().front();   // the input type comes first
            r.header.inputType = config::valueText(input, config::fieldWords(*configuration, input));
        }
    }
    m_running = stage;
    m_lastStage = stage;
    m_point = 0;
    showRecord(Stage::AsFound);
    showRecord(Stage::AsLeft);
    beginPoint();
}

void CalibrationRecordTab::beginPoint()
{
    const Record &r = *recordOf(*m_running);
    while (m_point < r.points.size() && r.points[m_point].status != Point::Status::Pending)
        ++m_point;
    if (m_point >= r.points.size())
        finishCheck();
    else
        showCurrentPoint();
}

void CalibrationRecordTab::showCurrentPoint()
{
    const Point &p = recordOf(*m_running)->points[m_point];
    tableOf(*m_running)->selectRow(m_point);
    m_apply->setText(text(Text::Apply, m_language).arg(QString::number(p.reference, 'f', 1), m_unit));
    if (m_waiting)
        showCountdown();
    else
        m_countdown->setText(text(p.status == Point::Status::NotStable ? Text::NotStable : Text::PressMeasure,
                                  m_language));
}

// The technician has set the calibrator: from now on the polls count.
void CalibrationRecordTab::startWait()
{
    if (!m_running || m_waiting)
        return;
    m_detector = StabilityDetector(stabilitySettings());
    m_waitClock.start();
    m_waiting = true;
    m_waitTicker->start();
    showCountdown();
}

void CalibrationRecordTab::stopWait()
{
    m_waiting = false;
    m_waitTicker->stop();
}

void CalibrationRecordTab::showCountdown()
{
    m_countdown->setText(text(Text::Countdown, m_language)
                             .arg(m_detector.pollsToGo())
                             .arg((m_detector.msToGo(m_waitClock.elapsed()) + 999) / 1000));
}

void CalibrationRecordTab::onLiveValues(const reg::LiveValues &values)
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

void CalibrationRecordTab::showReading()
{
    m_live->setText(text(Text::Reading, m_language)
                        .arg(m_lastReading ? QString::number(*m_lastReading) + QLatin1Char(' ') + m_unit
                                           : QStringLiteral("--")));
}

void CalibrationRecordTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showReading();
}

void CalibrationRecordTab::onWaitTick()
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

void CalibrationRecordTab::recordPoint(double reading)
{
    stopWait();
    Point &p = recordOf(*m_running)->points[m_point];
    p.status = Point::Status::Recorded;
    p.reading = reading;
    p.time = QDateTime::currentDateTimeUtc();
    showRecord(*m_running);
    ++m_point;
    beginPoint();
}

void CalibrationRecordTab::finishCheck()
{
    stopWait();
    const Stage stage = *m_running;
    m_running.reset();
    m_apply->setText(text(Text::CheckDone, m_language));
    m_countdown->clear();
    saveRecord(*recordOf(stage));
}

// A finished check stays as it was stored: a change to it becomes an
// amendment (a new version naming the one it supersedes), and only with a reason.
bool CalibrationRecordTab::amendFinished(Stage stage)
{
    Record &r = *recordOf(stage);
    const QString reason = m_amendReason->text().trimmed();
    if (reason.isEmpty() || r.id == 0) {
        showStatus(text(Text::FinishedUnchanged, m_language));
        return false;
    }
    r.amendment = Amendment{r.id, reason, m_technician->text().trimmed()};
    r.id = 0;
    m_amendReason->clear();
    return true;
}

// Repeats the current point, or the row picked in the last check's table.
void CalibrationRecordTab::repeatPoint()
{
    const std::optional<Stage> stage = m_running ? m_running : m_lastStage;
    if (!stage || !recordOf(*stage))
        return;
    Record &r = *recordOf(*stage);
    const int selected = tableOf(*stage)->currentRow();
    const int row = !m_waiting && selected >= 0 ? selected : m_point;
    if (row < 0 || row >= r.points.size())
        return;
    if (!m_running && !amendFinished(*stage))
        return;
    r.points[row].status = Point::Status::Pending;
    m_running = stage;
    m_point = row;
    stopWait();
    showRecord(*stage);
    beginPoint();
}

void CalibrationRecordTab::skipPoint()
{
    if (!m_running)
        return;
    recordOf(*m_running)->points[m_point].status = Point::Status::Skipped;
    stopWait();
    showRecord(*m_running);
    ++m_point;
    beginPoint();
}

// --- results, files and history ---

void CalibrationRecordTab::showRecord(Stage stage)
{
    QTableWidget *t = tableOf(stage);
    QLabel *verdictLabel = stage == Stage::AsFound ? m_foundVerdict : m_leftVerdict;
    const auto &r = recordOf(stage);
    m_filling = true;
    t->setHorizontalHeaderLabels(columnTitles(m_language));
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
    verdictLabel->setText(r ? text(Text::Verdict, m_language) + QStringLiteral(": ")
                                  + verdictText(verdict(*r), m_language)
                            : QString());
}

// The loop current the technician read on a meter, typed into the row.
void CalibrationRecordTab::onCellChanged(QTableWidget *t, Stage stage, int row, int column)
{
    auto &r = recordOf(stage);
    if (m_filling || column != ColMeasuredMa || !r || row >= r->points.size())
        return;
    const QString typed = t->item(row, column)->text().trimmed();
    const auto ma = parseNumber(typed);
    // Whatever happens, the row shows what the record holds.
    QTimer::singleShot(0, this, [this, stage] { showRecord(stage); });
    if (!typed.isEmpty() && !ma) {
        showStatus(text(Text::BadNumber, m_language).arg(typed));
        return;
    }
    if (r->points[row].currentMa == ma)
        return;
    if (stage != m_running && !amendFinished(stage))
        return;
    setTypedCurrent(*r, row, ma);
    if (stage != m_running)
        saveRecord(*r);
}

recordsdb::RecordDb *CalibrationRecordTab::database()
{
    if (m_db && m_dbFolder == recordsFolder())
        return m_db.get();
    m_db = std::make_unique<recordsdb::RecordDb>();
    m_dbFolder = recordsFolder();
    recordsdb::DbSettings settings = recordsdb::fromEnvironment(m_dbFolder);
    // A shared PostgreSQL database: the password is asked for, never kept.
    if (settings.kind == recordsdb::DbSettings::Kind::Postgres && settings.password.isEmpty())
        settings.password = QInputDialog::getText(this, recordsdb::describe(settings), QStringLiteral("Password"),
                                                  QLineEdit::Password);
    if (m_db->open(settings))
        return m_db.get();
    showStatus(text(Text::DatabaseFailed, m_language).arg(m_db->error()));
    m_db.reset();
    return nullptr;
}

// --- Drafts: a finished check is never lost (recordsdb::DraftStore keeps the logic) ---
void CalibrationRecordTab::saveRecord(Record &r)
{
    const recordsdb::DraftStore::Saved saved = recordsdb::DraftStore(recordsFolder()).save(database(), r);
    if (saved.number)
        r.id = *saved.number;
    refreshHistory();
    showStatus(saved.number ? text(Text::Saved, m_language).arg(QStringLiteral("#%1").arg(*saved.number))
                            : text(Text::NotStoredYet, m_language).arg(saved.draft, saved.error));
}

void CalibrationRecordTab::storeDrafts()
{
    recordsdb::DraftStore drafts(recordsFolder());
    auto *db = drafts.pending().isEmpty() ? nullptr : database();
    QString error;
    const auto stored = db ? drafts.storePending(*db, error) : std::nullopt;
    for (const auto &s : stored.value_or(QVector<recordsdb::DraftStore::Stored>())) {
        for (auto *r : {&m_found, &m_left}) {
            if (*r && (*r)->id == 0 && recordsdb::canonicalContent(**r) == s.content)
                (*r)->id = s.number;
        }
    }
    refreshHistory();
    showStatus(text(Text::DraftsLeft, m_language).arg(drafts.pending().size()).arg(error));
}
// --- end of drafts ---

void CalibrationRecordTab::verifyChain()
{
    auto *db = database();
    if (!db)
        return;
    const recordsdb::ChainReport report = db->verify();
    QStringList named;
    for (const recordsdb::ChainFault &f : report.faults)
        named << QStringLiteral("#%1 %2 (%3)").arg(f.number).arg(f.serial, f.what);
    showStatus(report.intact() ? text(Text::ChainIntact, m_language).arg(report.records)
                               : text(Text::ChainBroken, m_language).arg(named.join(QStringLiteral("; "))));
}

void CalibrationRecordTab::openInstruments()
{
    auto *db = database();
    if (!db)
        return;
    auto *dialog = new InstrumentListDialog(*db, m_language, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &InstrumentListDialog::checkRequested, this, &CalibrationRecordTab::useInstrument);
    dialog->open();
}

void CalibrationRecordTab::useInstrument(const recordsdb::Instrument &i)
{
    m_tag->setText(i.tag);
    m_serial->setText(i.serial);
    m_description->setText(i.description);
    m_inputType = i.inputType;
    m_unit = i.unit;
    m_unitLabel->setText(m_unit);
    m_toleranceKind->setItemText(0, m_unit);
    m_lower->setValue(i.rangeLower);
    m_upper->setValue(i.rangeUpper);
    fillDefaultPoints();
    refreshHistory();
}

namespace {
const char kRemembered[] = "record/header";
}

void CalibrationRecordTab::rememberHeader()
{
    m_remember = true;
    QSettings settings;
    settings.beginGroup(QLatin1String(kRemembered));
    for (QLineEdit *e : {m_technician, m_laboratory, m_procedure, m_reference, m_referenceCertificate})
        e->setText(settings.value(e->objectName()).toString());
    const QDate due = settings.value(m_due->objectName()).toDate();
    if (due.isValid())
        m_due->setDate(due);
}

void CalibrationRecordTab::saveRemembered() const
{
    if (!m_remember)
        return;
    QSettings settings;
    settings.beginGroup(QLatin1String(kRemembered));
    for (QLineEdit *e : {m_technician, m_laboratory, m_procedure, m_reference, m_referenceCertificate})
        settings.setValue(e->objectName(), e->text().trimmed());
    settings.setValue(m_due->objectName(), header().referenceDue);
}

void CalibrationRecordTab::importJson()
{
    auto *db = database();
    if (!db)
        return;
    const recordsdb::ImportReport report = db->importFolder(recordsFolder());
    showStatus(text(Text::ImportedCount, m_language).arg(report.imported).arg(report.already));
    refreshHistory();
}

QString CalibrationRecordTab::exportPath(const QString &suffix) const
{
    const Record &r = m_left ? *m_left : *m_found;
    QString name = fileName(r);
    name.replace(QRegularExpression(QStringLiteral("_as-(found|left)\\.json$")), suffix);
    return QDir(recordsFolder()).filePath(name);
}

void CalibrationRecordTab::exportCsv()
{
    if (!m_found && !m_left)
        return;
    QVector<Record> checks;
    for (const auto &r : {m_found, m_left}) {
        if (r)
            checks << *r;
    }
    const QString path = exportPath(QStringLiteral("_record.csv"));
    QDir().mkpath(recordsFolder());
    const bool ok = writeCsv(path, checks, m_bom->isChecked());
    showStatus(text(ok ? Text::Exported : Text::SaveFailed, m_language).arg(path));
}

void CalibrationRecordTab::exportPdf()
{
    if (!m_found && !m_left)
        return;
    // Only stored checks are certified; the number comes from the database.
    auto *db = database();
    if (!db || (m_found && m_found->id == 0) || (m_left && m_left->id == 0)) {
        showStatus(text(Text::SaveFailed, m_language).arg(db ? db->error() : recordsFolder()));
        return;
    }
    const auto number = db->issueCertificate(m_found ? m_found->id : 0, m_left ? m_left->id : 0);
    if (!number) {
        showStatus(text(Text::SaveFailed, m_language).arg(db->error()));
        return;
    }
    const QString path = exportPath(QStringLiteral("_certificate.pdf"));
    QDir().mkpath(recordsFolder());
    const bool ok = writeCertificate(path, {m_found, m_left, m_language, *number});
    showStatus(text(ok ? Text::Exported : Text::SaveFailed, m_language).arg(path));
}

void CalibrationRecordTab::refreshHistory()
{
    const QString serial = m_serial->text().trimmed();
    auto *db = serial.isEmpty() || recordsFolder().isEmpty() ? nullptr : database();
    const auto stored = db ? db->list(serial).value_or(QVector<recordsdb::StoredRecord>()) : QVector<recordsdb::StoredRecord>();
    QVector<StoredRecord> list;
    for (const auto &row : stored)
        list.append({QString::number(row.record.id), row.record});
    m_history->setRowCount(list.size());
    for (int row = 0; row < list.size(); ++row) {
        const Record &r = list[row].record;
        QString stage = text(r.stage == Stage::AsFound ? Text::AsFound : Text::AsLeft, m_language);
        stage += QStringLiteral(" #%1").arg(r.id);
        if (r.amendment)
            stage += QStringLiteral(" → #%1").arg(r.amendment->supersedes);
        const QStringList cells{localTimeText(r.started), stage, verdictText(verdict(r), m_language)};
        for (int c = 0; c < cells.size(); ++c)
            m_history->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
    const auto before = m_found ? lastAsLeftBefore(list, m_found->started) : std::nullopt;
    const auto rows = before ? drift(*before, *m_found) : QVector<DriftRow>();
    m_driftTitle->setText(before ? text(Text::Drift, m_language)
                                       .arg(before->started.toString(QStringLiteral("yyyy-MM-dd")))
                                 : text(Text::NoDrift, m_language));
    m_drift->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        const DriftRow &d = rows[row];
        const QStringList cells{QString::number(d.reference, 'f', 1), QString::number(d.before, 'f', 2),
                                QString::number(d.now, 'f', 2), QString::number(d.drift(), 'f', 2)};
        for (int c = 0; c < cells.size(); ++c)
            m_drift->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
}

void CalibrationRecordTab::showStatus(const QString &message)
{
    m_status->setText(message);
}
