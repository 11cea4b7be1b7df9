#include "tabs/standards_dialog.h"

#include "tabs/certificate_terms_table.h"

#include "records_db/instrument_register.h"
#include "tabs/record_widgets.h"
#include "tabs/standards_texts.h"
#include "texts/engine_texts.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using recordsdb::DueState;
using standardstext::Text;

namespace {

enum Column { ColSerial, ColModel, ColDescription, ColCertificate, ColCalibrated, ColDue, ColStatus, ColCount };

// A date that may be left out: the earliest date stands for "not given".
QDateEdit *dateEdit(const char *name)
{
    auto *e = new QDateEdit;
    e->setObjectName(QLatin1String(name));
    e->setCalendarPopup(true);
    e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    e->setMinimumDate(QDate(2000, 1, 1));
    e->setSpecialValueText(QStringLiteral(" "));
    e->setDate(e->minimumDate());
    return e;
}

QDate dateOf(const QDateEdit *e)
{
    return e->date() == e->minimumDate() ? QDate() : e->date();
}

void setDate(QDateEdit *e, const QDate &date)
{
    e->setDate(date.isValid() ? date : e->minimumDate());
}

} // namespace

StandardsDialog::StandardsDialog(recordsdb::RecordDb &db, int language, QWidget *parent)
    : QDialog(parent), m_register(db), m_language(language)
{
    setObjectName(QStringLiteral("standardsDialog"));
    setWindowTitle(standardstext::text(Text::Title, language));
    m_table = new QTableWidget(0, ColCount);
    m_table->setObjectName(QStringLiteral("tableWidget_standards"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->setVisible(false);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    QStringList titles;
    for (Text t : {Text::Serial, Text::Model, Text::Description, Text::Certificate, Text::Calibrated, Text::Due,
                   Text::Status})
        titles << standardstext::text(t, language);
    m_table->setHorizontalHeaderLabels(titles);
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("label_standard_message"));
    m_message->setWordWrap(true);
    auto *below = new QHBoxLayout;
    below->addWidget(buildForm());
    below->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(below);
    layout->addWidget(m_message);
    resize(900, 560);

    connect(m_table, &QTableWidget::itemSelectionChanged, this, &StandardsDialog::showSelected);
    refresh();
}

QWidget *StandardsDialog::buildForm()
{
    auto edit = [](const char *name) {
        auto *e = new QLineEdit;
        e->setObjectName(QLatin1String(name));
        e->setMinimumWidth(260);
        return e;
    };
    m_serial = edit("lineEdit_standard_serial");
    m_model = edit("lineEdit_standard_model");
    m_description = edit("lineEdit_standard_description");
    m_certificate = edit("lineEdit_standard_certificate");
    m_calibrated = dateEdit("dateEdit_standard_calibrated");
    m_due = dateEdit("dateEdit_standard_due");
    // Stored as written: an unattended run takes only "in service".
    m_status = new QComboBox;
    m_status->setObjectName(QStringLiteral("comboBox_standard_status"));
    m_status->setEditable(true);
    m_status->addItems({QStringLiteral("in service"), QStringLiteral("out of service"), QStringLiteral("withdrawn")});
    m_terms = new CertificateTermsTable(m_language);
    auto *save = new QPushButton(standardstext::text(Text::Save, m_language));
    save->setObjectName(QStringLiteral("pushButton_standard_save"));
    auto *fresh = new QPushButton(standardstext::text(Text::New, m_language));
    fresh->setObjectName(QStringLiteral("pushButton_standard_new"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(save);
    buttons->addWidget(fresh);
    buttons->addStretch(1);
    auto *form = new QWidget;
    auto *grid = new QFormLayout(form);
    grid->setContentsMargins(0, 0, 0, 0);
    const QList<QPair<Text, QWidget *>> rows = {{Text::Serial, m_serial}, {Text::Model, m_model},
        {Text::Description, m_description}, {Text::Certificate, m_certificate}, {Text::Calibrated, m_calibrated},
        {Text::Due, m_due}, {Text::Status, m_status}, {Text::Terms, m_terms}};
    for (const auto &row : rows)
        grid->addRow(standardstext::text(row.first, m_language), row.second);
    grid->addRow(QString(), buttons);
    connect(save, &QPushButton::clicked, this, &StandardsDialog::saveForm);
    connect(fresh, &QPushButton::clicked, this, &StandardsDialog::clearForm);
    return form;
}

void StandardsDialog::refresh()
{
    m_rows = m_register.list();
    if (m_rows.isEmpty() && !m_register.error().isEmpty())
        m_message->setText(enginetext::render(m_register.error(), m_language));
    const QSignalBlocker quiet(m_table);   // the form keeps what is being typed
    m_table->setRowCount(m_rows.size());
    const QDate today = QDate::currentDate();
    for (int row = 0; row < m_rows.size(); ++row) {
        const recordsdb::Standard &s = m_rows[row];
        const DueState state = recordsdb::dueState(s.due, today);
        QString status = s.status;
        if (state == DueState::Overdue || state == DueState::DueSoon)
            status += QStringLiteral(" · ")
                      + standardstext::text(state == DueState::Overdue ? Text::Overdue : Text::DueSoon, m_language);
        const QStringList cells{s.serial, s.model, s.description, s.certificate, s.calibrated.toString(Qt::ISODate),
                                s.due.toString(Qt::ISODate), status};
        // Why an unattended run would refuse it, in the register's words.
        const QString refusal = recordsdb::standardRefusal(s, s.serial, today).value_or(QString());
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (recordui::dueColour(state).isValid())
                item->setBackground(recordui::dueColour(state));
            item->setToolTip(refusal);
            m_table->setItem(row, c, item);
        }
    }
}

void StandardsDialog::showSelected()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_rows.size())
        return;
    const recordsdb::Standard &s = m_rows[row];
    m_serial->setText(s.serial);
    m_model->setText(s.model);
    m_description->setText(s.description);
    m_certificate->setText(s.certificate);
    setDate(m_calibrated, s.calibrated);
    setDate(m_due, s.due);
    m_status->setCurrentText(s.status);
    m_terms->setTerms(s.terms);
}

