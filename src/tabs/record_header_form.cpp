#include "tabs/record_header_form.h"

#include "texts/records_view_texts.h"

#include "record/number_input.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

using namespace record;
using recordui::lineEdit;
using recordui::numberBox;

namespace {
const char kRemembered[] = "record/header";
}

RecordHeaderForm::RecordHeaderForm(QWidget *parent) : QGroupBox(parent)
{
    m_texts.add(this, Text::HeaderGroup);
    m_tag = lineEdit("lineEdit_record_tag");
    m_serial = lineEdit("lineEdit_record_serial");
    m_description = lineEdit("lineEdit_record_description");
    m_technician = lineEdit("lineEdit_record_technician");
    m_reference = lineEdit("lineEdit_record_reference");
    m_ambient = lineEdit("lineEdit_record_ambient");
    m_laboratory = lineEdit("lineEdit_record_laboratory");
    m_procedure = lineEdit("lineEdit_record_procedure");
    m_referenceCertificate = lineEdit("lineEdit_record_reference_certificate");
    m_uncertainty = lineEdit("lineEdit_record_uncertainty");
    m_override = lineEdit("lineEdit_record_override");
    m_amendReason = lineEdit("lineEdit_record_amend_reason");
    m_points = lineEdit("lineEdit_record_points");
    m_folder = lineEdit("lineEdit_record_folder");
    m_folder->setText(recordsdb::defaultRecordsFolder());
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
    // The decision rule as tcal-cli's procedure states it: guarded, r = 1, unless chosen otherwise.
    m_rule = new QComboBox;
    m_rule->setObjectName(QStringLiteral("comboBox_record_decision_rule"));
    m_rule->addItems({QString(), QString(), QString()});
    m_rule->setCurrentIndex(int(metrology::DecisionRule::Kind::Guarded));
    m_guard = numberBox("spinBox_record_guard_factor", 0.0, 3.0, 2, 1.0);
    m_ruleLabel = new QLabel;
    connect(m_rule, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int kind) { m_guard->setEnabled(kind == int(metrology::DecisionRule::Kind::Guarded)); });
    m_lower = numberBox("spinBox_record_lower", -3276.8, 3276.7, 1, 0.0);
    m_upper = numberBox("spinBox_record_upper", -3276.8, 3276.7, 1, 1000.0);
    m_unitLabel = new QLabel(m_unit);
    m_polls = new QSpinBox;
    m_polls->setObjectName(QStringLiteral("spinBox_record_polls"));
    m_polls->setRange(1, 50);
    m_polls->setValue(5);
    m_repeats = new QSpinBox;
    m_repeats->setObjectName(QStringLiteral("spinBox_record_repeats"));
    m_repeats->setRange(1, 10);
    m_band = numberBox("spinBox_record_band", 0.0, 100.0, 2, 0.2);
    m_timeout = new QSpinBox;
    m_timeout->setObjectName(QStringLiteral("spinBox_record_timeout"));
    m_timeout->setRange(5, 3600);
    m_timeout->setValue(60);
    addRows(new QGridLayout(this));
    connect(m_serial, &QLineEdit::editingFinished, this, &RecordHeaderForm::serialOrFolderChanged);
    connect(m_folder, &QLineEdit::editingFinished, this, &RecordHeaderForm::serialOrFolderChanged);
    fillDefaultPoints();
}

