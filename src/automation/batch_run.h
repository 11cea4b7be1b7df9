#pragma once
// The checks of a batch: several transmitters, each on its own link (each
// answers at the same address, so each has its own line), on one calibrator,
// one meter and a switch; the channel map (channel_map.h) says which channel
// is whose.
//
// Per point the source is set once for every unit that may share it
// (thermocouple inputs isolated from their loops, on the millivolt bus), and
// once per unit for the others, each behind its own closed source channel.
// Every unit of that group is then read at once over its own link, and the
// loops are scanned through the switch, one meter channel at a time (a loop
// with a meter of its own is read there, no route changed). Each unit
// gets its own point: its reference from the signal and its own cold junction,
// its own settled readings and its own uncertainty.
//
// A unit that fails (its link, its reading, a point that does not settle) is
// ended alone, its check kept with the reason; the others go on. Whatever ends
// the batch (abort(), an instrument) ends it safely: the source output off,
// every route open, every check in progress kept with the reason.
//
// run() adjusts between the two checks through the same procedures the
// single-unit run uses (procedures/): the thermocouple input points of every
// unit sharing the millivolt source are captured at once (50 mV, then 0 mV,
// sourced once), every other input alone behind its own channel; then every
// output at once, the loops scanned through the switch until each has settled. A unit that fails there is left as
// the procedures leave it (captures not stored put back, normal mode), and its
// as-left check is kept as one that never began.

#include "automation/auto_calibration.h"
#include "automation/channel_map.h"
#include "automation/run_plan.h"
#include "record/calibration_record.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

namespace rtu {
class Link;
}

namespace instruments {
class Instrument;
}

namespace autocal {

struct BatchUnit {
    MapUnit map;
    rtu::Link *link = nullptr;   // open on map.port
};

struct UnitOutcome {
    int unit = 0;
    QString serial;
    bool endedEarly = false;
    RunResult::Cause cause = RunResult::Cause::None;
    QString reason;
    std::optional<record::Record> asFound;   // as far as it got
    std::optional<record::Record> asLeft;
    bool adjusted = false;                   // its input points were stored
    bool passed() const
    {
        return !endedEarly && asLeft && record::verdict(*asLeft) == record::Verdict::Pass;
    }
};

struct BatchResult {
    bool ran = false;            // false: refused or ended before the first point (reason)
    QString reason;              // what ended the whole batch, if anything did
    QVector<UnitOutcome> units;  // in the map's order
    QStringList notes;           // what the safe end did or could not do
    int sourceSettings = 0;      // how often the source was set: once per point and group
    qint64 waitedMs = 0;         // between samples, on purpose
    double instrumentMs = 0.0;   // in the calibrator's and the meter's exchanges
    double switchMs = 0.0;       // in the switch's route changes
};

class BatchRun : public QObject
{
    Q_OBJECT
public:
    BatchRun(QVector<BatchUnit> units, instruments::Instrument &source, instruments::Instrument &meter,
             instruments::Instrument &routeSwitch, QObject *parent = nullptr);
    // Without a switch: every unit sourced and metered directly (one transmitter, or
    // thermocouple inputs on the millivolt bus each with a meter of its own).
    BatchRun(QVector<BatchUnit> units, instruments::Instrument &source, instruments::Instrument &meter,
             instruments::Instrument *routeSwitch, QObject *parent = nullptr);
    ~BatchRun() override;

    void setStandardCheck(StandardCheck check) { m_standardCheck = std::move(check); }
    void setStandardTerms(StandardTerms terms) { m_standardTerms = std::move(terms); }
    // An optional thermometer/hygrometer: the ambient of every unit's records.
    void setEnvironment(instruments::Instrument *environment) { m_environment = environment; }

