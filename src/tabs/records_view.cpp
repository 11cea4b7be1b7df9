#include "tabs/records_view.h"

#include "record/certificate.h"
#include "record/record_csv.h"
#include "record/record_store.h"
#include "records_db/approvals.h"
#include "records_db/certificate_store.h"
#include "records_db/record_db.h"
#include "tabs/certificate_details_dialog.h"
#include "tabs/records_model.h"
#include "texts/lab_texts.h"
#include "tabs/signing_dialog.h"
#include "texts/engine_texts.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

using records::Action;
using records::CalibrationRow;
using Meaning = record::Signature::Meaning;

namespace {

const QDate kOpenDate(2000, 1, 1);   // a date edit at its minimum filters nothing

struct ActionButton { Action action; rv::Text text; const char *name; };
const ActionButton kButtons[records::kActionCount] = {
    {Action::Review, rv::Text::Review, "pushButton_records_review"},
    {Action::Approve, rv::Text::Approve, "pushButton_records_approve"},
    {Action::Issue, rv::Text::Issue, "pushButton_records_issue"},
    {Action::Open, rv::Text::Open, "pushButton_records_open"},
    {Action::Reprint, rv::Text::Reprint, "pushButton_records_reprint"},
    {Action::Replace, rv::Text::Replace, "pushButton_records_replace"},
    {Action::Export, rv::Text::Export, "pushButton_records_export"},
};

QDateEdit *dateEdit(const char *name)
{
    auto *edit = new QDateEdit;
    edit->setObjectName(QLatin1String(name));
    edit->setCalendarPopup(true);
    edit->setMinimumDate(kOpenDate);
    edit->setSpecialValueText(QStringLiteral("—"));
    edit->setDate(kOpenDate);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return edit;
}

} // namespace

RecordsView::RecordsView(Hooks hooks, QWidget *parent) : QWidget(parent), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("tab_records"));
    if (!m_hooks.open)
        m_hooks.open = [](const QString &path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    m_model = new RecordsModel(this);
    m_filter = new RecordsFilter(this);
    m_filter->setSourceModel(m_model);
    m_filter->setSortRole(RecordsModel::SortRole);
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("tableView_records"));
    m_table->setModel(m_filter);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(RecordsModel::Date, Qt::DescendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Each column as wide as what it shows, the state taking what is left.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(22);
    m_table->verticalHeader()->hide();
    m_details = new QTextBrowser;
    m_details->setObjectName(QStringLiteral("textBrowser_records_details"));
    auto *splitter = new QSplitter;
    splitter->setObjectName(QStringLiteral("splitter_records"));
    splitter->addWidget(m_table);
    splitter->addWidget(m_details);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 1);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("label_records_status"));
    m_status->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildFilters());
    layout->addWidget(splitter, 1);
    layout->addWidget(buildActions());
    layout->addWidget(m_status);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        updateActions();
        showDetails();
    });
    setLanguage(0);
}

RecordsView::~RecordsView() = default;

QWidget *RecordsView::buildFilters()
{
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("lineEdit_records_search"));
    m_search->setClearButtonEnabled(true);
    m_state = new QComboBox;
    m_state->setObjectName(QStringLiteral("comboBox_records_state"));
    m_from = dateEdit("dateEdit_records_from");
    m_to = dateEdit("dateEdit_records_to");
    m_fromLabel = new QLabel;
    m_toLabel = new QLabel;
    m_refresh = new QPushButton;
    m_refresh->setObjectName(QStringLiteral("pushButton_records_refresh"));
    auto *bar = new QWidget;
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_search, 3);
    row->addWidget(m_state, 1);
    for (QWidget *w : std::initializer_list<QWidget *>{m_fromLabel, m_from, m_toLabel, m_to, m_refresh})
        row->addWidget(w);
    connect(m_search, &QLineEdit::textChanged, this, &RecordsView::applyFilter);
    connect(m_state, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &RecordsView::applyFilter);
    connect(m_from, &QDateEdit::dateChanged, this, &RecordsView::applyFilter);
    connect(m_to, &QDateEdit::dateChanged, this, &RecordsView::applyFilter);
    connect(m_refresh, &QPushButton::clicked, this, &RecordsView::refresh);
    return bar;
}

QWidget *RecordsView::buildActions()
{
    auto *bar = new QWidget;
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    for (const ActionButton &b : kButtons) {
        auto *button = new QPushButton;
        button->setObjectName(QLatin1String(b.name));
        m_actions[static_cast<int>(b.action)] = button;
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, a = b.action] { act(a); });
    }
    return bar;
}

QString RecordsView::title() const { return rv::text(rv::Text::TabTitle, m_language); }
QString RecordsView::statusText() const { return m_status->text(); }

