#include "tabs/configuration_tab.h"
#include "widgets/modal_guard.h"

#include "core/config_file.h"
#include "core/config_rules.h"
#include "link/link.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

using configtext::Text;

namespace {

const QColor kDiffersColor(255, 215, 215);

QTableWidgetItem *cell(const QString &text, bool marked)
{
    auto *item = new QTableWidgetItem(text);
    if (marked)
        item->setBackground(kDiffersColor);
    return item;
}

} // namespace

ConfigurationTab::ConfigurationTab(rtu::Link &link, QWidget *parent)
    : QWidget(parent), m_link(link)
{
    setObjectName(QStringLiteral("configurationTab"));
    buildLayout();
    connect(m_read, &QPushButton::clicked, this, &ConfigurationTab::readDevice);
    connect(m_compare, &QPushButton::clicked, this, &ConfigurationTab::compareWithDevice);
    connect(m_apply, &QPushButton::clicked, this, &ConfigurationTab::applyFile);
    connect(m_save, &QPushButton::clicked, this, [this] { chooseFile(QFileDialog::AcceptSave); });
    connect(m_open, &QPushButton::clicked, this, [this] { chooseFile(QFileDialog::AcceptOpen); });
    setLanguage(0);
}

ConfigurationTab::~ConfigurationTab() = default;

// The dialog does not block: polls and replies go on while the operator picks
// a file, and a second click brings the open dialog forward.
void ConfigurationTab::chooseFile(QFileDialog::AcceptMode mode)
{
    if (!modal_guard::mayOpen())
        return;
    if (m_dialog) {
        m_dialog->raise();
        return;
    }
    const bool save = mode == QFileDialog::AcceptSave;
    m_dialog = new QFileDialog(this, tr3(save ? Text::SaveButton : Text::OpenButton), QString(),
                               tr3(Text::FileFilter));
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog->setAcceptMode(mode);
    m_dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    m_dialog->setDefaultSuffix(QStringLiteral("json"));
    // Queued: the save waits on the link, and the dialog must have finished
    // its accept (and may be deleted on close) before that wait begins.
    connect(
        m_dialog, &QFileDialog::fileSelected, this,
        [this, save](const QString &path) {
            if (save)
                saveTo(path);
            else
                openFile(path);
        },
        Qt::QueuedConnection);
    m_dialog->open();
}

