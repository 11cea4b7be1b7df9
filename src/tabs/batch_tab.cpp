#include "tabs/batch_tab.h"
#include "widgets/modal_guard.h"

#include "automation/batch_job.h"
#include "automation/channel_map.h"
#include "automation/run_records.h"
#include "instruments/instrument.h"
#include "link/link.h"
#include "record/certificate.h"
#include "records_db/record_db.h"
#include "tabs/record_header_form.h"
#include "tabs/auto_calibration_texts.h"
#include "tabs/batch_cells.h"
#include "tabs/batch_handover.h"
#include "tabs/batch_texts.h"
#include "texts/engine_texts.h"
#include "tabs/instrument_picker.h"
#include "tabs/tab_fit.h"
#include "texts/lab_texts.h"

#include <algorithm>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <memory>
#include <vector>

using batchtext::Text;

namespace {

// Unit, serial, one column per point, outcome, certificate.
constexpr int kFirstPoint = 2;

} // namespace

BatchTab::BatchTab(rtu::Link &windowLink, QWidget *parent) : BatchTab(windowLink, *new autocal::RunRegistry, parent)
{
    m_runs->setParent(this);
}

BatchTab::BatchTab(rtu::Link &windowLink, autocal::RunRegistry &runs, QWidget *parent)
    : QWidget(parent), m_windowLink(windowLink), m_runs(&runs)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabfit::scrolled(buildInputs()));
    // Start and Abort outside the scrolled inputs: always in sight.
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_abort);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addWidget(buildProgress(), 1);
    tabfit::keepRows(m_table, 5);
    m_tick = new QTimer(this);
    connect(m_tick, &QTimer::timeout, this, &BatchTab::showProgress);
    recall();
    connect(m_runs, &autocal::RunRegistry::started, this, &BatchTab::showRegistry);
    connect(m_runs, &autocal::RunRegistry::ended, this, [this](autocal::Run *run) {
        if (run == m_run)
            m_run = nullptr;
        showRegistry();
    });
    // The units of the map as soon as it names a whole one, before any run.
    connect(m_map, &QLineEdit::editingFinished, this, &BatchTab::showMapUnits);
    setRunning(false);
    setLanguage(0);
    showMapUnits();
}

// The run is the registry's: it goes on to its safe end without the tab.
BatchTab::~BatchTab() = default;

void BatchTab::setRecords(std::function<recordsdb::RecordDb *()> database, std::function<QString()> folder)
{
    m_database = std::move(database);
    m_folder = std::move(folder);
}

void BatchTab::setAddresses(const QString &source, const QString &meter, const QString &routeSwitch)
{
    m_source->address()->setText(source);
    m_meter->address()->setText(meter);
    m_switch->address()->setText(routeSwitch);
}

QLineEdit *BatchTab::fileField(const char *name, QPushButton *&browse, const QString &filter)
{
    auto *field = new QLineEdit;
    field->setObjectName(QLatin1String(name));
    browse = new QPushButton;
    modal_guard::holdDuringRuns(browse);
    connect(browse, &QPushButton::clicked, this, [this, field, filter] {
        if (!modal_guard::mayOpen())
            return;
        const QString path = QFileDialog::getOpenFileName(this, QString(), field->text(), filter);
        if (!path.isEmpty())
            field->setText(path);
    });
    return field;
}

