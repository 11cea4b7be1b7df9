#pragma once
// The unattended calibration of one transmitter, run as a batch of one
// (batch_run.h) without a switch: the reference calibrator
// sources each point, the meter reads the loop current, and the run records
// as-found, adjusts through the procedures when needed (input points, then the
// 4/20 mA output with the meter's readings), and records as-left, each point
// with its GUM uncertainty. It holds the link's operation guard from start to
// end, so nothing else writes the transmitter meanwhile.
//
// Whatever ends it early (abort(), an instrument error, the link, a power
// cycle, a point that never settles) ends it safely: the source output off,
// no unstored calibration left in RAM, the transmitter in normal mode, and the
// check in progress kept with the reason it ended.

#include "automation/run_plan.h"
#include "automation/settling.h"
#include "metrology/point_budget.h"
#include "metrology/sensor.h"
#include "procedures/unit_binding.h"
#include "record/calibration_record.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace instruments {
class Instrument;
}

namespace autocal {

enum class Phase { Preparing, AsFound, Adjusting, AsLeft, Finishing };

// A step of the adjustment: what it is, and for an input point its signal.
struct AdjustmentStep {
    enum class Kind { InputPoint, StoringInputs, Output4mA, Output20mA };
    Kind kind = Kind::InputPoint;
    double value = 0.0;   // the input point's signal
    QString unit;         // "mV", "ohm"
};
// As the records, tcal-cli and the tests name it ("input point 50 mV").
QString stepKey(const AdjustmentStep &step);

struct RunResult {
    enum class Outcome { Passed, Failed, Aborted, Refused };
    // What ended it early: the operator, an instrument, the link, the
    // transmitter (a step not taken, a state lost), a point that never settled.
    enum class Cause { None, Stopped, Instrument, Link, Transmitter, NotSettled };
    Outcome outcome = Outcome::Refused;
    Cause cause = Cause::None;
    QString reason;                          // why it was refused or ended early
    std::optional<record::Record> asFound;   // as far as it got
    std::optional<record::Record> asLeft;
    bool adjusted = false;                   // an adjustment was stored
    QStringList notes;                       // what the safe end did or could not do
    qint64 waitedMs = 0;                     // between samples, on purpose
    double instrumentMs = 0.0;               // in the instruments' exchanges
};

// The register of standards: why an instrument may not be used (nullopt: it may),
// its certificate and due date filled in.
using StandardCheck = std::function<std::optional<QString>(record::UsedInstrument &used)>;
// What a standard's own certificate adds to the budget, by function ("mV", "ohm", "mA").
using StandardTerms = std::function<QMap<QString, metrology::StandardCalibration>(const record::UsedInstrument &used)>;

class AutoCalibration : public QObject
{
    Q_OBJECT
public:
    AutoCalibration(rtu::Link &link, instruments::Instrument &source, instruments::Instrument &meter,
                    QObject *parent = nullptr);

    void setStandardCheck(StandardCheck check) { m_standardCheck = std::move(check); }
    void setStandardTerms(StandardTerms terms) { m_standardTerms = std::move(terms); }
    // An optional thermometer/hygrometer for the ambient; without it the
    // operator's entry, else the transmitter's room sensor, named as such.
    void setEnvironment(instruments::Instrument *environment) { m_environment = environment; }

    // Runs to the end; the header gives who, what and where, the run fills
    // in what it reads from the transmitter and the instruments.
    RunResult run(const RunPlan &plan, const record::Header &header);
    // Ends the run at its next wait; safe to call from a signal's handler slot.
    void abort(const QString &reason);
    bool running() const { return m_running; }

signals:
    void phaseChanged(autocal::Phase phase);
    // The transmitter and instruments are checked: the header every check of the run carries.
    void prepared(const record::Header &header);
    // A point's source is set: `signal` in `unit` ("mV", "ohm") for `celsius`.
    void pointStarted(autocal::Phase phase, int index, double celsius, double signal, const QString &unit);
    void sampled(double reading, double currentMa, int settledCount);
    void pointRecorded(autocal::Phase phase, int index, const record::Point &point);
    void adjustmentStep(const QString &step);
    void adjustmentStepTaken(const autocal::AdjustmentStep &step);
    void recordEnded(const record::Record &record);

private:
    RunResult outcomeOf(const struct BatchResult &batch) const;

    rtu::Link &m_link;
    instruments::Instrument &m_source;
    instruments::Instrument &m_meter;
    instruments::Instrument *m_environment = nullptr;
    StandardCheck m_standardCheck;
    StandardTerms m_standardTerms;
    class BatchRun *m_batch = nullptr;   // the engine, a batch of this one unit, while it runs
    QString m_abort;
    bool m_running = false;
};

QString phaseKey(Phase phase);

} // namespace autocal
