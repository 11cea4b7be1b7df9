#pragma once
// Signing a calibration's checks as a person: who (remembered for each
// meaning, so the reviewer and the approver each find their own name) and
// their function. The Sign button is disabled, with the reason as its tooltip,
// while that person may not sign them.

#include "record/certificate.h"
#include "tabs/records_rows.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

class SigningDialog : public QDialog
{
    Q_OBJECT

public:
    SigningDialog(record::Signature::Meaning meaning, const records::CalibrationRow &row, int language,
                  QWidget *parent = nullptr);
    QString name() const;
    QString function() const;
    // Remembers the name and function for the next signature of this meaning.
    void remember() const;

private:
    void check();

    record::Signature::Meaning m_meaning;
    records::CalibrationRow m_row;
    int m_language;
    QLineEdit *m_name, *m_function;
    QPushButton *m_ok;
};