void RecordsView::setLanguage(int language)
{
    m_language = language;
    setWindowTitle(title());
    m_search->setPlaceholderText(rv::text(rv::Text::Search, language));
    const int state = m_state->currentIndex();
    m_state->blockSignals(true);
    m_state->clear();
    m_state->addItem(rv::text(rv::Text::AllStates, language));
    for (int s = 0; s < records::kRowStateCount; ++s)
        m_state->addItem(rv::text(records::stateText(static_cast<records::RowState>(s)), language));
    m_state->setCurrentIndex(qMax(0, state));
    m_state->blockSignals(false);
    m_fromLabel->setText(rv::text(rv::Text::From, language));
    m_toLabel->setText(rv::text(rv::Text::To, language));
    m_refresh->setText(rv::text(rv::Text::Refresh, language));
    for (const ActionButton &b : kButtons)
        m_actions[static_cast<int>(b.action)]->setText(rv::text(b.text, language));
    m_model->setLanguage(language);
    updateActions();
    showDetails();
}

void RecordsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void RecordsView::refresh()
{
    const CalibrationRow *current = selected();
    const QString keep = current ? current->numbers() + current->main().record.started.toString(Qt::ISODate) : QString();
    auto *db = m_hooks.database ? m_hooks.database(false) : nullptr;
    QString error;
    const auto snapshot = records::loadSnapshot(db, m_hooks.folder ? m_hooks.folder() : QString(), error);
    if (!snapshot) {
        report(rv::notDone(error, m_language));
        return;
    }
    m_context.chainIntact = snapshot->chainIntact;
    m_context.chainFault = snapshot->chainFault;
    m_entries = snapshot->entries;
    m_headNoteProblem = snapshot->headNoteProblem;
    // What was stored is said beside it: the head this workstation holds it to is missing.
    const QString note = rv::text(rv::Text::HeadNotNoted, m_language).arg(enginetext::render(m_headNoteProblem, m_language));
    if (!m_headNoteProblem.isEmpty() && !m_status->text().contains(note))
        report(m_status->text().isEmpty() ? note : m_status->text() + QLatin1Char('\n') + note);
    m_model->setRows(snapshot->rows);
    for (int i = 0; i < m_filter->rowCount(); ++i) {
        const CalibrationRow *r = m_model->row(m_filter->mapToSource(m_filter->index(i, 0)).row());
        if (!keep.isEmpty() && r && r->numbers() + r->main().record.started.toString(Qt::ISODate) == keep)
            m_table->selectRow(i);
    }
    updateActions();
    showDetails();
}

bool RecordsView::selectCheck(const QString &serial, const QDateTime &started)
{
    refresh();
    const auto find = [&] {
        for (int i = 0; i < m_filter->rowCount(); ++i)
            if (const CalibrationRow *r = m_model->row(m_filter->mapToSource(m_filter->index(i, 0)).row()))
                for (const records::Check *c : r->checks())
                    if (c->record.header.serial == serial && c->record.started.toString(Qt::ISODate) == started.toString(Qt::ISODate))
                        return i;
        return -1;
    };
    int row = find();
    if (row < 0) {
        m_search->clear();
        m_state->setCurrentIndex(0);
        m_from->setDate(kOpenDate);
        m_to->setDate(kOpenDate);
        applyFilter();
        row = find();
    }
    if (row < 0)
        report(labtext::text(labtext::Text::NotInRecords, m_language));
    else
        m_table->selectRow(row);
    return row >= 0;
}

const CalibrationRow *RecordsView::selected() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : m_model->row(m_filter->mapToSource(rows.first()).row());
}

void RecordsView::applyFilter()
{
    records::Filter filter;
    filter.text = m_search->text();
    if (m_state->currentIndex() > 0)
        filter.state = static_cast<records::RowState>(m_state->currentIndex() - 1);
    filter.from = m_from->date() == kOpenDate ? QDate() : m_from->date();
    filter.to = m_to->date() == kOpenDate ? QDate() : m_to->date();
    m_filter->setFilter(filter);
    updateActions();
    showDetails();
}

void RecordsView::updateActions()
{
    const CalibrationRow *row = selected();
    for (const ActionButton &b : kButtons) {
        const auto why = records::refusal(b.action, row, m_context);
        QPushButton *button = m_actions[static_cast<int>(b.action)];
        button->setEnabled(!why);
        button->setToolTip(why ? why->text(m_language) : QString());
    }
}

void RecordsView::report(const QString &text) { m_status->setText(text); }

void RecordsView::act(Action action)
{
    const CalibrationRow *current = selected();
    // The state may have moved since the buttons were set: ask again.
    if (const auto why = records::refusal(action, current, m_context)) {
        report(rv::notDone(why->text(m_language), m_language));
        updateActions();
        return;
    }
    const CalibrationRow row = *current;
    switch (action) {
    case Action::Review: sign(Meaning::Reviewed, row); break;
    case Action::Approve: sign(Meaning::Approved, row); break;
    case Action::Issue: issue(row, 0); break;
    case Action::Open: reprint(row, true); break;
    case Action::Reprint: reprint(row, false); break;
    case Action::Replace: issue(row, row.certificate); break;
    case Action::Export: exportCsv(row); break;
    }
}
