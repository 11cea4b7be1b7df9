#include "tabs/due_list.h"

#include "records_db/record_db.h"
#include "tabs/record_widgets.h"
#include "texts/lab_texts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

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
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(22);
    m_automatic = new QPushButton;
    m_automatic->setObjectName(QStringLiteral("pushButton_due_automatic"));
    m_batch = new QPushButton;
    m_batch->setObjectName(QStringLiteral("pushButton_due_batch"));
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("label_due_status"));
    m_status->setWordWrap(true);
    auto *bar = new QHBoxLayout;
    bar->addWidget(m_search, 1);
    bar->addWidget(m_all);
    auto *actions = new QHBoxLayout;
    actions->addWidget(m_automatic);
    actions->addWidget(m_batch);
    actions->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);
    layout->addLayout(actions);
    layout->addWidget(m_status);
    connect(m_search, &QLineEdit::textChanged, this, &DueList::refresh);
    connect(m_all, &QCheckBox::toggled, this, &DueList::refresh);
    connect(m_automatic, &QPushButton::clicked, this, &DueList::startAutomatic);
    connect(m_batch, &QPushButton::clicked, this, &DueList::startBatch);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &DueList::showSelection);
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
    m_batch->setText(labtext::text(labtext::Text::StartBatch, language));
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
        m_status->setText(reg.error().isEmpty() ? QString() : rv::notDone(reg.error(), m_language));
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
    showSelection();
}

QVector<recordsdb::Instrument> DueList::selected() const
{
    QVector<recordsdb::Instrument> units;
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    for (const QModelIndex &index : rows)
        if (index.row() < m_rows.size())
            units << m_rows[index.row()].row.instrument;
    std::sort(units.begin(), units.end(), [](const auto &a, const auto &b) { return a.tag < b.tag; });
    return units;
}

// Automatic for exactly one instrument, a batch for two or more; otherwise why not.
void DueList::showSelection()
{
    const int count = selected().size();
    m_automatic->setEnabled(count == 1);
    m_automatic->setToolTip(count == 1 ? QString()
                            : count == 0 ? rv::text(rv::Text::NothingSelected, m_language)
                                         : labtext::text(labtext::Text::SelectOne, m_language));
    m_batch->setEnabled(count >= 2);
    m_batch->setToolTip(count >= 2 ? QString() : labtext::text(labtext::Text::SelectSeveral, m_language));
}

void DueList::startAutomatic()
{
    const QVector<recordsdb::Instrument> units = selected();
    if (units.size() != 1)
        return m_status->setText(m_automatic->toolTip());
    m_hooks.calibrate(units.first());
    m_status->setText(rv::text(rv::Text::HandedAutomatic, m_language).arg(units.first().tag));
}

void DueList::startBatch()
{
    const QVector<recordsdb::Instrument> units = selected();
    if (units.size() < 2 || !m_hooks.batch)
        return m_status->setText(labtext::text(labtext::Text::SelectSeveral, m_language));
    m_hooks.batch(units);
    m_status->setText(labtext::text(labtext::Text::HandedBatch, m_language).arg(units.size()));
}
