#pragma once
// The guided as-found and as-left checks: the value to apply, Measure, Repeat
// and Skip, the wait for steady polls, and the two tables with their verdicts.
// What a check starts from, how it is stored and how a finished one is amended
// are the tab's, handed in as functions.

#include "core/live_values.h"
#include "record/calibration_record.h"
#include "record/stability.h"
#include "tabs/record_widgets.h"

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

class CheckRunner : public QWidget
{
    Q_OBJECT

public:
    struct Hooks {
        // A new check of `stage` with its points, or nullopt (the reason already shown).
        std::function<std::optional<record::Record>(record::Stage)> start;
        std::function<record::StabilitySettings()> stability;
        std::function<QString()> unit;   // of the live reading
        // Makes `record` an amendment of itself; false (and the operator told) when it may not be.
        std::function<bool(record::Record &)> amend;
        std::function<void(record::Record &)> save;
        std::function<void(const QString &)> status;
    };

    explicit CheckRunner(Hooks hooks, QWidget *parent = nullptr);

    void applyTexts(int language);
    void onLiveValues(const reg::LiveValues &values);
    void showReading();

    const std::optional<record::Record> &asFound() const { return m_found; }
    const std::optional<record::Record> &asLeft() const { return m_left; }
    bool running() const { return m_running.has_value(); }
    // Numbers for the checks shown that were kept only as drafts: `numberOf` gives
    // a check's number in the database, 0 while it has none.
    void adoptNumbers(const std::function<qint64(const record::Record &)> &numberOf);

private:
    QWidget *buildTables();
    std::optional<record::Record> &recordOf(record::Stage stage);
    QTableWidget *tableOf(record::Stage stage) const;
    void startCheck(record::Stage stage);
    void beginPoint();   // the next pending point, or the end of the check
    void showCurrentPoint();
    void startWait();
    void stopWait();
    void showCountdown();
    void onWaitTick();
    void recordPoint(double reading);
    void finishCheck();
    void repeatPoint();
    void skipPoint();
    void showRecord(record::Stage stage);
    void onCellChanged(QTableWidget *table, record::Stage stage, int row, int column);

    Hooks m_hooks;
    recordui::Texts m_texts;
    int m_language = 0;
    std::optional<double> m_lastReading;   // of the last live poll
    QLabel *m_apply, *m_live, *m_countdown;
    QGroupBox *m_foundGroup, *m_leftGroup;
    QTableWidget *m_foundTable, *m_leftTable;
    QTimer *m_waitTicker;
    std::optional<record::Record> m_found, m_left;
    std::optional<record::Stage> m_running;
    std::optional<record::Stage> m_lastStage;
    int m_point = -1;
    bool m_waiting = false;
    bool m_filling = false;   // tables being filled, not edited
    record::StabilityDetector m_detector;
    std::vector<double> m_readings;   // the current point's settled repeats so far
    QElapsedTimer m_waitClock;
};