void ConfigurationTab::buildLayout()
{
    m_read = new QPushButton(this);
    m_open = new QPushButton(this);
    m_save = new QPushButton(this);
    m_compare = new QPushButton(this);
    m_apply = new QPushButton(this);
    m_save->setObjectName(QStringLiteral("saveConfiguration"));
    m_open->setObjectName(QStringLiteral("openConfiguration"));
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_read, m_save, m_open, m_compare, m_apply})
        buttons->addWidget(b);

    m_tagLabel = new QLabel(this);
    m_descriptionLabel = new QLabel(this);
    m_tag = new QLineEdit(this);
    m_description = new QLineEdit(this);
    m_fileLabel = new QLabel(this);
    m_includeCalibration = new QCheckBox(this);
    m_includeCalibration->setObjectName(QStringLiteral("includeCalibration"));
    buttons->addWidget(m_includeCalibration);
    auto *identity = new QGridLayout;
    identity->addWidget(m_tagLabel, 0, 0);
    identity->addWidget(m_tag, 0, 1);
    identity->addWidget(m_descriptionLabel, 0, 2);
    identity->addWidget(m_description, 0, 3);
    identity->addWidget(m_fileLabel, 1, 0, 1, 4);
    identity->setColumnStretch(3, 1);

    m_table = new QTableWidget(int(config::fields().size()), 4, this);
    m_table->setObjectName(QStringLiteral("configurationTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->setVisible(false);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("configurationStatus"));
    m_status->setWordWrap(true);

    auto *page = new QVBoxLayout(this);
    page->addLayout(buttons);
    page->addLayout(identity);
    page->addWidget(m_table, 1);
    page->addWidget(m_status);
}

void ConfigurationTab::setLanguage(int language)
{
    m_language = language;
    m_read->setText(tr3(Text::ReadButton));
    m_open->setText(tr3(Text::OpenButton));
    m_save->setText(tr3(Text::SaveButton));
    m_compare->setText(tr3(Text::CompareButton));
    m_apply->setText(tr3(Text::ApplyButton));
    m_includeCalibration->setText(tr3(Text::IncludeCalibration));
    m_tagLabel->setText(tr3(Text::TagLabel));
    m_descriptionLabel->setText(tr3(Text::DescriptionLabel));
    m_fileLabel->setText(m_filePath.isEmpty() ? tr3(Text::NoFile) : tr3(Text::FileLabel).arg(m_filePath));
    m_table->setHorizontalHeaderLabels({tr3(Text::FieldHeader), tr3(Text::DeviceHeader),
                                        tr3(Text::FileHeader), tr3(Text::StateHeader)});
    setWindowTitle(tr3(Text::TabTitle));
    showRows();
}

bool ConfigurationTab::readInto(core::RegisterBus &bus)
{
    m_verified = false;
    m_calibrationApplied = false;
    const config::DeviceRead read = config::readConfiguration(bus);
    if (!read.config) {
        showStatus(tr3(Text::ReadFailed).arg(read.error.text), false);
        return false;
    }
    m_device = read.config;
    m_device->identity = {m_tag->text(), m_description->text(), m_link.address(),
                          QDateTime::currentDateTimeUtc(), config::toolVersion()};
    return true;
}

// Refused by the guard, it says so: the last verdict no longer stands for what was asked.
bool ConfigurationTab::runOnLink(const std::function<void(core::RegisterBus &)> &operation)
{
    if (m_link.operationRunning()) {
        showStatus(tr3(Text::OperationRunning), false);
        return false;
    }
    return m_link.runOperation([&] { operation(m_link); });
}

void ConfigurationTab::readDevice()
{
    runOnLink([this](core::RegisterBus &bus) {
        if (readInto(bus))
            showStatus(tr3(Text::ReadDone).arg(m_link.address()), true);
        showRows();
    });
}

bool ConfigurationTab::saveTo(const QString &path)
{
    bool saved = false;
    runOnLink([&](core::RegisterBus &bus) {
        if (!readInto(bus))
            return;
        QString error;
        saved = config::saveFile(path, *m_device, &error);
        showStatus(saved ? tr3(Text::Saved).arg(path) : tr3(Text::SaveFailed).arg(error), saved);
        showRows();
    });
    return saved;
}

bool ConfigurationTab::openFile(const QString &path)
{
    if (m_applying) {
        showStatus(tr3(Text::ApplyRunning), false);
        return false;
    }
    const config::Loaded loaded = config::loadFile(path);
    if (!loaded.config) {
        showStatus(tr3(Text::FileRefused).arg(loaded.error), false);
        return false;
    }
    m_file = loaded.config;
    m_filePath = path;
    m_verified = false;
    m_calibrationApplied = false;
    m_tag->setText(m_file->identity.tag);
    m_description->setText(m_file->identity.description);
    m_fileLabel->setText(tr3(Text::FileLabel).arg(path));
    showStatus(QString(), true);
    showRows();
    return true;
}

void ConfigurationTab::compareWithDevice()
{
    if (!m_file) {
        showStatus(tr3(Text::NeedFile), false);
        return;
    }
    runOnLink([this](core::RegisterBus &bus) {
        if (!readInto(bus))
            return;
        int settings = 0;
        int calibration = 0;
        for (const config::FieldComparison &row : config::compare(*m_device, *m_file)) {
            if (row.differs)
                ++(config::isCalibration(*row.field) ? calibration : settings);
        }
        if (settings)
            showStatus(tr3(Text::CompareDiffers).arg(settings), false);
        else if (calibration)
            showStatus(tr3(Text::CompareSettingsEqual).arg(calibration), true);
        else
            showStatus(tr3(Text::CompareEqual), true);
        showRows();
    });
}

void ConfigurationTab::applyFile()
{
    if (m_applying)
        return;
    if (!m_file) {
        showStatus(tr3(Text::NeedFile), false);
        return;
    }
    // A value the transmitter cannot use refuses the file before any request.
    QStringList broken;
    for (const config::Violation &v : config::violations(*m_file))
        broken << config::violationText(v, m_language);
    if (!broken.isEmpty()) {
        showStatus(tr3(Text::FileRefused).arg(broken.join(QStringLiteral("; "))), false);
        return;
    }
    if (m_includeCalibration->isChecked())
        confirmCalibration();
    else
        runApply(false);
}

// Not modal: the link goes on polling while the operator reads the list.
void ConfigurationTab::confirmCalibration()
{
    QStringList names;
    for (const config::FieldDef &f : config::fields()) {
        if (config::isCalibration(f))
            names << QString::fromUtf8(f.label[qBound(0, m_language, 2)]);
    }
    const int here = m_link.address();
    const QString origin = config::sameUnit(m_file->identity, here, m_tag->text())
        ? tr3(Text::SameUnitNote).arg(here)
        : tr3(Text::OtherUnitNote).arg(m_file->identity.address).arg(here);
    auto *box = new QMessageBox(QMessageBox::Warning, tr3(Text::ConfirmTitle),
                                tr3(Text::ConfirmCalibration).arg(names.join(QLatin1Char('\n')), origin),
                                QMessageBox::Yes | QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("confirmCalibration"));
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The file asked about is the file applied: nothing changes it meanwhile.
    m_applying = true;
    setControlsEnabled(false);
    connect(box, &QMessageBox::finished, this, [this](int result) {
        m_applying = false;
        setControlsEnabled(true);
        if (result == QMessageBox::Yes)
            runApply(true);
    }, Qt::QueuedConnection);
    box->open();
}

// The file is copied and the controls that could change it are off until the
// apply is over: its read-back is judged against the file it wrote.
void ConfigurationTab::runApply(bool includeCalibration)
{
    if (m_applying || !m_file)
        return;
    const config::Configuration file = *m_file;
    m_applying = true;
    setControlsEnabled(false);
    runOnLink([&](core::RegisterBus &bus) {
        const config::ApplyReport report = config::applyConfiguration(bus, file, {includeCalibration});
        // The table shows the device as it read back last.
        if (report.readBack) {
            m_device = report.readBack;
            m_device->identity = file.identity;
        }
        m_verified = report.verified();
        m_calibrationApplied = includeCalibration;
        showStatus(config::applySummary(report, m_language), report.verified());
    });
    m_applying = false;
    setControlsEnabled(true);
    showRows();
}

void ConfigurationTab::setControlsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{m_read, m_open, m_save, m_compare, m_apply,
                                                       m_includeCalibration, m_tag, m_description})
        w->setEnabled(enabled);
}