QWidget *BatchTab::buildInputs()
{
    m_source = new InstrumentPicker(instruments::Role::Calibrator);
    m_meter = new InstrumentPicker(instruments::Role::Meter);
    m_switch = new InstrumentPicker(instruments::Role::Switch);
    auto *group = new QGroupBox;
    m_inputs = group;
    m_map = fileField("lineEdit_batch_map", m_browseMap, QStringLiteral("*.json"));
    m_file = fileField("lineEdit_batch_procedure", m_browseFile, QStringLiteral("*.json"));
    m_points = new QLineEdit(QStringLiteral("0%,25%,50%,75%,100%"));
    m_points->setObjectName(QStringLiteral("lineEdit_batch_points"));
    m_tolerance = new QLineEdit(QStringLiteral("1.0"));
    m_tolerance->setObjectName(QStringLiteral("lineEdit_batch_tolerance"));
    m_mapLabel = new QLabel;
    m_fileLabel = new QLabel;
    m_pointsLabel = new QLabel;
    m_toleranceLabel = new QLabel;
    const auto withBrowse = [](QLineEdit *field, QPushButton *browse) {
        auto *row = new QHBoxLayout;
        row->addWidget(field, 1);
        row->addWidget(browse);
        return row;
    };
    m_start = new QPushButton;
    m_start->setObjectName(QStringLiteral("pushButton_batch_start"));
    m_abort = new QPushButton;
    m_abort->setObjectName(QStringLiteral("pushButton_batch_abort"));
    auto *form = new QFormLayout(group);
    form->addRow(m_mapLabel, withBrowse(m_map, m_browseMap));
    form->addRow(m_fileLabel, withBrowse(m_file, m_browseFile));
    form->addRow(m_pointsLabel, m_points);
    form->addRow(m_toleranceLabel, m_tolerance);
    connect(m_start, &QPushButton::clicked, this, &BatchTab::start);
    connect(m_abort, &QPushButton::clicked, this, &BatchTab::abort);
    m_environment = new InstrumentPicker(instruments::Role::Environment);
    m_environment->setObjectName(QStringLiteral("picker_batch_environment"));
    // Four instruments two by two, so the row fits a narrow window.
    auto *pickers = new QGridLayout;
    pickers->addWidget(m_source, 0, 0);
    pickers->addWidget(m_meter, 0, 1);
    pickers->addWidget(m_switch, 1, 0);
    pickers->addWidget(m_environment, 1, 1);
    auto *box = new QWidget;
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addLayout(pickers);
    row->addWidget(group, 1);
    return box;
}

QWidget *BatchTab::buildProgress()
{
    m_bar = new QProgressBar;
    m_bar->setRange(0, 1000);
    m_bar->setTextVisible(false);
    m_phase = new QLabel;
    m_remaining = new QLabel;
    m_legend = new QLabel;
    m_legend->setWordWrap(true);
    m_result = new QLabel;
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_table = new QTableWidget(0, kFirstPoint + 2);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setItemDelegate(new batchcells::Delegate(m_table));
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_openInRecords = new QPushButton;
    m_openInRecords->setObjectName(QStringLiteral("pushButton_batch_open_records"));
    m_openInRecords->setEnabled(false);
    connect(m_openInRecords, &QPushButton::clicked, this, [this] {
        const int row = m_table->currentRow();
        const int unit = row >= 0 && row < m_units.size() && m_storedChecks.contains(m_units[row]) ? m_units[row]
                                                                                                 : m_storedChecks.firstKey();
        emit openInRecords(m_storedChecks[unit].first, m_storedChecks[unit].second);
    });
    auto *status = new QHBoxLayout;
    status->addWidget(m_bar, 1);
    status->addWidget(m_remaining);
    status->addWidget(m_phase, 1);
    status->addWidget(m_openInRecords);
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(status);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_legend);
    layout->addWidget(m_result);
    return box;
}

void BatchTab::setLanguage(int language)
{
    m_language = language;
    const auto a = [language](autotext::Text which) { return autotext::text(which, language); };
    const auto t = [language](Text which) { return batchtext::text(which, language); };
    setWindowTitle(t(Text::TabTitle));
    using A = autotext::Text;
    m_source->setTexts(a(A::SourceGroup), a(A::Address), a(A::Model), a(A::Identify), a(A::NotIdentified));
    m_meter->setTexts(a(A::MeterGroup), a(A::Address), a(A::Model), a(A::Identify), a(A::NotIdentified));
    m_switch->setTexts(t(Text::SwitchGroup), a(A::Address), a(A::Model), a(A::Identify), a(A::NotIdentified));
    m_environment->setTexts(a(A::EnvironmentGroup), a(A::Address), a(A::Model), a(A::Identify), a(A::NotIdentified));
    m_environment->address()->setPlaceholderText(a(A::Optional));
    static_cast<QGroupBox *>(m_inputs)->setTitle(t(Text::BatchGroup));
    m_mapLabel->setText(t(Text::MapFile));
    m_fileLabel->setText(a(A::ProcedureFile));
    m_pointsLabel->setText(a(A::Points));
    m_toleranceLabel->setText(a(A::Tolerance));
    m_browseMap->setText(a(A::Browse));
    m_browseFile->setText(a(A::Browse));
    m_start->setText(a(A::Start));
    m_abort->setText(a(A::Abort));
    m_legend->setText(t(Text::Legend));
    QStringList headers{t(Text::UnitHeader), t(Text::SerialHeader)};
    for (int i = 0; i < m_progress.points(); ++i)
        headers << t(Text::PointHeader).arg(i + 1);
    headers << t(Text::OutcomeHeader) << t(Text::CertificateHeader);
    m_table->setColumnCount(headers.size());
    m_table->setHorizontalHeaderLabels(headers);
    for (int unit : m_units) {
        for (int i = 0; i < m_progress.points(); ++i)
            showCell(unit, i);
        if (auto *open = qobject_cast<QPushButton *>(m_table->cellWidget(rowOf(unit), headers.size() - 1)))
            open->setText(t(Text::Open));
    }
    showProgress();
    m_openInRecords->setText(labtext::text(labtext::Text::OpenInRecords, language));
    linkRecords();
    QString why;   // what the handed units still need, in the new language
    if (!m_run && !m_handed.isEmpty() && !mapToRun(why))
        m_result->setText(why);
}