void StandardsDialog::clearForm()
{
    const QSignalBlocker quiet(m_table);
    m_table->clearSelection();
    m_table->setCurrentItem(nullptr);
    for (QLineEdit *e : {m_serial, m_model, m_description, m_certificate})
        e->clear();
    setDate(m_calibrated, QDate());
    setDate(m_due, QDate());
    m_status->setCurrentIndex(0);
    m_terms->setTerms({});
    m_message->clear();
    m_serial->setFocus();
}

void StandardsDialog::saveForm()
{
    recordsdb::Standard s;
    s.serial = m_serial->text().trimmed();
    s.model = m_model->text().trimmed();
    s.description = m_description->text().trimmed();
    s.certificate = m_certificate->text().trimmed();
    s.calibrated = dateOf(m_calibrated);
    s.due = dateOf(m_due);
    s.status = m_status->currentText().trimmed();
    // A new state of a standard keeps its terms only as the form shows them: a row not whole saves nothing.
    QString function;
    const auto terms = m_terms->terms(function);
    if (!terms) {
        m_message->setText(standardstext::text(Text::BadTerms, m_language).arg(function));
        return;
    }
    s.terms = *terms;
    if (!m_register.save(s)) {
        m_message->setText(enginetext::render(m_register.error(), m_language));
        return;
    }
    m_message->setText(standardstext::text(Text::Saved, m_language).arg(s.serial));
    refresh();
    selectSerial(s.serial);
}

// The saved row stays chosen, so a further change starts from what was stored.
void StandardsDialog::selectSerial(const QString &serial)
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].serial == serial) {
            const QSignalBlocker quiet(m_table);
            m_table->selectRow(row);
            return;
        }
    }
}