// One row a field: device and file values, differing rows marked; after an
// apply, the fields it verified read "verified".
void ConfigurationTab::showRows()
{
    const auto &fields = config::fields();
    for (int row = 0; row < int(fields.size()); ++row) {
        const config::FieldDef &f = fields[size_t(row)];
        const bool both = m_device && m_file;
        const bool differs = both && config::fieldWords(*m_device, f) != config::fieldWords(*m_file, f);
        QString state;
        if (both && differs && config::isCalibration(f) && !m_calibrationApplied)
            state = tr3(Text::CalibrationLeftAlone);
        else if (both)
            state = tr3(differs ? Text::Differs : m_verified ? Text::Verified : Text::Equal);
        m_table->setItem(row, 0, cell(QString::fromUtf8(f.label[qBound(0, m_language, 2)]), differs));
        m_table->setItem(row, 1, cell(m_device ? config::shownValue(*m_device, f) : QString(), differs));
        m_table->setItem(row, 2, cell(m_file ? config::shownValue(*m_file, f) : QString(), differs));
        m_table->setItem(row, 3, cell(state, differs));
    }
}

void ConfigurationTab::showStatus(const QString &text, bool ok)
{
    m_status->setText(text);
    m_status->setStyleSheet(ok ? QString() : QStringLiteral("color: rgb(200,0,0);"));
}