// Enabled once a unit's check is in the records; the chosen row's unit, else the first stored.
void BatchTab::linkRecords()
{
    m_openInRecords->setEnabled(!m_storedChecks.isEmpty());
    m_openInRecords->setToolTip(m_storedChecks.isEmpty() ? labtext::text(labtext::Text::NotInRecords, m_language) : QString());
}

std::optional<autocal::RunPlan> BatchTab::plan(QString &why) const
{
    return autocal::planFrom(m_file->text(), m_points->text(), m_tolerance->text(), why);
}

void BatchTab::setRunning(bool on)
{
    // Nothing that opens a dialog or talks to an instrument beside a run, whichever tab started it.
    const bool any = on || m_runs->running();
    m_start->setEnabled(!any);
    m_abort->setEnabled(on);
    m_browseMap->setEnabled(!any);
    m_browseFile->setEnabled(!any);
    for (InstrumentPicker *p : {m_source, m_meter, m_switch, m_environment})
        p->identifyButton()->setEnabled(!any);
}

void BatchTab::showRegistry()
{
    setRunning(m_run != nullptr);
    autocal::Run *other = m_runs->current();
    const bool elsewhere = other && other != m_run;
    if (elsewhere)
        m_phase->setText(autotext::text(autotext::Text::OtherRun, m_language).arg(other->kind()));
    else if (m_phase->property("otherRun").toBool())
        m_phase->clear();
    m_phase->setProperty("otherRun", elsewhere);
}

// The map's units listed as soon as the file names them, cells not measured yet.
void BatchTab::showMapUnits()
{
    if (m_run || (m_map->text().trimmed().isEmpty() && m_handed.isEmpty()))
        return;
    QString why;
    const auto map = mapToRun(why);
    const auto runPlan = map ? plan(why) : std::nullopt;
    if (map && runPlan)
        return showUnits(*map, runPlan->points.size());
    if (m_handed.isEmpty())
        return;
    autocal::ChannelMap listed;   // the handed units as the register knows them, not yet placed
    for (const recordsdb::Instrument &unit : m_handed)
        listed.units.push_back({int(listed.units.size()) + 1, QString(), unit.tag, unit.serial});
    showUnits(listed, runPlan ? runPlan->points.size() : 0);
    m_result->setText(why);
}

void BatchTab::setHanded(const QVector<recordsdb::Instrument> &units)
{
    if (m_run)
        return;
    m_handed = units;
    // One plan for the batch: the register's procedure file when every handed unit names the same one.
    const QString procedure = units.isEmpty() ? QString() : units.first().procedure;
    if (!procedure.isEmpty()
        && std::all_of(units.begin(), units.end(), [&](const recordsdb::Instrument &u) { return u.procedure == procedure; }))
        m_file->setText(procedure);
    showMapUnits();
}

// The map file's units, or only the handed ones when the map places each of them.
std::optional<autocal::ChannelMap> BatchTab::mapToRun(QString &why) const
{
    const QString path = m_map->text().trimmed();
    QString mapWhy;
    const auto map = path.isEmpty() ? std::nullopt : autocal::readChannelMap(path, mapWhy);
    if (m_handed.isEmpty()) {
        why = mapWhy;
        return map;
    }
    const records::Handover handover = records::handOver(m_handed, map);
    why = records::remainingText(handover, m_language);
    if (!map && !mapWhy.isEmpty())
        why += QLatin1Char('\n') + labtext::text(labtext::Text::MapUnreadable, m_language).arg(mapWhy);
    return handover.map;
}

