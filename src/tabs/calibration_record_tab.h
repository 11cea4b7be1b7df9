#pragma once
// The "Calibration record" tab: three pages in the tab's own tab bar, so that
// everything fits the window's default size. The record's header; the guided
// as-found and as-left checks driven by the live polls; certificates, approval
// and the transmitter's history. Each is a class of its own; this one joins
// them to the link, the records database and the status line.

#include "records_db/person_key.h"
#include "core/live_values.h"
#include "record/calibration_record.h"
#include "record/record_texts.h"
#include "records_db/instrument_register.h"
#include "records_db/record_db.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class CertificatePanel;
class CheckRunner;
class QLabel;
class QTabWidget;
class RecordHeaderForm;
class RecordHistory;
namespace rtu { class Link; }

class CalibrationRecordTab : public QWidget
{
    Q_OBJECT

public:
    // Reads the range and the configuration through `link`; the window feeds it live values.
    explicit CalibrationRecordTab(rtu::Link &link, QWidget *parent = nullptr);
    ~CalibrationRecordTab() override;

    void setLanguage(int language);
    QString title() const { return record::text(record::Text::TabTitle, m_language); }

    const std::optional<record::Record> &asFound() const;
    const std::optional<record::Record> &asLeft() const;
    bool checkRunning() const;
    // The records database of the records folder; nullptr (and the operator
    // told) when it cannot be opened.
    // Reading (the history as the folder is typed) never makes a database and
    // opens it read-only; storing makes one where there is none once the
    // operator agrees (setCreateQuestion); an empty
    // folder is refused either way.
    enum class Access { Read, Write };
    recordsdb::RecordDb *database(Access access = Access::Write);
    QString recordsFolder() const;
    // The key of the signer named in the certificates' box, unlocked by the passphrase typed there.
    std::optional<recordsdb::PersonSigner> unlockSigner(recordsdb::RecordDb &db);
    // Asks the operator before a store makes a database where none is; the
    // default is a Yes/No message box. Returns the operator's answer.
    using CreateQuestion = std::function<bool(const QString &question)>;
    void setCreateQuestion(CreateQuestion ask) { m_askCreate = std::move(ask); }

    // Technician, laboratory and reference instrument from the application's
    // settings now, and saved there at each check from then on.
    void rememberHeader();
    // The header of a registered instrument, as "Start a check" in the list sets it.
    void useInstrument(const recordsdb::Instrument &instrument);

signals:
    // A read of the transmitter failed; the window tells the operator.
    void deviceReadFailed();
    // The check shown, to be selected in the records view, where it is reviewed,
    // approved, reprinted or replaced.
    void openInRecords(const QString &serial, const QDateTime &started);

public slots:
    void onLiveValues(const reg::LiveValues &values);

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::optional<record::Record> startCheck(record::Stage stage);
    bool amendFinished(record::Record &r);
    void saveRecord(record::Record &r);
    void storeDrafts();
    void readRange();
    std::optional<QVector<quint16>> readHolding();
    void openInstruments();
    void refreshHistory();
    void showStatus(const QString &text);
    bool mayCreateDatabase(const recordsdb::DbSettings &settings, const QString &folder);

    int m_language = 0;
    rtu::Link &m_link;
    QTabWidget *m_pages;
    RecordHeaderForm *m_header;
    CheckRunner *m_checks;
    CertificatePanel *m_certificates;
    RecordHistory *m_history;
    QLabel *m_status;
    std::unique_ptr<recordsdb::RecordDb> m_db;
    QString m_dbFolder;
    bool m_dbWritable = false;
    CreateQuestion m_askCreate;
};
