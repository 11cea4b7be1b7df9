#include "tabs/certificate_details_dialog.h"

#include "texts/records_view_texts.h"

#include "record/record_texts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

using namespace record;

namespace {

QLineEdit *edit(const char *name, const QString &text)
{
    auto *e = new QLineEdit(text);
    e->setObjectName(QLatin1String(name));
    e->setMinimumWidth(360);
    return e;
}

} // namespace

CertificateDetailsDialog::CertificateDetailsDialog(const Issuer &issuer, const Receipt &receipt, int language,
                                                   QWidget *parent)
    : QDialog(parent), m_language(language), m_receipt(receipt)
{
    setWindowTitle(text(Text::CertificateDetails, language));
    auto *form = new QFormLayout(this);
    const Text labels[3] = {Text::LaboratoryAddress, Text::CustomerName, Text::CustomerAddress};
    const char *names[3] = {"lineEdit_details_laboratory_address", "lineEdit_details_customer",
                            "lineEdit_details_customer_address"};
    const QString values[3] = {issuer.laboratoryAddress, issuer.customer, issuer.customerAddress};
    for (int i = 0; i < 3; ++i)
        form->addRow(text(labels[i], language), m_issuer[i] = edit(names[i], values[i]));
    m_place = edit("lineEdit_details_place", receipt.place);
    m_received = edit("lineEdit_details_received", receipt.received.toString(Qt::ISODate));
    m_received->setPlaceholderText(receiptLabel(ReceiptField::DateExample, language));
    m_condition = edit("lineEdit_details_condition", receipt.condition);
    m_external = edit("lineEdit_details_external", receipt.externalProviders);
    form->addRow(receiptLabel(ReceiptField::Place, language), m_place);
    form->addRow(receiptLabel(ReceiptField::Received, language), m_received);
    form->addRow(receiptLabel(ReceiptField::Condition, language), m_condition);
    form->addRow(receiptLabel(ReceiptField::External, language), m_external);
    auto *supplied = new QHBoxLayout;
    const Text fieldTexts[4] = {Text::Tag, Text::Description, Text::Range, Text::Tolerance};
    for (int i = 0; i < 4; ++i) {   // in the order of customerFields()
        m_supplied[i] = new QCheckBox(text(fieldTexts[i], language));
        m_supplied[i]->setObjectName(QStringLiteral("checkBox_details_") + customerFields()[i]);
        m_supplied[i]->setChecked(receipt.customerSupplied.contains(customerFields()[i]));
        supplied->addWidget(m_supplied[i]);
    }
    form->addRow(receiptLabel(ReceiptField::Supplied, language), supplied);
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("label_details_problem"));
    form->addRow(m_problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    // Qt's own words stay English without its translations: the window's tables say them.
    buttons->button(QDialogButtonBox::Ok)->setText(rv::text(rv::Text::DialogOk, language));
    buttons->button(QDialogButtonBox::Cancel)->setText(rv::text(rv::Text::SignCancel, language));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CertificateDetailsDialog::check);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

Issuer CertificateDetailsDialog::issuer() const
{
    return {m_issuer[0]->text(), m_issuer[1]->text(), m_issuer[2]->text()};
}

// Accepted only with a date of receipt that is a date, or none.
void CertificateDetailsDialog::check()
{
    const QString typed = m_received->text().trimmed();
    const QDate received = QDate::fromString(typed, Qt::ISODate);
    if (!typed.isEmpty() && !received.isValid()) {
        m_problem->setText(receiptLabel(ReceiptField::Received, m_language) + QStringLiteral(": ")
                           + receiptLabel(ReceiptField::DateExample, m_language));
        return;
    }
    m_receipt = {m_place->text().trimmed(), received, m_condition->text().trimmed(), m_external->text().trimmed(), {}};
    for (int i = 0; i < 4; ++i)
        if (m_supplied[i]->isChecked())
            m_receipt.customerSupplied << customerFields()[i];
    accept();
}
