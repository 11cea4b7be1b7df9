#include "tabs/instrument_list.h"

#include "record/record_texts.h"

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

QColor dueColour(DueState state)
{
    switch (state) {
    case DueState::Overdue: return QColor(0xf4, 0xb4, 0xb4);
    case DueState::DueSoon: return QColor(0xfb, 0xe3, 0xa0);
    default: return QColor();
    }
}

} // namespace

InstrumentListDialog::InstrumentListDialog(recordsdb::RecordDb &db, int language, QWidget *parent)
    : QDialog(parent), m_register(db), m_language(language)
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
    layout->addWidget(buildForm());
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("label_instrument_message"));
    layout->addWidget(m_message);
    resize(900, 520);

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
    auto *range = new QHBoxLayout;
    range->addWidget(m_lower);
    range->addWidget(m_upper);
    auto *save = new QPushButton(record::text(Text::SaveInstrument, m_language));
    save->setObjectName(QStringLiteral("pushButton_instrument_save"));
    range->addWidget(new QLabel(record::text(Text::IntervalMonths, m_language)));
    range->addWidget(m_interval);
    range->addWidget(save);
    const QList<QPair<Text, QWidget *>> rows = {{Text::Tag, m_tag}, {Text::Serial, m_serial},
        {Text::Description, m_description}, {Text::Location, m_location}, {Text::InputType, m_inputType}};
    for (const auto &row : rows)
        grid->addRow(record::text(row.first, m_language), row.second);
    grid->addRow(record::text(Text::Range, m_language), range);
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
        if (state == DueState::Overdue || state == DueState::DueSoon)
            status += QStringLiteral(" · ") + record::text(state == DueState::Overdue ? Text::Overdue : Text::DueSoon, m_language);
        const QStringList cells{i.tag, i.serial, i.description, i.location,
                                QStringLiteral("%1 .. %2 %3").arg(i.rangeLower, 0, 'f', 1).arg(i.rangeUpper, 0, 'f', 1).arg(i.unit),
                                r.lastAsLeft.toString(Qt::ISODate), r.due.toString(Qt::ISODate), status};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (dueColour(state).isValid())
                item->setBackground(dueColour(state));
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
    m_message->setText(m_register.save(i) ? QString() : m_register.error());
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
