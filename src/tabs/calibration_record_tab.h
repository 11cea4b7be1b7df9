#pragma once
// The "Calibration record" tab: the record's header, the guided as-found and
// as-left checks driven by the live polls, the records database, the
// certificate and the transmitter's history. The arithmetic and the files are
// src/record's, the database src/records_db's.

#include "core/live_values.h"
#include "record/calibration_record.h"
#include "record/record_store.h"
#include "record/record_texts.h"
#include "record/stability.h"
#include "records_db/instrument_register.h"
#include "records_db/record_db.h"

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
namespace rtu { class Link; }

class CalibrationRecordTab : public QWidget
{
    Q_OBJECT

public:
    // Reads the range and the configuration through `link`; the window feeds it live values.
    explicit CalibrationRecordTab(rtu::Link &link, QWidget *parent = nullptr);

    void setLanguage(int language);
    QString title() const { return record::text(record::Text::TabTitle, m_language); }

    const std::optional<record::Record> &asFound() const { return m_found; }
    const std::optional<record::Record> &asLeft() const { return m_left; }
    bool checkRunning() const { return m_running.has_value(); }
    // The records database of the records folder; nullptr (and the operator
    // told) when it cannot be opened.
    recordsdb::RecordDb *database();

    // Technician, laboratory and reference instrument from the application's
    // settings now, and saved there at each check from then on.
    void rememberHeader();
    // The header of a registered instrument, as "Start a check" in the list sets it.
    void useInstrument(const recordsdb::Instrument &instrument);

signals:
    // A read of the transmitter failed; the window tells the operator.
    void deviceReadFailed();

public slots:
    void onLiveValues(const reg::LiveValues &values);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Labelled { QWidget *widget; record::Text text; };

    // Building (one function per group).
    QWidget *buildHeader();
    QWidget *buildCheck();
    QWidget *buildTables();
    QWidget *buildHistory();
    QLabel *label(record::Text text);
    QPushButton *button(record::Text text, const char *name);
    QTableWidget *table(const char *name, int columns);

    // Header and settings.
    record::Header header() const;
    std::optional<QVector<double>> typedPoints() const;
    record::StabilitySettings stabilitySettings() const;
    QString recordsFolder() const;
    void readRange();
    void showReading();
    std::optional<QVector<quint16>> readHolding();
    void fillDefaultPoints();

    // The guided check.
    void startCheck(record::Stage stage);
    void beginPoint();         // the next pending point, or the end of the check
    void showCurrentPoint();
    void startWait();
    void stopWait();
    void recordPoint(double reading);
    void finishCheck();
    void repeatPoint();
    void skipPoint();
    void onWaitTick();
    std::optional<record::Record> &recordOf(record::Stage stage);
    QTableWidget *tableOf(record::Stage stage) const;
    void showCountdown();

    // Results, files and history.
    void showRecord(record::Stage stage);
    void onCellChanged(QTableWidget *table, record::Stage stage, int row, int column);
    void saveRecord(record::Record &r);
    bool amendFinished(record::Stage stage);
    void verifyChain();
    void storeDrafts();
    void importJson();
    void openInstruments();
    void saveRemembered() const;
    void exportCsv();
    void exportPdf();
    QString exportPath(const QString &suffix) const;
    void refreshHistory();
    void showStatus(const QString &text);
    void applyTexts();

    int m_language = 0;
    rtu::Link &m_link;
    std::optional<double> m_lastReading;   // of the last live poll
    QVector<Labelled> m_labelled;

    QLineEdit *m_tag, *m_serial, *m_description, *m_technician, *m_reference, *m_ambient;
    QLineEdit *m_points, *m_folder;
    QLineEdit *m_laboratory, *m_procedure, *m_referenceCertificate, *m_uncertainty, *m_override, *m_amendReason;
    QCheckBox *m_bom;
    QDateEdit *m_due;
    QDoubleSpinBox *m_tolerance, *m_lower, *m_upper, *m_band;
    QComboBox *m_toleranceKind;
    QSpinBox *m_polls, *m_timeout;
    QLabel *m_unitLabel;
    QLabel *m_apply, *m_live, *m_countdown, *m_status, *m_foundVerdict, *m_leftVerdict, *m_driftTitle;
    QPushButton *m_repeat, *m_skip;
    QTableWidget *m_foundTable, *m_leftTable, *m_history, *m_drift;
    QTimer *m_waitTicker;

    QString m_unit = QStringLiteral("°C");
    std::optional<record::Record> m_found, m_left;
    std::optional<record::Stage> m_running;
    std::optional<record::Stage> m_lastStage;
    int m_point = -1;
    bool m_waiting = false;
    bool m_filling = false;   // tables being filled, not edited
    record::StabilityDetector m_detector;
    QElapsedTimer m_waitClock;
    std::unique_ptr<recordsdb::RecordDb> m_db;
    QString m_inputType;
    bool m_remember = false;
    QString m_dbFolder;
};