// Two columns of labelled fields; every row short enough for the window's default width.
void RecordHeaderForm::addRows(QGridLayout *grid)
{
    auto *readRange = m_texts.button(Text::ReadRange, "pushButton_record_read_range");
    auto *defaults = m_texts.button(Text::DefaultPoints, "pushButton_record_default_points");
    const auto row = [](std::initializer_list<QWidget *> widgets) {
        auto *box = new QHBoxLayout;
        for (QWidget *w : widgets)
            box->addWidget(w);
        return box;
    };
    const QList<QPair<Text, QWidget *>> left = {
        {Text::Tag, m_tag}, {Text::Serial, m_serial}, {Text::Description, m_description},
        {Text::Technician, m_technician}, {Text::Laboratory, m_laboratory}, {Text::Procedure, m_procedure},
        {Text::ReferenceInstrument, m_reference}, {Text::ReferenceCertificate, m_referenceCertificate},
        {Text::ReferenceDue, m_due}, {Text::OverrideReason, m_override}, {Text::Uncertainty, m_uncertainty},
        {Text::AmendReason, m_amendReason}};
    for (int r = 0; r < left.size(); ++r) {
        grid->addWidget(m_texts.label(left[r].first), r, 0);
        grid->addWidget(left[r].second, r, 1);
    }
    const QList<QPair<Text, QLayout *>> right = {
        {Text::Ambient, row({m_ambient})}, {Text::Tolerance, row({m_tolerance, m_toleranceKind})},
        {Text::RangeLower, row({m_lower, m_upper, m_unitLabel})}, {Text::ReadRange, row({readRange})},
        {Text::TestPoints, row({m_points})}, {Text::DefaultPoints, row({defaults})},
        {Text::StablePolls, row({m_polls, m_texts.label(Text::Repeats), m_repeats})}, {Text::StableBand, row({m_band})},
        {Text::StableTimeout, row({m_timeout})}, {Text::RecordsFolder, row({m_folder})}};
    const int ruleRow = right.size();
    grid->addWidget(m_ruleLabel, ruleRow, 2);
    grid->addLayout(row({m_rule, m_guard}), ruleRow, 3);
    for (int r = 0; r < right.size(); ++r) {
        // The buttons' rows need no label of their own: the button says it.
        if (right[r].first != Text::ReadRange && right[r].first != Text::DefaultPoints)
            grid->addWidget(m_texts.label(right[r].first), r, 2);
        grid->addLayout(right[r].second, r, 3);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(left.size(), 1);
    connect(readRange, &QPushButton::clicked, this, &RecordHeaderForm::readRangeRequested);
    connect(defaults, &QPushButton::clicked, this, &RecordHeaderForm::fillDefaultPoints);
}

void RecordHeaderForm::applyTexts(int language)
{
    m_texts.apply(language);
    m_toleranceKind->setItemText(0, m_unit);
    m_toleranceKind->setItemText(1, text(Text::TolerancePercent, language));
    m_ruleLabel->setText(rv::text(rv::Text::RuleLabel, language));
    for (auto [kind, t] : {std::pair{metrology::DecisionRule::Kind::Simple, rv::Text::RuleSimple},
                           {metrology::DecisionRule::Kind::Guarded, rv::Text::RuleGuarded},
                           {metrology::DecisionRule::Kind::NonBinary, rv::Text::RuleNonBinary}})
        m_rule->setItemText(int(kind), rv::text(t, language));
    m_guard->setToolTip(rv::text(rv::Text::GuardFactor, language));
}

Header RecordHeaderForm::header(int address) const
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
    h.tolerance = {m_toleranceKind->currentIndex() == 0 ? Tolerance::Kind::Degrees : Tolerance::Kind::PercentOfSpan,
                   m_tolerance->value()};
    h.range = {m_lower->value(), m_upper->value()};
    h.address = address;
    h.decisionRule = {metrology::DecisionRule::Kind(m_rule->currentIndex()), m_guard->value()};
    // The reason for an expired reference belongs on the record only when it is expired.
    if (referenceState(h, QDate::currentDate()) == ReferenceState::Expired)
        h.referenceOverride = m_override->text().trimmed();
    return h;
}

std::optional<QVector<double>> RecordHeaderForm::typedPoints(QString *refused) const
{
    const ParsedPoints parsed = parsePoints(m_points->text());
    if (refused)
        *refused = parsed.refused;
    if (parsed.points.isEmpty())
        return std::nullopt;
    return parsed.points;
}

QString RecordHeaderForm::badUncertainty() const
{
    const QString typed = m_uncertainty->text().trimmed();
    return !typed.isEmpty() && !parseNumber(typed) ? typed : QString();
}

StabilitySettings RecordHeaderForm::stabilitySettings() const
{
    return {m_polls->value(), m_band->value(), m_timeout->value() * 1000, m_repeats->value()};
}

QString RecordHeaderForm::recordsFolder() const { return m_folder->text().trimmed(); }
QString RecordHeaderForm::technician() const { return m_technician->text().trimmed(); }
QString RecordHeaderForm::serial() const { return m_serial->text().trimmed(); }

QString RecordHeaderForm::takeAmendReason()
{
    const QString reason = m_amendReason->text().trimmed();
    if (!reason.isEmpty())
        m_amendReason->clear();
    return reason;
}

void RecordHeaderForm::setRange(const Range &range, const QString &unit)
{
    m_unit = unit.isEmpty() ? QStringLiteral("°C") : unit;
    m_unitLabel->setText(m_unit);
    m_toleranceKind->setItemText(0, m_unit);
    m_lower->setValue(range.lower);
    m_upper->setValue(range.upper);
    fillDefaultPoints();
}

void RecordHeaderForm::fillDefaultPoints()
{
    m_points->setText(pointsText(testPoints({m_lower->value(), m_upper->value()}, defaultPercents())));
    m_points->setCursorPosition(0);
}

void RecordHeaderForm::useInstrument(const recordsdb::Instrument &i)
{
    m_tag->setText(i.tag);
    m_serial->setText(i.serial);
    m_description->setText(i.description);
    m_inputType = i.inputType;
    setRange({i.rangeLower, i.rangeUpper}, i.unit);
    emit serialOrFolderChanged();
}

void RecordHeaderForm::rememberHeader()
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

QString RecordHeaderForm::rememberedLaboratory()
{
    QSettings settings;
    settings.beginGroup(QLatin1String(kRemembered));
    return settings.value(QStringLiteral("lineEdit_record_laboratory")).toString();
}

void RecordHeaderForm::saveRemembered() const
{
    if (!m_remember)
        return;
    QSettings settings;
    settings.beginGroup(QLatin1String(kRemembered));
    for (QLineEdit *e : {m_technician, m_laboratory, m_procedure, m_reference, m_referenceCertificate})
        settings.setValue(e->objectName(), e->text().trimmed());
    settings.setValue(m_due->objectName(), header(0).referenceDue);
}
