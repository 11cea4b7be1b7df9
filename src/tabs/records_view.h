#pragma once
// The "Records" tab: every calibration in the records database, a row each,
// filtered and sorted, with the selected one's details beside it and the
// actions on it: review, approve, issue, open, reprint, replace, export. An
// action that cannot apply is disabled with the reason as its tooltip.

#include "record/certificate_receipt.h"
#include "tabs/records_loader.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTextBrowser;
class RecordsFilter;
class RecordsModel;
namespace recordsdb { class RecordDb; }

class RecordsView : public QWidget
{
    Q_OBJECT

public:
    struct Hooks {
        std::function<recordsdb::RecordDb *(bool write)> database;   // nullptr: none (a write tells the operator)
        std::function<QString()> folder;
        std::function<bool(const QString &path)> open;      // shows a certificate; the desktop's viewer by default
    };
    explicit RecordsView(Hooks hooks, QWidget *parent = nullptr);
    ~RecordsView() override;

    QString title() const;
    QString statusText() const;
    const RecordsModel &model() const { return *m_model; }
    // What shows a certificate once written (the desktop's viewer unless set).
    void setOpener(std::function<bool(const QString &path)> open) { m_hooks.open = std::move(open); }

public slots:
    void setLanguage(int language);
    // Reads the database again, keeping the selection.
    void refresh();
    // Reads again and selects the calibration holding the check of `serial`
    // started at `started`, clearing the filter if it hides it; false (and said): none.
    bool selectCheck(const QString &serial, const QDateTime &started);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildFilters();
    QWidget *buildActions();
    const records::CalibrationRow *selected() const;
    void applyFilter();
    void updateActions();
    void showDetails();
    void act(records::Action action);
    void sign(record::Signature::Meaning meaning, const records::CalibrationRow &row);
    void issue(const records::CalibrationRow &row, qint64 replaces);
    void reprint(const records::CalibrationRow &row, bool open);
    void exportCsv(const records::CalibrationRow &row);
    QString writePdf(const QString &name, const QByteArray &pdf, QString &error);
    void report(const QString &text);

    Hooks m_hooks;
    int m_language = 0;
    RecordsModel *m_model;
    RecordsFilter *m_filter;
    QLineEdit *m_search;
    QComboBox *m_state;
    QDateEdit *m_from, *m_to;
    QLabel *m_fromLabel, *m_toLabel, *m_status;
    QPushButton *m_refresh;
    QTableView *m_table;
    QTextBrowser *m_details;
    QPushButton *m_actions[records::kActionCount];
    records::Context m_context;
    int m_entries = 0;
    QString m_headNoteProblem;
    record::Receipt m_receipt;   // the next certificate's
};
