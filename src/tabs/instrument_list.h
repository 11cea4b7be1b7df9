#pragma once
// The instrument register as a dialog opened from the record tab: search,
// overdue, due-soon and never-calibrated rows highlighted, a small form to add
// or change an instrument, the chosen one's calibration history and drift
// chart, and "Start a check", which hands it to the tab.

#include "records_db/instrument_register.h"

#include <QDialog>

class DriftChart;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;

class InstrumentListDialog : public QDialog
{
    Q_OBJECT

public:
    InstrumentListDialog(recordsdb::RecordDb &db, int language, QWidget *parent = nullptr);

    void refresh();

signals:
    void checkRequested(const recordsdb::Instrument &instrument);

private:
    QWidget *buildForm();
    void saveForm();
    void showSelected();
    void startCheck();
    void showHistory(const recordsdb::Instrument &instrument);

    recordsdb::RecordDb &m_db;
    recordsdb::InstrumentRegister m_register;
    int m_language;
    QVector<recordsdb::InstrumentRow> m_rows;
    QLineEdit *m_search;
    QLabel *m_message;
    QTableWidget *m_table;
    QLineEdit *m_tag, *m_serial, *m_description, *m_location, *m_inputType, *m_procedure;
    QDoubleSpinBox *m_lower, *m_upper;
    QSpinBox *m_interval;
    QComboBox *m_unit, *m_status;
    QTableWidget *m_history;
    DriftChart *m_chart;
};