void BatchTab::abort()
{
    if (m_run && m_runs->current() == m_run)
        m_run->abort(autotext::text(autotext::Text::StoppedByOperator, 2));
}

QString BatchTab::resultText() const
{
    return m_result->text();
}

void BatchTab::start()
{
    if (m_run)
        return;
    if (autocal::Run *other = m_runs->current()) {
        m_result->setText(autotext::text(autotext::Text::Refused, m_language)
                              .arg(autotext::text(autotext::Text::OtherRun, m_language).arg(other->kind())));
        return;
    }
    const auto refuse = [this](const QString &why) {
        m_result->setText(autotext::text(autotext::Text::Refused, m_language).arg(enginetext::render(why, m_language)));
    };
    QString why;
    const auto map = mapToRun(why);
    const auto runPlan = map ? plan(why) : std::nullopt;
    if (!runPlan) {
        if (!map && m_handed.isEmpty())   // no rows for a map that is not whole
            showUnits(autocal::ChannelMap{}, 0);
        return refuse(why);
    }
    // Its checks are stored signed by who performed them: none unlocked, nothing starts.
    recordsdb::RecordDb *db = m_database ? m_database() : nullptr;
    const auto performer = db && m_performer ? m_performer(*db) : std::nullopt;
    if (db && !performer)
        return refuse(autotext::text(autotext::Text::NoPerformer, m_language));
    autocal::BatchJob::Instruments made;
    made.source = m_source->make(why);
    made.meter = made.source ? m_meter->make(why) : nullptr;
    made.routeSwitch = made.meter ? m_switch->make(why) : nullptr;
    const bool environment = !m_environment->address()->text().trimmed().isEmpty();
    if (made.routeSwitch && environment)
        made.environment = m_environment->make(why);
    if (!made.routeSwitch || (environment && !made.environment))
        return refuse(why);
    remember();
    autocal::RunRecords records(db, m_folder ? m_folder() : recordsdb::defaultRecordsFolder(), performer);
    record::Header header;
    header.technician = qEnvironmentVariable("USER");
    header.laboratory = RecordHeaderForm::rememberedLaboratory();   // a certificate names its issuer
    QSettings settings;
    auto *run = new autocal::BatchJob(*map, m_windowLink, std::move(made), records, *runPlan, header,
                                      record::readIssuer(settings), m_language);
    connectRun(run->engine());
    connect(run, &autocal::BatchJob::certificateWritten, this, &BatchTab::showCertificate);
    connect(run, &autocal::BatchJob::finished, this, [this, run](const autocal::BatchResult &result) {
        finish(result, run->recordsError());
    });
    showUnits(*map, runPlan->points.size());
    m_tick->start(1000);
    m_clock.start();
    m_run = run;
    if (!m_runs->start(run)) {
        m_run = nullptr;
        m_tick->stop();
    }
}

void BatchTab::finish(const autocal::BatchResult &result, const QString &recordsError)
{
    m_run = nullptr;
    m_tick->stop();
    m_progress.finish();
    m_phase->clear();
    showOutcomes(result);
    if (!recordsError.isEmpty() && result.ran)
        m_resultLines << enginetext::render(recordsError, m_language);
    if (!recordsError.isEmpty())   // kept as drafts: not in the records view
        m_storedChecks.clear();
    linkRecords();
    m_result->setText(m_resultLines.join(QLatin1Char('\n')));
    showProgress();
    emit finished();
}

