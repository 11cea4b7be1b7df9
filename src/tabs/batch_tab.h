#pragma once
// The Batch view: the calibrator, the meter and the switch, the channel map
// and the procedure, Start and Abort; one row per unit and one column per
// point, each cell coloured as found and as left; the batch's progress and the
// time left; each unit's outcome and its draft certificate once written. The
// run is autocal::BatchJob, kept by the window's run registry (one run at a
// time across the tabs), on the engine tcal-cli's `calibrate batch` runs; each
// unit on its own link (the window's own when the map names its port).

#include "records_db/instrument_register.h"
#include "records_db/person_key.h"
#include "automation/batch_progress.h"
#include "automation/batch_run.h"
#include "automation/run_registry.h"

#include <QElapsedTimer>
#include <QHash>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;
class InstrumentPicker;
namespace rtu { class Link; }
namespace recordsdb { class RecordDb; }

class BatchTab : public QWidget
{
    Q_OBJECT

public:
    // Its runs kept by `runs`; without one, by a registry of its own.
    explicit BatchTab(rtu::Link &windowLink, QWidget *parent = nullptr);
    BatchTab(rtu::Link &windowLink, autocal::RunRegistry &runs, QWidget *parent = nullptr);
    ~BatchTab() override;

    void setRecords(std::function<recordsdb::RecordDb *()> database, std::function<QString()> folder);
    // The operator who starts a run, their key unlocked once at its start; without one the checks stay drafts.
    using Performer = std::function<std::optional<recordsdb::PersonSigner>(recordsdb::RecordDb &)>;
    void setPerformer(Performer performer) { m_performer = std::move(performer); }
    void setAddresses(const QString &source, const QString &meter, const QString &routeSwitch);
    // Units from the register to calibrate: listed at once; a run takes them
    // only as the channel map places them, and names what it still lacks.
    void setHanded(const QVector<recordsdb::Instrument> &units);

    bool running() const { return m_run != nullptr; }
    autocal::RunRegistry &runs() const { return *m_runs; }
    QString resultText() const;
    QString certificatePath(int unit) const { return m_certificates.value(unit); }
    const autocal::BatchProgress &progress() const { return m_progress; }
    QTableWidget *table() const { return m_table; }

public slots:
    void setLanguage(int language);
    void start();
    void abort();

signals:
    void finished();
    void checkStored();   // a unit's check is in the records (or its store was tried)
    // The records view shows the calibration of `serial` whose check began at `started`.
    void openInRecords(const QString &serial, const QDateTime &started);

private:
    QWidget *buildInputs();
    QWidget *buildProgress();
    QLineEdit *fileField(const char *name, QPushButton *&browse, const QString &filter);
    std::optional<autocal::RunPlan> plan(QString &why) const;
    void connectRun(autocal::BatchRun &run);
    void showUnits(const autocal::ChannelMap &map, int points);
    int rowOf(int unit) const;
    void showCell(int unit, int index);
    void showProgress();
    void showOutcomes(const autocal::BatchResult &result);
    void showCertificate(int unit, const QString &path);
    void finish(const autocal::BatchResult &result, const QString &recordsError);
    void showRegistry();
    void showMapUnits();
    std::optional<autocal::ChannelMap> mapToRun(QString &why) const;
    void setRunning(bool on);
    void remember() const;
    void recall();

    rtu::Link &m_windowLink;
    std::function<recordsdb::RecordDb *()> m_database;
    std::function<QString()> m_folder;
    Performer m_performer;
    int m_language = 0;
    InstrumentPicker *m_source, *m_meter, *m_switch;
    QWidget *m_inputs;
    QLabel *m_mapLabel, *m_fileLabel, *m_pointsLabel, *m_toleranceLabel;
    QLineEdit *m_map, *m_file, *m_points, *m_tolerance;
    QPushButton *m_browseMap, *m_browseFile, *m_start, *m_abort;
    InstrumentPicker *m_environment;
    QProgressBar *m_bar;
    QLabel *m_phase, *m_remaining, *m_legend, *m_result;
    // The chosen row's unit in the records: its first stored check, by unit.
    QPushButton *m_openInRecords;
    QMap<int, QPair<QString, QDateTime>> m_storedChecks;
    void linkRecords();
    QTableWidget *m_table;
    autocal::RunRegistry *m_runs;
    autocal::Run *m_run = nullptr;   // this tab's, while it runs
    QTimer *m_tick;
    autocal::BatchProgress m_progress;
    record::Stage m_stage = record::Stage::AsFound;
    QHash<int, record::Header> m_headers;            // by unit, as prepared
    QHash<int, QVector<record::Point>> m_found, m_left;
    QHash<int, QString> m_certificates;               // by unit: its draft's path
    QVector<int> m_units;                             // in the map's order
    QVector<recordsdb::Instrument> m_handed;          // from the due list; empty: the whole map
    QElapsedTimer m_clock;
    QStringList m_resultLines;
};
