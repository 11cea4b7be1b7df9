// One unit of a batch: its link taken, what it is read, its inputs read side by
// side with the others', its point recorded, and its end alone.

#include "texts/engine_texts.h"
#include "automation/batch_unit.h"

#include "core/live_values.h"
#include "core/register_bus.h"
#include "core/registers.h"
#include "instruments/instrument.h"
#include "link/link.h"
#include "link/side_by_side.h"
#include "metrology/point_budget.h"
#include "metrology/sensor.h"
#include "procedures/current_calibration.h"
#include "procedures/sensor_calibration.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>

#include <cmath>
#include <stdexcept>

namespace autocal {

void BatchRun::openUnit(Unit &u, const record::Header &common)
{
    rtu::Link *link = u.given.link;
    if (!link || !link->isOpen())
        return endUnit(u, enginetext::english(enginetext::Id::LineNotOpen).arg(u.given.map.port), RunResult::Cause::Link);
    u.guard = std::make_unique<rtu::OperationGuard>(*link);
    if (!*u.guard || !link->startOperation())
        return endUnit(u, enginetext::english(enginetext::Id::LinkBusy), RunResult::Cause::Link);
    u.binding = proc::UnitBinding::of(*link);
    u.live = true;
    u.header = common;
    u.header.tag = u.given.map.tag;
    u.header.serial = u.given.map.serial;
    openMeter(u);
}

void BatchRun::prepareUnit(Unit &u)
{
    if (!readTransmitter(u))
        return;
    // One source for the batch: every unit must take the same points.
    for (const auto &other : m_units) {
        if (other.get() == &u)
            break;
        if (other->live && (other->sensor.kind != u.sensor.kind || other->sensor.type != u.sensor.type
                            || other->range.lower != u.range.lower || other->range.upper != u.range.upper))
            return endUnit(u, enginetext::english(enginetext::Id::RangeDiffers).arg(other->given.map.unit),
                           RunResult::Cause::Transmitter);
    }
    if (u.rtd() && u.given.map.sourceChannel.isEmpty() && m_units.size() > 1)
        return endUnit(u, enginetext::english(enginetext::Id::RtdOwnChannel), RunResult::Cause::Transmitter);
    const char *function = u.rtd() ? "ohm" : "mV";
    for (double t : pointTemperatures(m_plan, u.range)) {
        const auto signal = metrology::signalFor(u.sensor, t, u.room);
        if (!signal || !instruments::rangeFor(m_source.model(), function, *signal))
            return endUnit(u, enginetext::english(enginetext::Id::OutsideSensorOrSource).arg(t),
                           RunResult::Cause::Transmitter);
    }
    if (!m_used.isEmpty()) {
        u.header.reference = QStringLiteral("%1 %2").arg(m_used.first().model, m_used.first().serial);
        u.header.referenceCertificate = m_used.first().certificate;
        u.header.referenceDue = m_used.first().due;
    }
    if (m_ambient) {
        u.header.ambient = m_ambient->first;
        u.header.ambientSource = m_ambient->second;
    } else if (u.header.ambient.isEmpty()) {
        u.header.ambient = QString::number(u.room, 'f', 1);   // its terminals' temperature, as it reads it
        u.header.ambientSource = QStringLiteral("transmitter");
    } else if (u.header.ambientSource.isEmpty()) {
        u.header.ambientSource = QStringLiteral("operator");
    }
}

// As the single run reads it: the plan checked against this unit's range, its header filled in.
bool BatchRun::readTransmitter(Unit &u)
{
    const auto &setup = u.setup;
    if (!setup)
        return endUnit(u, u.setupFailure.reason, u.setupFailure.cause), false;
    // Its own cold junction gives each unit its reference from the shared signal.
    if (!setup->room)
        return endUnit(u, enginetext::english(enginetext::Id::RoomReadingUnshown),
                       RunResult::Cause::Transmitter), false;
    u.sensor = setup->sensor;
    u.range = setup->range;
    u.resolution = setup->resolution;
    u.room = *setup->room;
    return true;
}

// The input block of every unit at once, each through its own link's read,
// side by side; each read ends by its own deadline, so the step ends when the
// slowest has. False when an abort cut it short: no unit is blamed for that.
bool BatchRun::readInputs(const QVector<Unit *> &units, bool normalMode)
{
    QVector<Unit *> asked;
    for (Unit *u : units) {
        u->values.reset();
        if (!u->live)
            continue;
        if (!u->binding.holds(*u->given.link)) {
            endUnit(*u, enginetext::english(enginetext::Id::LinkClosed), RunResult::Cause::Link);
            continue;
        }
        u->read = {};
        asked << u;
    }
    // An abort is seen inside the steps: a read not yet sent is not sent.
    eachAtOnce(asked, [this](Unit &u) {
        if (m_abort.isEmpty())
            u.read = u.given.link->read(core::Block::Input);
    });
    if (!m_abort.isEmpty())
        return failBatch(m_abort);
    for (Unit *u : asked) {
        if (!u->live)
            continue;
        if (u->read.outcome != rtu::ReadOutcome::Delivered) {
            endUnit(*u, enginetext::english(enginetext::Id::NoAnswer).arg(u->read.verdict.text), RunResult::Cause::Link);
            continue;
        }
        const reg::LiveValues live = reg::decodeLiveValues(u->read.words, QDateTime::currentDateTimeUtc());
        if (!live.measured || !live.room) {
            endUnit(*u, enginetext::english(enginetext::Id::UnshownReading), RunResult::Cause::Transmitter);
            continue;
        }
        // A power cycle or anything else that left normal mode is not this check's state.
        if (normalMode && live.workMode != reg::ModeNone) {
            endUnit(*u, enginetext::english(enginetext::Id::LeftNormalMode), RunResult::Cause::Transmitter);
            continue;
        }
        u->values = live;
        u->room = *live.room;
    }
    return true;
}

void BatchRun::recordPoint(Unit &u, int index, double signal)
{
    record::Point &point = recordOf(u)->points[index];
    // The shared signal at this unit's own cold junction.
    const auto reference = metrology::celsiusFor(u.sensor, signal, u.room);
    if (!reference)
        return endUnit(u, enginetext::english(enginetext::Id::NoReferenceForPoint).arg(index + 1), RunResult::Cause::Transmitter);
    // Budget and uncertainties as the single run records them, so decide() judges both alike.
    const TransmitterSetup transmitter{u.sensor, u.range, u.resolution, u.room};
    const PointSetup setup{transmitter, m_plan, m_source.model(), u.meter->model(), m_sourceTerms, u.meterTerms};
    if (const auto failure = autocal::recordPoint(point, setup, *reference, u.room, signal, *u.window,
                                                  u.repeatReadings, u.repeatCurrents))
        return endUnit(u, enginetext::english(enginetext::Id::PointFailed).arg(index + 1).arg(failure->reason), failure->cause);
    emit pointRecorded(u.given.map.unit, index, point);
}

// `step` for every unit of `units` still in the batch, each on its own link,
// side by side (link/side_by_side.h). A step only records what happened: a
// unit is ended afterwards, one at a time.
void BatchRun::eachAtOnce(const QVector<Unit *> &units, const std::function<void(Unit &)> &step)
{
    QVector<std::function<void()>> steps;
    for (Unit *u : units)
        if (u->live)
            steps << [u, &step] {
                try {
                    step(*u);
                } catch (const std::exception &e) {
                    u->stepFailure = QString::fromLocal8Bit(e.what());
                } catch (...) {
                    u->stepFailure = enginetext::english(enginetext::Id::UnknownError);
                }
            };
    rtu::runSideBySide(steps);
    // A step that threw ends its unit, not the batch nor the process.
    for (Unit *u : units)
        if (!u->stepFailure.isEmpty()) {
            endUnit(*u, enginetext::english(enginetext::Id::StepFailed).arg(u->stepFailure), RunResult::Cause::Transmitter);
            u->stepFailure.clear();
        }
}

QVector<int> BatchRun::numbersOf(const QVector<Unit *> &units)
{
    QVector<int> numbers;
    for (Unit *u : units)
        if (u->live)
            numbers << u->given.map.unit;
    return numbers;
}

QVector<BatchRun::Unit *> BatchRun::live()
{
    QVector<Unit *> result;
    for (const auto &u : m_units)
        if (u->live)
            result << u.get();
    return result;
}

// --- ends ---

// This unit alone: a procedure in progress left as the procedures leave it
// (captures not stored put back, normal mode), its check kept with the reason,
// its link free again; its source route is opened with its group's.
void BatchRun::endUnit(Unit &u, const QString &reason, RunResult::Cause cause)
{
    if (u.outcome.endedEarly)
        return;
    u.live = false;
    u.outcome.endedEarly = true;
    u.outcome.cause = cause;
    u.outcome.reason = reason;
    const QString unit = enginetext::english(enginetext::Id::Unit).arg(u.given.map.unit);
    if (u.input && u.input->leave() != proc::SensorCalibration::Result::Done)
        m_result.notes << enginetext::english(enginetext::Id::UnitLeaveInputMode).arg(unit);
    if (u.output && u.output->running() && u.output->leave() != proc::CurrentCalibration::Result::Done)
        m_result.notes << enginetext::english(enginetext::Id::UnitLeaveOutputMode).arg(unit);
    // What the unit's transmitter holds, as its procedure found it.
    if (u.input)
        m_result.notes << enginetext::english(enginetext::Id::UnitInputPoints).arg(unit, proc::outcomeText(u.input->outcome(), 2));
    if (u.output)
        m_result.notes << enginetext::english(enginetext::Id::UnitOutputPoints).arg(unit, proc::outcomeText(u.output->outcome(), 2));
    u.input.reset();
    u.output.reset();
    if (m_measuring && recordOf(u))
        recordOf(u)->incompleteReason = reason;
    if (m_adjusting) {
        // An adjustment that ended early is told by an as-left check that never began.
        u.outcome.asLeft = record::newRecord(u.header, record::Stage::AsLeft, pointTemperatures(m_plan, u.range),
                                             QDateTime::currentDateTimeUtc());
        u.outcome.asLeft->instruments = u.used;
        u.outcome.asLeft->adjusted = u.outcome.adjusted;
        u.outcome.asLeft->incompleteReason = enginetext::english(enginetext::Id::AdjustmentEndedEarly).arg(reason);
        emit recordEnded(u.given.map.unit, *u.outcome.asLeft);
    }
    u.guard.reset();
    emit unitEnded(u.given.map.unit, reason);
}

} // namespace autocal
