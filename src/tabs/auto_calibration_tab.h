#pragma once
// The Automatic calibration tab: the reference source and the meter (address,
// model, Identify), the procedure, Start and Abort, each point's progress and
// figures, the chart of errors within the tolerance band, the result and the
// draft certificate. The run itself is autocal::SingleRun, kept by the
// window's run registry (one run at a time across the tabs), on the same link
// and operation guard as everything else.

#include "records_db/person_key.h"
#include "automation/auto_calibration.h"
#include "automation/run_registry.h"

#include <QDateTime>
#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class ErrorChart;
class InstrumentPicker;
namespace rtu { class Link; }
namespace recordsdb { class RecordDb; }
namespace instruments { class Instrument; enum class Role; }

class AutoCalibrationTab : public QWidget
{
    Q_OBJECT

public:
    // Its runs kept by `runs`; without one, by a registry of its own.
    explicit AutoCalibrationTab(rtu::Link &link, QWidget *parent = nullptr);
    AutoCalibrationTab(rtu::Link &link, autocal::RunRegistry &runs, QWidget *parent = nullptr);
    ~AutoCalibrationTab() override;

    // Where the checks go: the records tab's database and folder.
    void setRecords(std::function<recordsdb::RecordDb *()> database, std::function<QString()> folder);
    // The operator who starts a run, their key unlocked once at its start; without one the checks stay drafts.
    using Performer = std::function<std::optional<recordsdb::PersonSigner>(recordsdb::RecordDb &)>;
    void setPerformer(Performer performer) { m_performer = std::move(performer); }

    bool running() const { return m_run != nullptr; }
    autocal::RunRegistry &runs() const { return *m_runs; }
    void setAddresses(const QString &source, const QString &meter);
    // The unit to calibrate next, as the due list hands it over; its procedure file when the register names one.
    void setUnit(const QString &tag, const QString &serial, const QString &procedure = QString());
    QString resultText() const;
    QString certificatePath() const { return m_certificate; }
    ErrorChart *chart() const { return m_chart; }

public slots:
    void setLanguage(int language);
    void start();
    void abort();

signals:
    // A check of a run is in the records (or its store was tried: the view reads again).
    void checkStored();
    void openInRecords(const QString &serial, const QDateTime &started);

private:
    QWidget *buildProcedure();
    QWidget *buildProgress();
    std::optional<autocal::RunPlan> plan(QString &why) const;
    void connectRun(autocal::AutoCalibration &run);
    void finish(const autocal::RunResult &result, const QString &certificate, const QString &recordsError);
    void showRegistry();
    void showPoint(autocal::Phase phase, int index, const record::Point &point);
    int rowFor(autocal::Phase phase, int index);
    void showPhaseText(int row);
    void showResult(const autocal::RunResult &result);
    void remember() const;
    void recall();
    void setRunning(bool on);
    void openStandards();

    rtu::Link &m_link;
    std::function<recordsdb::RecordDb *()> m_database;
    std::function<QString()> m_folder;
    Performer m_performer;
    int m_language = 0;
    InstrumentPicker *m_source, *m_meter;
    QGroupBox *m_procedureGroup;
    QLabel *m_fileLabel, *m_pointsLabel, *m_toleranceLabel, *m_tagLabel, *m_serialLabel;
    QLineEdit *m_file, *m_points, *m_tolerance, *m_tag, *m_serial;
    InstrumentPicker *m_environment;
    QPushButton *m_browse, *m_start, *m_abort, *m_standards, *m_openCertificate;
    QPushButton *m_openInRecords;
    QString m_storedSerial;         // the run's last check, to find its records row
    QDateTime m_storedStarted;
    QLabel *m_phase, *m_settling, *m_result;
    QTableWidget *m_table;
    ErrorChart *m_chart;
    autocal::RunRegistry *m_runs;
    autocal::Run *m_run = nullptr;   // this tab's, while it runs
    std::optional<autocal::RunResult> m_last;
    QString m_recordsError;   // the engine's English, shown in the tab's language
    QString m_certificate;
    record::Header m_header;   // of the run shown
    int m_samples = 0;
};
