#pragma once
// The "Due list" tab: the instrument register's instruments due, overdue or
// never calibrated; one selected instrument handed to the Automatic
// calibration, several to the Batch calibration, with tag and serial filled in.

#include "records_db/instrument_register.h"
#include "tabs/due_rows.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
namespace recordsdb { class RecordDb; }

class DueList : public QWidget
{
    Q_OBJECT

public:
    struct Hooks {
        std::function<recordsdb::RecordDb *()> database;   // read only; nullptr: none yet
        std::function<void(const recordsdb::Instrument &)> calibrate;
        std::function<void(const QVector<recordsdb::Instrument> &)> batch;
    };
    explicit DueList(Hooks hooks, QWidget *parent = nullptr);
    QString title() const;
    QString statusText() const;

public slots:
    void setLanguage(int language);
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showRows();
    void startAutomatic();
    void startBatch();
    QVector<recordsdb::Instrument> selected() const;
    void showSelection();

    Hooks m_hooks;
    int m_language = 0;
    QVector<records::DueRow> m_rows;
    QLineEdit *m_search;
    QCheckBox *m_all;
    QTableWidget *m_table;
    QPushButton *m_automatic;
    QPushButton *m_batch;
    QLabel *m_status;
};