void BatchTab::connectRun(autocal::BatchRun &run)
{
    // Connected after the job's own store of the check, so the view reads it stored.
    connect(&run, &autocal::BatchRun::recordEnded, this, [this](int unit, const record::Record &r) {
        if (!m_storedChecks.contains(unit))
            m_storedChecks.insert(unit, {r.header.serial, r.started});
        linkRecords();
        emit checkStored();
    });
    connect(&run, &autocal::BatchRun::unitPrepared, this, [this](int unit, const record::Header &header) {
        m_headers.insert(unit, header);
    });
    connect(&run, &autocal::BatchRun::checkStarted, this, [this](record::Stage stage) {
        m_stage = stage;
        if (stage == record::Stage::AsLeft)
            m_progress.adjustmentOver();
        const auto which = stage == record::Stage::AsLeft ? autotext::Text::AsLeft : autotext::Text::AsFound;
        m_phase->setText(batchtext::text(Text::Measuring, m_language).arg(autotext::text(which, m_language)));
    });
    connect(&run, &autocal::BatchRun::pointRecorded, this, [this](int unit, int index, const record::Point &point) {
        QVector<record::Point> &points = (m_stage == record::Stage::AsLeft ? m_left : m_found)[unit];
        if (index < 0 || index >= points.size())
            return;
        points[index] = point;
        m_progress.setCell(unit, m_stage, index, autocal::cellState(point, m_headers.value(unit)));
        showCell(unit, index);
        showProgress();
    });
    connect(&run, &autocal::BatchRun::adjustmentStepTaken, this,
            [this](const autocal::AdjustmentStep &step, const QVector<int> &units) {
        m_phase->setText(batchtext::text(Text::Adjusting, m_language).arg(autotext::stepText(step, m_language)));
        if (step.kind != autocal::AdjustmentStep::Kind::StoringInputs)
            for (int unit : units)
                m_progress.adjustmentStepDone(unit);
        showProgress();
    });
    connect(&run, &autocal::BatchRun::unitEnded, this, [this](int unit, const QString &reason) {
        m_progress.unitEnded(unit);
        const int row = rowOf(unit);
        if (row >= 0)
            m_table->setItem(row, kFirstPoint + m_progress.points(),
                             new QTableWidgetItem(batchtext::text(Text::Ended, m_language).arg(enginetext::render(reason, m_language))));
        showProgress();
    });
}

// One row per unit of the map, every cell not measured yet.
void BatchTab::showUnits(const autocal::ChannelMap &map, int points)
{
    m_units.clear();
    m_headers.clear();
    m_found.clear();
    m_left.clear();
    m_certificates.clear();
    m_storedChecks.clear();
    linkRecords();
    m_resultLines.clear();
    m_result->clear();
    m_stage = record::Stage::AsFound;
    for (const autocal::MapUnit &m : map.units) {
        m_units << m.unit;
        m_found[m.unit] = m_left[m.unit] = QVector<record::Point>(points);
    }
    m_progress.reset(m_units, points);
    m_table->setRowCount(0);
    m_table->setColumnCount(kFirstPoint + points + 2);
    m_table->setRowCount(map.units.size());
    for (int i = 0; i < points; ++i) {
        m_table->horizontalHeader()->setSectionResizeMode(kFirstPoint + i, QHeaderView::Fixed);
        m_table->horizontalHeader()->resizeSection(kFirstPoint + i, 104);
    }
    for (int row = 0; row < map.units.size(); ++row) {
        const autocal::MapUnit &m = map.units.at(row);
        const QString tag = m.tag.isEmpty() ? QString() : QStringLiteral("  ") + m.tag;
        m_table->setItem(row, 0, new QTableWidgetItem(QString::number(m.unit) + tag));
        m_table->setItem(row, 1, new QTableWidgetItem(m.serial));
        auto *open = new QPushButton;
        open->setEnabled(false);
        connect(open, &QPushButton::clicked, this, [this, unit = m.unit] {
            QDesktopServices::openUrl(QUrl::fromLocalFile(m_certificates.value(unit)));
        });
        m_table->setCellWidget(row, kFirstPoint + points + 1, open);
    }
    setLanguage(m_language);
}

int BatchTab::rowOf(int unit) const
{
    return m_units.indexOf(unit);
}

// The cell's colours are the two checks' states; its text the latest error.
void BatchTab::showCell(int unit, int index)
{
    const int row = rowOf(unit);
    if (row < 0)
        return;
    const auto found = m_progress.cell(unit, record::Stage::AsFound, index);
    const auto left = m_progress.cell(unit, record::Stage::AsLeft, index);
    auto *item = new QTableWidgetItem;
    item->setData(batchcells::kFoundRole, int(found));
    item->setData(batchcells::kLeftRole, int(left));
    QStringList errors;
    for (const record::Point *p : {&m_found[unit].at(index), &m_left[unit].at(index)})
        if (p->status == record::Point::Status::Recorded)
            errors << QString::number(record::figures(*p, m_headers.value(unit)).error, 'f', 2);
    item->setText(errors.join(QStringLiteral(" → ")));
    item->setToolTip(batchtext::text(Text::CellTip, m_language)
                         .arg(batchtext::stateText(found, m_language), batchtext::stateText(left, m_language)));
    m_table->setItem(row, kFirstPoint + index, item);
}

