#include "automation/auto_calibration.h"
#include "texts/engine_texts.h"

#include "automation/batch_run.h"
#include "link/link.h"

namespace autocal {

QString phaseKey(Phase phase)
{
    switch (phase) {
    case Phase::Preparing: return QStringLiteral("preparing");
    case Phase::AsFound: return QStringLiteral("as-found");
    case Phase::Adjusting: return QStringLiteral("adjusting");
    case Phase::AsLeft: return QStringLiteral("as-left");
    case Phase::Finishing: break;
    }
    return QStringLiteral("finishing");
}

QString stepKey(const AdjustmentStep &step)
{
    using K = AdjustmentStep::Kind;
    switch (step.kind) {
    case K::InputPoint: return QStringLiteral("input point %1 %2").arg(step.value).arg(step.unit);
    case K::StoringInputs: return QStringLiteral("storing the input points");
    case K::Output4mA: return QStringLiteral("output at 4 mA");
    case K::Output20mA: break;
    }
    return QStringLiteral("output at 20 mA");
}

AutoCalibration::AutoCalibration(rtu::Link &link, instruments::Instrument &source,
                                 instruments::Instrument &meter, QObject *parent)
    : QObject(parent), m_link(link), m_source(source), m_meter(meter)
{
}

void AutoCalibration::abort(const QString &reason)
{
    if (!m_running || !m_abort.isEmpty())
        return;
    m_abort = reason;
    if (m_batch)
        m_batch->abort(reason);
}

RunResult AutoCalibration::run(const RunPlan &plan, const record::Header &header)
{
    RunResult refused;
    // Its records and certificate name the transmitter by its serial number.
    if (header.serial.trimmed().isEmpty())
        refused.reason = enginetext::english(enginetext::Id::SerialNeeded);
    else if (!m_link.isOpen())
        refused.reason = enginetext::english(enginetext::Id::LinkNotOpen);
    else if (m_link.operationRunning())
        refused.reason = enginetext::english(enginetext::Id::OperationRunning);
    if (!refused.reason.isEmpty())
        return refused;
    MapUnit unit;
    unit.unit = 1;
    unit.port = m_link.options().port;
    unit.tag = header.tag;
    unit.serial = header.serial;
    unit.inputIsolated = true;   // alone on the source: nothing to route
    BatchRun batch({BatchUnit{unit, &m_link}}, m_source, m_meter, nullptr);
    batch.setEnvironment(m_environment);
    batch.setStandardCheck(m_standardCheck);
    batch.setStandardTerms(m_standardTerms);
    auto range = std::make_shared<record::Range>();
    auto stage = std::make_shared<Phase>(Phase::AsFound);
    connect(&batch, &BatchRun::phaseChanged, this, [this, stage](Phase phase) {
        if (phase == Phase::AsFound || phase == Phase::AsLeft)
            *stage = phase;
        emit phaseChanged(phase);
    });
    connect(&batch, &BatchRun::unitPrepared, this, [this, range](int, const record::Header &h) {
        *range = h.range;
        emit prepared(h);
    });
    connect(&batch, &BatchRun::pointStarted, this,
            [this, range, stage, &plan](int index, double signal, const QString &signalUnit, const QVector<int> &) {
                const QVector<double> points = pointTemperatures(plan, *range);
                emit pointStarted(*stage, index, index < points.size() ? points.at(index) : 0.0, signal, signalUnit);
            });
    connect(&batch, &BatchRun::sampled, this,
            [this](int, double reading, double current, int count) { emit sampled(reading, current, count); });
    connect(&batch, &BatchRun::pointRecorded, this,
            [this, stage](int, int index, const record::Point &point) { emit pointRecorded(*stage, index, point); });
    connect(&batch, &BatchRun::adjustmentStepTaken, this, [this](const AdjustmentStep &step, const QVector<int> &) {
        emit adjustmentStepTaken(step);
        emit adjustmentStep(stepKey(step));
    });
    connect(&batch, &BatchRun::recordEnded, this, [this](int, const record::Record &r) { emit recordEnded(r); });
    m_abort.clear();
    m_running = true;
    m_batch = &batch;
    const BatchResult result = batch.run(plan, header);
    m_batch = nullptr;
    m_running = false;
    return outcomeOf(result);
}

// The one unit's outcome as a single run states it.
RunResult AutoCalibration::outcomeOf(const BatchResult &batch) const
{
    RunResult r;
    r.waitedMs = batch.waitedMs;
    r.instrumentMs = batch.instrumentMs;
    // Its notes without the batch's unit number.
    for (QString note : batch.notes) {
        for (const char *prefix : {"unit 1: ", "unit 1 "})
            if (note.startsWith(QLatin1String(prefix)))
                note.remove(0, int(qstrlen(prefix)));
        r.notes << note;
    }
    if (batch.units.isEmpty()) {
        r.reason = batch.reason;
        return r;
    }
    const UnitOutcome &u = batch.units.first();
    r.asFound = u.asFound;
    r.asLeft = u.asLeft;
    r.adjusted = u.adjusted;
    if (u.endedEarly || !batch.reason.isEmpty() || !u.asLeft) {
        // Ended before its first point: refused; after it, aborted.
        r.outcome = u.asFound ? RunResult::Outcome::Aborted : RunResult::Outcome::Refused;
        r.reason = !u.reason.isEmpty() ? u.reason : batch.reason;
        r.cause = u.endedEarly ? u.cause : (m_abort.isEmpty() ? RunResult::Cause::Instrument : RunResult::Cause::Stopped);
        if (!m_abort.isEmpty() && r.reason == m_abort)
            r.cause = RunResult::Cause::Stopped;
        return r;
    }
    r.outcome = record::verdict(*u.asLeft) == record::Verdict::Pass ? RunResult::Outcome::Passed
                                                                    : RunResult::Outcome::Failed;
    return r;
}

} // namespace autocal
