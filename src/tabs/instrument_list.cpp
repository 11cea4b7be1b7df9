#include "tabs/instrument_list.h"

#include "record/record_table.h"
#include "record/record_texts.h"
#include "tabs/auto_calibration_texts.h"
#include "tabs/drift_chart.h"
#include "tabs/record_widgets.h"
#include "texts/engine_texts.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

using record::Text;
using recordsdb::DueState;

namespace {

QLineEdit *edit(const char *name)
{
    auto *e = new QLineEdit;
    e->setObjectName(QLatin1String(name));
    return e;
}

} // namespace

InstrumentListDialog::InstrumentListDialog(recordsdb::RecordDb &db, int language, QWidget *parent)
    : QDialog(parent), m_db(db), m_register(db), m_language(language)
{
    setObjectName(QStringLiteral("instrumentListDialog"));
    setWindowTitle(record::text(Text::Instruments, language));
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    m_search = edit("lineEdit_instrument_search");
    m_search->setPlaceholderText(record::text(Text::Search, language));
    auto *start = new QPushButton(record::text(Text::StartCheckFor, language));
    start->setObjectName(QStringLiteral("pushButton_instrument_start"));
    top->addWidget(m_search, 1);
    top->addWidget(start);
    layout->addLayout(top);
    m_table = new QTableWidget(0, 8);
    m_table->setObjectName(QStringLiteral("tableWidget_instruments"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->setVisible(false);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    QStringList titles;
    for (Text t : {Text::Tag, Text::Serial, Text::Description, Text::Location, Text::Range, Text::LastAsLeft,
                   Text::NextDue, Text::Status})
        titles << record::text(t, language);
    m_table->setHorizontalHeaderLabels(titles);
    layout->addWidget(m_table, 1);
    auto *below = new QHBoxLayout;
    m_history = recordui::table("tableWidget_instrument_history", 3);
    m_history->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_history->setHorizontalHeaderLabels({record::text(Text::HistoryTime, language), record::text(Text::HistoryStage, language),
                                          record::text(Text::HistoryVerdict, language)});
    m_chart = new DriftChart;
    below->addWidget(buildForm(), 3);
    below->addWidget(m_history, 3);
    below->addWidget(m_chart, 3);
    layout->addLayout(below, 1);
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("label_instrument_message"));
    layout->addWidget(m_message);
    resize(1100, 640);

    connect(m_search, &QLineEdit::textChanged, this, &InstrumentListDialog::refresh);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &InstrumentListDialog::showSelected);
    connect(start, &QPushButton::clicked, this, &InstrumentListDialog::startCheck);
    refresh();
}

QWidget *InstrumentListDialog::buildForm()
{
    auto *form = new QWidget;
    auto *grid = new QFormLayout(form);
    m_tag = edit("lineEdit_instrument_tag");
    m_serial = edit("lineEdit_instrument_serial");
    m_description = edit("lineEdit_instrument_description");
    m_location = edit("lineEdit_instrument_location");
    m_inputType = edit("lineEdit_instrument_input");
    m_procedure = edit("lineEdit_instrument_procedure");
    m_lower = new QDoubleSpinBox;
    m_upper = new QDoubleSpinBox;
    for (QDoubleSpinBox *box : {m_lower, m_upper}) {
        box->setRange(-3276.8, 3276.7);
        box->setDecimals(1);
    }
    m_upper->setValue(100.0);
    m_interval = new QSpinBox;
    m_interval->setObjectName(QStringLiteral("spinBox_instrument_interval"));
    m_interval->setRange(1, 120);
    m_interval->setValue(12);
    // Editable: a register may use units and states of its own; what is stored comes back as it was.
    m_unit = new QComboBox;
    m_unit->setObjectName(QStringLiteral("comboBox_instrument_unit"));
    m_unit->setEditable(true);
    m_unit->addItems({QStringLiteral("°C"), QStringLiteral("°F"), QStringLiteral("K")});
    m_status = new QComboBox;
    m_status->setObjectName(QStringLiteral("comboBox_instrument_status"));
    m_status->setEditable(true);
    m_status->addItems({QStringLiteral("in service"), QStringLiteral("spare"), QStringLiteral("out of service"),
                        QStringLiteral("withdrawn")});
    auto *range = new QHBoxLayout;
    range->addWidget(m_lower);
    range->addWidget(m_upper);
    range->addWidget(m_unit);
    auto *save = new QPushButton(record::text(Text::SaveInstrument, m_language));
    save->setObjectName(QStringLiteral("pushButton_instrument_save"));
    const QList<QPair<Text, QWidget *>> rows = {{Text::Tag, m_tag}, {Text::Serial, m_serial},
        {Text::Description, m_description}, {Text::Location, m_location}, {Text::InputType, m_inputType}};
    for (const auto &row : rows)
        grid->addRow(record::text(row.first, m_language), row.second);
    grid->addRow(record::text(Text::Range, m_language), range);
    grid->addRow(record::text(Text::IntervalMonths, m_language), m_interval);
    grid->addRow(record::text(Text::Status, m_language), m_status);
    grid->addRow(autotext::text(autotext::Text::ProcedureFile, m_language), m_procedure);
    grid->addRow(QString(), save);
    connect(save, &QPushButton::clicked, this, &InstrumentListDialog::saveForm);
    return form;
}

