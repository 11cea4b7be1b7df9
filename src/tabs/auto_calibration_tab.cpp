#include "tabs/auto_calibration_tab.h"

#include "texts/lab_texts.h"
#include "widgets/modal_guard.h"

#include "automation/run_records.h"
#include "automation/single_run.h"
#include "instruments/instrument.h"
#include "link/link.h"
#include "record/certificate.h"
#include "records_db/record_db.h"
#include "tabs/record_header_form.h"
#include "tabs/auto_calibration_texts.h"
#include "texts/engine_texts.h"
#include "tabs/error_chart.h"
#include "tabs/instrument_picker.h"
#include "tabs/standards_dialog.h"
#include "tabs/tab_fit.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

using autotext::Text;

namespace {

enum Column { ColPhase, ColPoint, ColReference, ColSignal, ColReading, ColError, ColU, ColCurrent, ColVerdict, ColCount };

QString number(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

} // namespace

AutoCalibrationTab::AutoCalibrationTab(rtu::Link &link, QWidget *parent)
    : AutoCalibrationTab(link, *new autocal::RunRegistry, parent)
{
    m_runs->setParent(this);
}

AutoCalibrationTab::AutoCalibrationTab(rtu::Link &link, autocal::RunRegistry &runs, QWidget *parent)
    : QWidget(parent), m_link(link), m_runs(&runs)
{
    auto *top = new QHBoxLayout;
    m_source = new InstrumentPicker(instruments::Role::Calibrator);
    m_meter = new InstrumentPicker(instruments::Role::Meter);
    m_environment = new InstrumentPicker(instruments::Role::Environment);
    m_environment->setObjectName(QStringLiteral("picker_auto_environment"));
    auto *pickers = new QVBoxLayout;
    auto *pair = new QHBoxLayout;
    pair->addWidget(m_source);
    pair->addWidget(m_meter);
    pickers->addLayout(pair);
    pickers->addWidget(m_environment);
    top->addLayout(pickers);
    top->addWidget(buildProcedure(), 1);
    auto *inputs = new QWidget;
    inputs->setLayout(top);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabfit::scrolled(inputs));
    // Start and Abort outside the scrolled inputs: always in sight.
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_abort);
    buttons->addWidget(m_standards);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addWidget(buildProgress(), 1);
    tabfit::keepRows(m_table, 5);
    recall();
    connect(m_runs, &autocal::RunRegistry::started, this, &AutoCalibrationTab::showRegistry);
    connect(m_runs, &autocal::RunRegistry::ended, this, [this](autocal::Run *run) {
        if (run == m_run)
            m_run = nullptr;
        showRegistry();
    });
    setRunning(false);
    setLanguage(0);
}

// The run is the registry's: it goes on to its safe end without the tab.
AutoCalibrationTab::~AutoCalibrationTab() = default;

void AutoCalibrationTab::setAddresses(const QString &source, const QString &meter)
{
    m_source->address()->setText(source);
    m_meter->address()->setText(meter);
}

void AutoCalibrationTab::setRecords(std::function<recordsdb::RecordDb *()> database, std::function<QString()> folder)
{
    m_database = std::move(database);
    m_folder = std::move(folder);
}

