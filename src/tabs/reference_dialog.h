#pragma once
// Reverse traceability in the window: every check made with a reference
// instrument since a date, with the transmitters and the certificates issued
// on them, for a reference found out of tolerance.

#include "records_db/record_db.h"

#include <QDialog>

class QDateEdit;
class QLineEdit;
class QTableWidget;

class ReferenceDialog : public QDialog
{
    Q_OBJECT

public:
    ReferenceDialog(recordsdb::RecordDb &db, const QString &reference, int language, QWidget *parent = nullptr);

private:
    void refresh();

    recordsdb::RecordDb &m_db;
    int m_language;
    QLineEdit *m_reference;
    QDateEdit *m_since;
    QTableWidget *m_table;
};