void BatchTab::showProgress()
{
    const double f = m_progress.fraction();
    m_bar->setValue(int(f * 1000.0));
    if (m_progress.units() == 0) {
        m_remaining->clear();
        return;
    }
    QString text = batchtext::text(Text::Done, m_language).arg(int(f * 100.0));
    if (const auto left = m_run ? m_progress.remainingMs(m_clock.elapsed()) : std::nullopt) {
        const qint64 s = (*left + 999) / 1000;
        text += QStringLiteral(", ") + batchtext::text(Text::Remaining, m_language).arg(s / 60).arg(s % 60);
    }
    m_remaining->setText(text);
}

void BatchTab::showOutcomes(const autocal::BatchResult &result)
{
    int passed = 0;
    for (const autocal::UnitOutcome &u : result.units) {
        Text outcome = Text::NotCalibrated;
        if (u.endedEarly)
            outcome = Text::Ended;
        else if (u.asLeft)
            outcome = u.passed() ? Text::Passed : Text::Failed;
        passed += u.passed() ? 1 : 0;
        const int row = rowOf(u.unit);
        if (row >= 0)
            m_table->setItem(row, kFirstPoint + m_progress.points(),
                             new QTableWidgetItem(outcome == Text::Ended
                                                      ? batchtext::text(outcome, m_language).arg(enginetext::render(u.reason, m_language))
                                                      : batchtext::text(outcome, m_language)));
    }
    m_resultLines << (result.reason.isEmpty()
                          ? batchtext::text(Text::Summary, m_language).arg(passed).arg(result.units.size())
                          : batchtext::text(Text::BatchEnded, m_language).arg(enginetext::render(result.reason, m_language)));
    for (const QString &note : result.notes)
        m_resultLines << enginetext::render(note, m_language);
}

void BatchTab::showCertificate(int unit, const QString &path)
{
    const int row = rowOf(unit);
    if (path.isEmpty() || row < 0)
        return;
    m_certificates.insert(unit, path);
    if (auto *open = qobject_cast<QPushButton *>(m_table->cellWidget(row, kFirstPoint + m_progress.points() + 1)))
        open->setEnabled(true);
}

void BatchTab::remember() const
{
    QSettings s;
    s.beginGroup(QStringLiteral("batch"));
    m_source->remember(s, QStringLiteral("source"));
    m_meter->remember(s, QStringLiteral("meter"));
    m_switch->remember(s, QStringLiteral("switch"));
    m_environment->remember(s, QStringLiteral("environment"));
    s.setValue("map", m_map->text());
    s.setValue("procedure", m_file->text());
    s.setValue("points", m_points->text());
    s.setValue("tolerance", m_tolerance->text());
}

// The automatic calibration's instruments and procedure, until a batch has its own.
void BatchTab::recall()
{
    QSettings s;
    s.beginGroup(QStringLiteral("automatic"));
    m_source->recall(s, QStringLiteral("source"), "TCAL_SOURCE");
    m_meter->recall(s, QStringLiteral("meter"), "TCAL_METER");
    m_file->setText(s.value("procedure").toString());
    m_points->setText(s.value("points", m_points->text()).toString());
    m_tolerance->setText(s.value("tolerance", m_tolerance->text()).toString());
    s.endGroup();
    s.beginGroup(QStringLiteral("batch"));
    if (s.contains("source"))
        m_source->recall(s, QStringLiteral("source"), "TCAL_SOURCE");
    if (s.contains("meter"))
        m_meter->recall(s, QStringLiteral("meter"), "TCAL_METER");
    m_switch->recall(s, QStringLiteral("switch"), "TCAL_SWITCH");
    m_environment->recall(s, QStringLiteral("environment"), "TCAL_ENVIRONMENT");
    m_map->setText(qEnvironmentVariable("TCAL_BATCH_MAP", s.value("map").toString()));
    for (auto [field, key] : {std::pair{m_file, "procedure"}, std::pair{m_points, "points"}, std::pair{m_tolerance, "tolerance"}})
        if (s.contains(QLatin1String(key)))
            field->setText(s.value(QLatin1String(key)).toString());
}