QWidget *AutoCalibrationTab::buildProcedure()
{
    m_procedureGroup = new QGroupBox;
    m_file = new QLineEdit;
    m_file->setObjectName(QStringLiteral("lineEdit_auto_procedure"));
    m_browse = new QPushButton;
    m_points = new QLineEdit(QStringLiteral("0%,25%,50%,75%,100%"));
    m_points->setObjectName(QStringLiteral("lineEdit_auto_points"));
    m_tolerance = new QLineEdit(QStringLiteral("1.0"));
    m_tolerance->setObjectName(QStringLiteral("lineEdit_auto_tolerance"));
    m_tag = new QLineEdit;
    m_tag->setObjectName(QStringLiteral("lineEdit_auto_tag"));
    m_serial = new QLineEdit;
    m_serial->setObjectName(QStringLiteral("lineEdit_auto_serial"));
    m_fileLabel = new QLabel;
    m_pointsLabel = new QLabel;
    m_toleranceLabel = new QLabel;
    m_tagLabel = new QLabel;
    m_serialLabel = new QLabel;
    auto *file = new QHBoxLayout;
    file->addWidget(m_file, 1);
    file->addWidget(m_browse);
    m_start = new QPushButton;
    m_start->setObjectName(QStringLiteral("pushButton_auto_start"));
    m_abort = new QPushButton;
    m_abort->setObjectName(QStringLiteral("pushButton_auto_abort"));
    m_standards = new QPushButton;
    m_standards->setObjectName(QStringLiteral("pushButton_auto_standards"));
    auto *form = new QFormLayout(m_procedureGroup);
    form->addRow(m_fileLabel, file);
    form->addRow(m_pointsLabel, m_points);
    form->addRow(m_toleranceLabel, m_tolerance);
    form->addRow(m_tagLabel, m_tag);
    form->addRow(m_serialLabel, m_serial);
    modal_guard::holdDuringRuns(m_browse);
    connect(m_browse, &QPushButton::clicked, this, [this] {
        if (!modal_guard::mayOpen())
            return;
        const QString path = QFileDialog::getOpenFileName(this, QString(), m_file->text(), QStringLiteral("*.json"));
        if (!path.isEmpty())
            m_file->setText(path);
    });
    connect(m_start, &QPushButton::clicked, this, &AutoCalibrationTab::start);
    connect(m_abort, &QPushButton::clicked, this, &AutoCalibrationTab::abort);
    modal_guard::holdDuringRuns(m_standards);
    connect(m_standards, &QPushButton::clicked, this, [this] {
        if (modal_guard::mayOpen())
            openStandards();
    });
    return m_procedureGroup;
}

QWidget *AutoCalibrationTab::buildProgress()
{
    m_phase = new QLabel;
    m_settling = new QLabel;
    m_result = new QLabel;
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_openCertificate = new QPushButton;
    m_openCertificate->setEnabled(false);
    connect(m_openCertificate, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_certificate)); });
    m_table = new QTableWidget(0, ColCount);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->verticalHeader()->hide();
    m_chart = new ErrorChart;
    auto *status = new QHBoxLayout;
    status->addWidget(m_phase);
    status->addWidget(m_settling);
    status->addStretch(1);
    status->addWidget(m_openCertificate);
    m_openInRecords = new QPushButton;
    m_openInRecords->setObjectName(QStringLiteral("pushButton_auto_open_records"));
    m_openInRecords->setEnabled(false);
    connect(m_openInRecords, &QPushButton::clicked, this,
            [this] { emit openInRecords(m_storedSerial, m_storedStarted); });
    status->addWidget(m_openInRecords);
    auto *split = new QSplitter(Qt::Horizontal);
    split->addWidget(m_table);
    split->addWidget(m_chart);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    m_chart->setMinimumWidth(360);
    m_table->horizontalHeader()->setStretchLastSection(true);
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(status);
    layout->addWidget(split, 1);
    layout->addWidget(m_result);
    return box;
}

void AutoCalibrationTab::setLanguage(int language)
{
    m_language = language;
    auto t = [language](Text which) { return autotext::text(which, language); };
    setWindowTitle(t(Text::TabTitle));
    for (auto [picker, title] : {std::pair{m_source, Text::SourceGroup}, std::pair{m_meter, Text::MeterGroup}})
        picker->setTexts(t(title), t(Text::Address), t(Text::Model), t(Text::Identify), t(Text::NotIdentified));
    m_procedureGroup->setTitle(t(Text::ProcedureGroup));
    m_fileLabel->setText(t(Text::ProcedureFile));
    m_browse->setText(t(Text::Browse));
    m_pointsLabel->setText(t(Text::Points));
    m_toleranceLabel->setText(t(Text::Tolerance));
    m_tagLabel->setText(t(Text::Tag));
    m_serialLabel->setText(t(Text::Serial));
    m_serial->setPlaceholderText(t(Text::SerialNeeded));
    m_start->setText(t(Text::Start));
    m_abort->setText(t(Text::Abort));
    m_standards->setText(t(Text::Standards));
    m_openCertificate->setText(t(Text::OpenCertificate));
    m_openInRecords->setText(labtext::text(labtext::Text::OpenInRecords, m_language));
    if (!m_openInRecords->isEnabled())
        m_openInRecords->setToolTip(labtext::text(labtext::Text::NotInRecords, m_language));
    const QString unit = QString::fromUtf8("°C");
    m_table->setHorizontalHeaderLabels({t(Text::PhaseHeader), t(Text::PointHeader), t(Text::ReferenceHeader).arg(unit),
                                        t(Text::SignalHeader), t(Text::ReadingHeader).arg(unit),
                                        t(Text::ErrorHeader).arg(unit), t(Text::UncertaintyHeader).arg(unit),
                                        t(Text::CurrentHeader), t(Text::VerdictHeader)});
    m_chart->setTexts(t(Text::ChartTitle), t(Text::ChartError).arg(unit), t(Text::AsFound), t(Text::AsLeft),
                      t(Text::ChartTolerance));
    for (int row = 0; row < m_table->rowCount(); ++row)
        showPhaseText(row);
    m_environment->setTexts(t(Text::EnvironmentGroup), t(Text::Address), t(Text::Model), t(Text::Identify),
                            t(Text::NotIdentified));
    m_environment->address()->setPlaceholderText(t(Text::Optional));
    if (m_last)
        showResult(*m_last);
}