    // The check of `stage` of every unit; `common` gives who and where, the
    // map each unit's tag and serial, the run what it reads.
    BatchResult check(record::Stage stage, const RunPlan &plan, const record::Header &common);
    // As found, adjusted where the plan asks for it, as left.
    BatchResult run(const RunPlan &plan, const record::Header &common);
    // Ends the batch at its next wait.
    void abort(const QString &reason);

signals:
    void phaseChanged(autocal::Phase phase);
    // A sample of a unit's point in progress: its reading, its loop, how many agree.
    void sampled(int unit, double reading, double currentMa, int settledCount);
    // A unit that will be measured, with the header its records carry.
    void unitPrepared(int unit, const record::Header &header);
    void checkStarted(record::Stage stage);
    void pointStarted(int index, double signal, const QString &unit, const QVector<int> &units);
    void pointRecorded(int unit, int index, const record::Point &point);
    void unitEnded(int unit, const QString &reason);
    void recordEnded(int unit, const record::Record &record);
    void adjustmentStep(const QString &step, const QVector<int> &units);   // stepKey() of the one below
    void adjustmentStepTaken(const autocal::AdjustmentStep &step, const QVector<int> &units);

private:
    struct Unit;
    void begin(const RunPlan &plan);
    bool prepare(const record::Header &common);
    bool measure(record::Stage stage);
    std::optional<record::Record> &recordOf(Unit &u);
    BatchResult collect();
    bool adjust(const QVector<Unit *> &units);
    bool adjustInputs(const QVector<Unit *> &group);
    bool captureAll(const QVector<Unit *> &units, int index, double signal, bool thermocouple);
    bool adjustOutputs(const QVector<Unit *> &units);
    bool settleCurrents(const QVector<Unit *> &units);
    std::optional<double> measureLoop(Unit &u);
    bool prepareInstruments();
    bool readAmbient();
    bool identify(instruments::Instrument &instrument, const QString &role);
    std::optional<record::UsedInstrument> identified(instruments::Instrument &instrument, const QString &role,
                                                     QString &why);
    void openMeter(Unit &u);
    void openUnit(Unit &u, const record::Header &common);
    void prepareUnit(Unit &u);
    void eachAtOnce(const QVector<Unit *> &units, const std::function<void(Unit &)> &step);
    static QVector<int> numbersOf(const QVector<Unit *> &units);
    bool readTransmitter(Unit &u);
    QVector<QVector<Unit *>> groups();
    bool measureGroup(const QVector<Unit *> &group, int index);
    bool settleGroup(const QVector<Unit *> &group, double celsius, double &signal);
    bool approachAgain(const QVector<Unit *> &group, double celsius);
    std::optional<double> groupRoom(const QVector<Unit *> &group);
    bool readInputs(const QVector<Unit *> &units, bool normalMode = true);
    bool scanCurrents(const QVector<Unit *> &units);
    void recordPoint(Unit &u, int index, double signal);
    bool source(double signal, bool thermocouple);
    bool route(bool close, const QString &channel);
    bool waitAll(const std::function<bool()> &done, int boundMs);
    bool pause(int ms);
    QVector<Unit *> live();
    static QVector<Unit *> unsettled(const QVector<Unit *> &units);
    bool settleEach(const QVector<Unit *> &units, const QString &why,
                    const std::function<bool(const QVector<Unit *> &)> &sample);
    void endUnit(Unit &u, const QString &reason, RunResult::Cause cause);
    bool stillGoing();   // false once the batch is to end (an abort, an instrument)
    bool failBatch(const QString &reason);
    void endSafely();
    void announce(AdjustmentStep::Kind kind, const QVector<int> &units, double value = 0.0, const QString &unit = {});

    QVector<std::shared_ptr<Unit>> m_units;
    instruments::Instrument &m_source;
    instruments::Instrument &m_meter;
    instruments::Instrument *m_switch;   // null: no routes
    instruments::Instrument *m_environment = nullptr;
    std::optional<std::pair<QString, QString>> m_ambient;   // the environment's reading and where it came from
    StandardCheck m_standardCheck;
    StandardTerms m_standardTerms;
    QMap<QString, metrology::StandardCalibration> m_sourceTerms, m_meterTerms;
    RunPlan m_plan;
    record::Stage m_stage = record::Stage::AsFound;
    bool m_adjusting = false;
    bool m_measuring = false;
    QVector<record::UsedInstrument> m_used;
    BatchResult m_result;
    QString m_abort;
    bool m_outputOn = false;
};

} // namespace autocal