void InstrumentListDialog::refresh()
{
    m_rows = m_register.list(m_search->text());
    m_table->setRowCount(m_rows.size());
    const QDate today = QDate::currentDate();
    for (int row = 0; row < m_rows.size(); ++row) {
        const recordsdb::InstrumentRow &r = m_rows[row];
        const recordsdb::Instrument &i = r.instrument;
        const DueState state = recordsdb::dueState(r.due, today);
        QString status = i.status;
        if (state != DueState::Ok)
            status += QStringLiteral(" · ") + record::text(state == DueState::Overdue ? Text::Overdue
                                                           : state == DueState::DueSoon ? Text::DueSoon
                                                                                        : Text::NeverCalibrated, m_language);
        const QStringList cells{i.tag, i.serial, i.description, i.location,
                                QStringLiteral("%1 .. %2 %3").arg(i.rangeLower, 0, 'f', 1).arg(i.rangeUpper, 0, 'f', 1).arg(i.unit),
                                r.lastAsLeft.toString(Qt::ISODate), r.due.toString(Qt::ISODate), status};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (recordui::dueColour(state).isValid())
                item->setBackground(recordui::dueColour(state));
            m_table->setItem(row, c, item);
        }
    }
}

void InstrumentListDialog::showSelected()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_rows.size())
        return;
    const recordsdb::Instrument &i = m_rows[row].instrument;
    m_tag->setText(i.tag);
    m_serial->setText(i.serial);
    m_description->setText(i.description);
    m_location->setText(i.location);
    m_inputType->setText(i.inputType);
    m_lower->setValue(i.rangeLower);
    m_upper->setValue(i.rangeUpper);
    m_interval->setValue(i.intervalMonths);
    m_unit->setCurrentText(i.unit);
    m_status->setCurrentText(i.status);
    m_procedure->setText(i.procedure);
    showHistory(i);
}

// Every stored check of the instrument's serial, and the as-found drift of the current versions.
void InstrumentListDialog::showHistory(const recordsdb::Instrument &instrument)
{
    const QVector<recordsdb::StoredRecord> stored = m_db.list(instrument.serial).value_or(QVector<recordsdb::StoredRecord>());
    m_history->setRowCount(stored.size());
    QVector<record::Record> current;
    double tolerance = 0.0;
    for (int row = 0; row < stored.size(); ++row) {
        const record::Record &r = stored[row].record;
        QString stage = record::text(r.stage == record::Stage::AsFound ? Text::AsFound : Text::AsLeft, m_language)
                        + QStringLiteral(" #%1").arg(r.id);
        if (stored[row].supersededBy)
            stage += QStringLiteral(" → #%1").arg(stored[row].supersededBy);
        else
            current << r;
        const QStringList cells{record::localTimeText(r.started, false), stage,
                                record::verdictText(record::verdict(r), m_language)};
        for (int c = 0; c < cells.size(); ++c)
            m_history->setItem(row, c, new QTableWidgetItem(cells[c]));
        tolerance = record::toleranceDegrees(r.header.tolerance, r.header.range);
    }
    m_chart->plot(record::driftSeries(current), tolerance, instrument.unit, record::text(Text::DriftChart, m_language));
}

void InstrumentListDialog::saveForm()
{
    recordsdb::Instrument i;
    i.tag = m_tag->text().trimmed();
    i.serial = m_serial->text().trimmed();
    i.description = m_description->text().trimmed();
    i.location = m_location->text().trimmed();
    i.inputType = m_inputType->text().trimmed();
    i.rangeLower = m_lower->value();
    i.rangeUpper = m_upper->value();
    i.intervalMonths = m_interval->value();
    i.unit = m_unit->currentText().trimmed();
    i.status = m_status->currentText().trimmed();
    i.procedure = m_procedure->text().trimmed();
    m_message->setText(m_register.save(i) ? QString() : enginetext::render(m_register.error(), m_language));
    refresh();
}

void InstrumentListDialog::startCheck()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_rows.size())
        return;
    emit checkRequested(m_rows[row].instrument);
    accept();
}
