#include "tabs/reference_dialog.h"

#include "record/record_table.h"
#include "record/record_texts.h"
#include "records_db/certificate_store.h"
#include "records_db/reverse_trace.h"
#include "tabs/record_widgets.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

using record::Text;

ReferenceDialog::ReferenceDialog(recordsdb::RecordDb &db, const QString &reference, int language, QWidget *parent)
    : QDialog(parent), m_db(db), m_language(language)
{
    setObjectName(QStringLiteral("referenceDialog"));
    setWindowTitle(record::text(Text::ByReference, language));
    m_reference = recordui::lineEdit("lineEdit_reference_search");
    m_reference->setText(reference);
    m_since = new QDateEdit(QDate::currentDate().addYears(-1));
    m_since->setObjectName(QStringLiteral("dateEdit_reference_since"));
    m_since->setCalendarPopup(true);
    m_since->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_table = recordui::table("tableWidget_reference_checks", 7);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QStringList titles;
    for (Text t : {Text::HistoryTime, Text::Serial, Text::Tag, Text::HistoryStage, Text::HistoryVerdict,
                   Text::ReferenceCertificate, Text::Certificates})
        titles << record::text(t, language);
    m_table->setHorizontalHeaderLabels(titles);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(record::text(Text::ReferenceInstrument, language)));
    top->addWidget(m_reference, 1);
    top->addWidget(new QLabel(record::text(Text::Since, language)));
    top->addWidget(m_since);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    resize(860, 420);
    connect(m_reference, &QLineEdit::textChanged, this, &ReferenceDialog::refresh);
    connect(m_since, &QDateEdit::dateChanged, this, &ReferenceDialog::refresh);
    refresh();
}

void ReferenceDialog::refresh()
{
    const auto records = m_db.list().value_or(QVector<recordsdb::StoredRecord>());
    const auto checks = recordsdb::checksWithReference(records, m_reference->text(), m_since->date());
    recordsdb::CertificateStore certificates(m_db);
    m_table->setRowCount(checks.size());
    for (int row = 0; row < checks.size(); ++row) {
        const record::Record &r = checks[row].record;
        QStringList numbers;
        for (qint64 n : certificates.certifying(r.id))
            numbers << QString::number(n);
        const QStringList cells{record::localTimeText(r.started, false), r.header.serial, r.header.tag,
                                record::text(r.stage == record::Stage::AsFound ? Text::AsFound : Text::AsLeft, m_language)
                                    + QStringLiteral(" #%1").arg(r.id),
                                record::verdictText(record::verdict(r), m_language), r.header.referenceCertificate,
                                numbers.join(QStringLiteral(", "))};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
}
