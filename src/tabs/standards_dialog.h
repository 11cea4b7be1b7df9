#pragma once
// The register of reference standards as a dialog opened from the Automatic
// calibration tab: every standard as it stands, overdue and due-soon rows
// highlighted, and a form to add one or a new state of the chosen one.

#include "records_db/standards_register.h"

#include <QDialog>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTableWidget;
class CertificateTermsTable;

class StandardsDialog : public QDialog
{
    Q_OBJECT

public:
    StandardsDialog(recordsdb::RecordDb &db, int language, QWidget *parent = nullptr);

    void refresh();

private:
    QWidget *buildForm();
    void showSelected();
    void clearForm();
    void saveForm();
    void selectSerial(const QString &serial);

    recordsdb::StandardsRegister m_register;
    int m_language;
    QVector<recordsdb::Standard> m_rows;
    QTableWidget *m_table;
    QLabel *m_message;
    QLineEdit *m_serial, *m_model, *m_description, *m_certificate;
    QDateEdit *m_calibrated, *m_due;
    QComboBox *m_status;
    CertificateTermsTable *m_terms;
};