std::optional<autocal::RunPlan> AutoCalibrationTab::plan(QString &why) const
{
    return autocal::planFrom(m_file->text(), m_points->text(), m_tolerance->text(), why);
}

void AutoCalibrationTab::setRunning(bool on)
{
    // Nothing that opens a dialog or talks to an instrument beside a run, whichever tab started it.
    const bool any = on || m_runs->running();
    m_start->setEnabled(!any);
    m_abort->setEnabled(on);
    m_browse->setEnabled(!any);
    m_standards->setEnabled(!any);
    for (InstrumentPicker *p : {m_source, m_meter, m_environment})
        p->identifyButton()->setEnabled(!any);
}

void AutoCalibrationTab::showRegistry()
{
    setRunning(m_run != nullptr);
    autocal::Run *other = m_runs->current();
    const bool elsewhere = other && other != m_run;
    if (elsewhere)
        m_phase->setText(autotext::text(Text::OtherRun, m_language).arg(other->kind()));
    else if (m_phase->property("otherRun").toBool())
        m_phase->clear();
    m_phase->setProperty("otherRun", elsewhere);
}

// Without a records database there is no register to show; the record tab says why.
void AutoCalibrationTab::openStandards()
{
    recordsdb::RecordDb *db = m_database ? m_database() : nullptr;
    if (!db)
        return;
    auto *dialog = new StandardsDialog(*db, m_language, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void AutoCalibrationTab::abort()
{
    if (m_run && m_runs->current() == m_run)
        m_run->abort(autotext::text(Text::StoppedByOperator, 2));
}

void AutoCalibrationTab::start()
{
    if (m_run)
        return;
    if (autocal::Run *other = m_runs->current()) {
        m_result->setText(autotext::text(Text::Refused, m_language)
                              .arg(autotext::text(Text::OtherRun, m_language).arg(other->kind())));
        return;
    }
    // Its records and certificate name the transmitter by its serial number.
    if (m_serial->text().trimmed().isEmpty()) {
        m_result->setText(autotext::text(Text::Refused, m_language).arg(autotext::text(Text::SerialMissing, m_language)));
        return;
    }
    // Its checks are stored signed by who performed them: none unlocked, nothing starts.
    recordsdb::RecordDb *db = m_database ? m_database() : nullptr;
    const auto performer = db && m_performer ? m_performer(*db) : std::nullopt;
    if (db && !performer) {
        m_result->setText(autotext::text(Text::Refused, m_language).arg(autotext::text(Text::NoPerformer, m_language)));
        return;
    }
    QString why;
    const auto runPlan = plan(why);
    autocal::SingleRun::Instruments made;
    made.source = runPlan ? m_source->make(why) : nullptr;
    made.meter = made.source ? m_meter->make(why) : nullptr;
    // The environment instrument is optional: no address, none.
    if (made.meter && !m_environment->address()->text().trimmed().isEmpty())
        made.environment = m_environment->make(why);
    if (!made.meter || (!made.environment && !m_environment->address()->text().trimmed().isEmpty())) {
        m_result->setText(autotext::text(Text::Refused, m_language).arg(enginetext::render(why, m_language)));
        return;
    }
    remember();
    autocal::RunRecords records(db, m_folder ? m_folder() : recordsdb::defaultRecordsFolder(), performer);
    record::Header header;
    header.tag = m_tag->text().trimmed();
    header.serial = m_serial->text().trimmed();
    header.technician = qEnvironmentVariable("USER");
    header.laboratory = RecordHeaderForm::rememberedLaboratory();   // a certificate names its issuer
    QSettings settings;
    auto *run = new autocal::SingleRun(m_link, std::move(made), records, *runPlan, header, record::readIssuer(settings),
                                       m_language == 2 ? 2 : m_language);
    connectRun(run->engine());
    connect(run, &autocal::SingleRun::finished, this, [this, run](const autocal::RunResult &result) {
        finish(result, run->certificate(), run->recordsError());
    });
    m_table->setRowCount(0);
    m_certificate.clear();
    m_openCertificate->setEnabled(false);
    m_storedSerial.clear();
    m_storedStarted = QDateTime();
    m_openInRecords->setEnabled(false);
    m_result->clear();
    m_samples = runPlan->settling.samples;
    m_run = run;
    if (!m_runs->start(run))
        m_run = nullptr;
}

void AutoCalibrationTab::finish(const autocal::RunResult &result, const QString &certificate,
                                const QString &recordsError)
{
    m_phase->clear();
    m_settling->clear();
    m_certificate = certificate;
    m_recordsError = recordsError;
    m_openCertificate->setEnabled(!m_certificate.isEmpty());
    const bool stored = !m_storedSerial.isEmpty() && recordsError.isEmpty();
    m_openInRecords->setEnabled(stored);
    m_openInRecords->setToolTip(stored ? QString() : labtext::text(labtext::Text::NotInRecords, m_language));
    m_last = result;
    showResult(result);
}

void AutoCalibrationTab::connectRun(autocal::AutoCalibration &run)
{
    // Connected after the run's own store of the check, so the view reads it stored.
    connect(&run, &autocal::AutoCalibration::recordEnded, this, [this](const record::Record &r) {
        m_storedSerial = r.header.serial;
        m_storedStarted = r.started;
        emit checkStored();
    });
    connect(&run, &autocal::AutoCalibration::phaseChanged, this, [this](autocal::Phase phase) {
        static const QHash<int, Text> names{{int(autocal::Phase::Preparing), Text::Preparing},
                                            {int(autocal::Phase::AsFound), Text::AsFound},
                                            {int(autocal::Phase::Adjusting), Text::Adjusting},
                                            {int(autocal::Phase::AsLeft), Text::AsLeft},
                                            {int(autocal::Phase::Finishing), Text::Finishing}};
        m_phase->setText(autotext::text(names.value(int(phase)), m_language));
        m_settling->clear();
    });
    connect(&run, &autocal::AutoCalibration::pointStarted, this,
            [this](autocal::Phase phase, int index, double celsius, double signal, const QString &unit) {
                const int row = rowFor(phase, index);
                m_table->setItem(row, ColReference, new QTableWidgetItem(number(celsius, 1)));
                m_table->setItem(row, ColSignal, new QTableWidgetItem(number(signal, 4) + QLatin1Char(' ') + unit));
                m_table->scrollToItem(m_table->item(row, ColReference));
            });
    connect(&run, &autocal::AutoCalibration::sampled, this, [this](double, double, int count) {
        m_settling->setText(autotext::text(Text::Settling, m_language).arg(count).arg(m_samples));
    });
    connect(&run, &autocal::AutoCalibration::pointRecorded, this, &AutoCalibrationTab::showPoint);
    connect(&run, &autocal::AutoCalibration::adjustmentStepTaken, this,
            [this](const autocal::AdjustmentStep &step) { m_settling->setText(autotext::stepText(step, m_language)); });
    connect(&run, &autocal::AutoCalibration::prepared, this, [this](const record::Header &header) {
        m_header = header;
        m_chart->reset(header.range.lower, header.range.upper, record::toleranceDegrees(header.tolerance, header.range));
    });
}

// Rows are found by the phase and the point they stand for, kept beside the
// translated texts: a language switch renames them, it does not add rows.
int AutoCalibrationTab::rowFor(autocal::Phase phase, int index)
{
    const int key = int(phase == autocal::Phase::AsLeft ? autocal::Phase::AsLeft : autocal::Phase::AsFound);
    for (int r = 0; r < m_table->rowCount(); ++r)
        if (m_table->item(r, ColPhase)->data(Qt::UserRole).toInt() == key
            && m_table->item(r, ColPoint)->data(Qt::UserRole).toInt() == index)
            return r;
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    auto *phaseItem = new QTableWidgetItem;
    phaseItem->setData(Qt::UserRole, key);
    auto *pointItem = new QTableWidgetItem(QString::number(index + 1));
    pointItem->setData(Qt::UserRole, index);
    m_table->setItem(row, ColPhase, phaseItem);
    m_table->setItem(row, ColPoint, pointItem);
    showPhaseText(row);
    return row;
}

void AutoCalibrationTab::showPhaseText(int row)
{
    QTableWidgetItem *item = m_table->item(row, ColPhase);
    const bool left = item->data(Qt::UserRole).toInt() == int(autocal::Phase::AsLeft);
    item->setText(autotext::text(left ? Text::AsLeft : Text::AsFound, m_language));
}

void AutoCalibrationTab::showPoint(autocal::Phase phase, int index, const record::Point &point)
{
    const int row = rowFor(phase, index);
    const double error = point.reading - point.reference;
    const double u = point.uncertainty ? point.uncertainty->expanded : 0.0;
    auto set = [&](int column, const QString &text) { m_table->setItem(row, column, new QTableWidgetItem(text)); };
    set(ColReading, number(point.reading, 2));
    set(ColError, number(error, 2));
    set(ColU, point.uncertainty ? QStringLiteral("%1 (k=%2)").arg(number(u, 3), number(point.uncertainty->coverageFactor, 2))
                                : QString());
    set(ColCurrent, point.currentMa ? number(*point.currentMa, 4) : QString());
    set(ColVerdict, autotext::text(record::figures(point, m_header).passed ? Text::Pass : Text::Fail, m_language));
    m_chart->addPoint(phase == autocal::Phase::AsLeft, point.reference, error);
}

void AutoCalibrationTab::showResult(const autocal::RunResult &result)
{
    using O = autocal::RunResult::Outcome;
    QString line;
    switch (result.outcome) {
    case O::Passed: line = autotext::text(Text::Passed, m_language); break;
    case O::Failed: line = autotext::text(Text::Failed, m_language); break;
    case O::Aborted: line = autotext::text(Text::Aborted, m_language).arg(enginetext::render(result.reason, m_language)); break;
    case O::Refused: line = autotext::text(Text::Refused, m_language).arg(enginetext::render(result.reason, m_language)); break;
    }
    QStringList lines{line};
    if (result.outcome == O::Passed || result.outcome == O::Failed)
        lines << (m_certificate.isEmpty()
                      ? autotext::text(Text::NoCertificate, m_language).arg(enginetext::render(m_recordsError, m_language))
                      : autotext::text(Text::CertificateDraft, m_language).arg(m_certificate));
    for (const QString &note : result.notes)
        lines << enginetext::render(note, m_language);
    m_result->setText(lines.join(QLatin1Char('\n')));
}

QString AutoCalibrationTab::resultText() const
{
    return m_result->text();
}

void AutoCalibrationTab::remember() const
{
    QSettings s;
    s.beginGroup(QStringLiteral("automatic"));
    m_source->remember(s, QStringLiteral("source"));
    m_meter->remember(s, QStringLiteral("meter"));
    m_environment->remember(s, QStringLiteral("environment"));
    s.setValue("procedure", m_file->text());
    s.setValue("points", m_points->text());
    s.setValue("tolerance", m_tolerance->text());
}

void AutoCalibrationTab::setUnit(const QString &tag, const QString &serial, const QString &procedure)
{
    m_tag->setText(tag);
    m_serial->setText(serial);
    if (!procedure.isEmpty())
        m_file->setText(procedure);
}

void AutoCalibrationTab::recall()
{
    QSettings s;
    s.beginGroup(QStringLiteral("automatic"));
    // TCAL_SOURCE and TCAL_METER name instruments for this session (the demo's).
    m_source->recall(s, QStringLiteral("source"), "TCAL_SOURCE");
    m_meter->recall(s, QStringLiteral("meter"), "TCAL_METER");
    m_environment->recall(s, QStringLiteral("environment"), "TCAL_ENVIRONMENT");
    // The demo's simulated transmitter has a tag and serial of its own; a real one is typed.
    setUnit(qEnvironmentVariable("TCAL_DEMO_TAG"), qEnvironmentVariable("TCAL_DEMO_SERIAL"));
    m_file->setText(s.value("procedure").toString());
    m_points->setText(s.value("points", m_points->text()).toString());
    m_tolerance->setText(s.value("tolerance", m_tolerance->text()).toString());
}
