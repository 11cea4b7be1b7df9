#pragma once
// The certificate's details on the record tab: the laboratory's address and
// the customer, kept in the settings, and what ISO/IEC 17025 7.8 asks of the
// next certificate (place, date of receipt, the item's condition, results from
// external providers, the data the customer supplied). A date of receipt that
// is not a date keeps the dialog open with the reason.

#include "record/certificate.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

class CertificateDetailsDialog : public QDialog
{
    Q_OBJECT

public:
    CertificateDetailsDialog(const record::Issuer &issuer, const record::Receipt &receipt, int language,
                             QWidget *parent = nullptr);
    record::Issuer issuer() const;
    record::Receipt receipt() const { return m_receipt; }

private:
    void check();

    int m_language;
    record::Receipt m_receipt;
    QLineEdit *m_issuer[3];
    QLineEdit *m_place, *m_received, *m_condition, *m_external;
    QCheckBox *m_supplied[4];
    QLabel *m_problem;
};
