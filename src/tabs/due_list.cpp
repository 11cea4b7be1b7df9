#include "tabs/due_list.h"

#include "records_db/record_db.h"
#include "tabs/record_widgets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const rv::Text kColumns[] = {rv::Text::ColTag,       rv::Text::ColSerial,     rv::Text::ColDescription,
                             rv::Text::ColLocation,  rv::Text::ColLastAsLeft, rv::Text::ColDue,
                             rv::Text::ColDueState};
constexpr int kColumnCount = int(sizeof(kColumns) / sizeof(kColumns[0]));

} // namespace

DueList::DueList(Hooks hooks, QWidget *parent) : QWidget(parent), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("tab_due"));
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("lineEdit_due_search"));
    m_search->setClearButtonEnabled(true);
    m_all = new QCheckBox;
    m_all->setObjectName(QStringLiteral("checkBox_due_all"));
    m_table = recordui::table("tableWidget_due", kColumnCount);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(22);
    m_automatic = new QPushButton;
    m_automatic->setObjectName(QStringLiteral("pushButton_due_automatic"));
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("label_due_status"));
    m_status->setWordWrap(true);
    auto *bar = new QHBoxLayout;
    bar->addWidget(m_search, 1);
    bar->addWidget(m_all);
    auto *actions = new QHBoxLayout;
    actions->addWidget(m_automatic);
    actions->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);
    layout->addLayout(actions);
    layout->addWidget(m_status);
    connect(m_search, &QLineEdit::textChanged, this, &DueList::refresh);
    connect(m_all, &QCheckBox::toggled, this, &DueList::refresh);
    connect(m_automatic, &QPushButton::clicked, this, &DueList::startAutomatic);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, [this] {
        const bool any = !m_table->selectedItems().isEmpty();
        m_automatic->setEnabled(any);
        m_automatic->setToolTip(any ? QString() : rv::text(rv::Text::NothingSelected, m_language));
    });
    setLanguage(0);
}

QString DueList::title() const { return rv::text(rv::Text::DueTitle, m_language); }
QString DueList::statusText() const { return m_status->text(); }

void DueList::setLanguage(int language)
{
    m_language = language;
    setWindowTitle(title());
    m_search->setPlaceholderText(rv::text(rv::Text::DueSearch, language));
    m_all->setText(rv::text(rv::Text::ShowAll, language));
    m_automatic->setText(rv::text(rv::Text::StartAutomatic, language));
    QStringList headers;
    for (rv::Text t : kColumns)
        headers << rv::text(t, language);
    m_table->setHorizontalHeaderLabels(headers);
    showRows();
}

void DueList::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void DueList::refresh()
{
    auto *db = m_hooks.database ? m_hooks.database() : nullptr;
    QVector<recordsdb::InstrumentRow> rows;
    if (db) {
        recordsdb::InstrumentRegister reg(*db);
        rows = reg.list(m_search->text().trimmed());
        m_status->setText(reg.error().isEmpty() ? QString() : rv::text(rv::Text::NotDone, m_language).arg(reg.error()));
    }
    m_rows = records::dueRows(rows, QDate::currentDate(), m_all->isChecked());
    showRows();
}

void DueList::showRows()
{
    m_table->clearContents();
    m_table->setRowCount(m_rows.size());
    for (int r = 0; r < m_rows.size(); ++r) {
        const recordsdb::InstrumentRow &row = m_rows[r].row;
        const QStringList cells = {row.instrument.tag, row.instrument.serial, row.instrument.description,
                                   row.instrument.location, row.lastAsLeft.toString(Qt::ISODate),
                                   row.due.toString(Qt::ISODate), rv::text(records::dueText(m_rows[r].state), m_language)};
        const QColor colour = recordui::dueColour(m_rows[r].state);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (colour.isValid())
                item->setBackground(colour);
            m_table->setItem(r, c, item);
        }
    }
    m_automatic->setEnabled(false);
    m_automatic->setToolTip(rv::text(rv::Text::NothingSelected, m_language));
}

void DueList::startAutomatic()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_rows.size() || m_table->selectedItems().isEmpty())
        return m_status->setText(rv::text(rv::Text::NothingSelected, m_language));
    const recordsdb::Instrument &instrument = m_rows[row].row.instrument;
    m_hooks.calibrate(instrument);
    m_status->setText(rv::text(rv::Text::HandedAutomatic, m_language).arg(instrument.tag));
}
