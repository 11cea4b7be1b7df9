#include "automation/batch_run.h"
#include "texts/engine_texts.h"
#include "automation/batch_unit.h"

#include "automation/point_record.h"
#include "automation/settling.h"
#include "core/live_values.h"
#include "core/registers.h"
#include "instruments/instrument.h"
#include "link/link.h"
#include "link/side_by_side.h"
#include "core/register_bus.h"
#include "metrology/point_budget.h"
#include "metrology/sensor.h"
#include "procedures/current_calibration.h"
#include "procedures/transaction.h"
#include "procedures/sensor_calibration.h"
#include "procedures/unit_binding.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>

#include <cmath>
#include <stdexcept>

namespace autocal {

QString serialOfIdentity(const QString &identity)
{
    const QStringList fields = identity.split(',');
    return fields.size() >= 3 ? fields.at(2).trimmed() : QString();
}

BatchRun::BatchRun(QVector<BatchUnit> units, instruments::Instrument &source, instruments::Instrument &meter,
                   instruments::Instrument &routeSwitch, QObject *parent)
    : BatchRun(std::move(units), source, meter, &routeSwitch, parent)
{
}

BatchRun::BatchRun(QVector<BatchUnit> units, instruments::Instrument &source, instruments::Instrument &meter,
                   instruments::Instrument *routeSwitch, QObject *parent)
    : QObject(parent), m_source(source), m_meter(meter), m_switch(routeSwitch)
{
    for (const BatchUnit &b : units) {
        auto u = std::make_shared<Unit>();
        u->given = b;
        m_units << u;
    }
}

BatchRun::~BatchRun() = default;

void BatchRun::abort(const QString &reason)
{
    if (m_abort.isEmpty())
        m_abort = reason;
}

BatchResult BatchRun::check(record::Stage stage, const RunPlan &plan, const record::Header &common)
{
    begin(plan);
    if (prepare(common))
        measure(stage);
    endSafely();
    return collect();
}

BatchResult BatchRun::run(const RunPlan &plan, const record::Header &common)
{
    begin(plan);
    if (prepare(common) && measure(record::Stage::AsFound)) {
        QVector<Unit *> needing;
        for (Unit *u : live())
            if (plan.adjust == Adjust::Always
                || (plan.adjust == Adjust::WhenFailed && record::verdict(*u->outcome.asFound) != record::Verdict::Pass))
                needing << u;
        if (needing.isEmpty() || adjust(needing))
            measure(record::Stage::AsLeft);
    }
    endSafely();
    return collect();
}

void BatchRun::begin(const RunPlan &plan)
{
    m_result = {};
    m_abort.clear();
    m_plan = plan;
    m_used.clear();
    m_sourceTerms.clear();
    m_meterTerms.clear();
    m_outputOn = false;
    m_ambient.reset();
    m_adjusting = m_measuring = false;
    for (auto &u : m_units) {
        const BatchUnit given = u->given;
        *u = Unit{};
        u->given = given;
        u->outcome.unit = given.map.unit;
        u->outcome.serial = given.map.serial;
    }
}

bool BatchRun::prepare(const record::Header &common)
{
    emit phaseChanged(Phase::Preparing);
    if (!prepareInstruments())
        return false;
    for (auto &u : m_units)
        if (stillGoing())
            openUnit(*u, common);
    // What each transmitter is, read on every link at once.
    eachAtOnce(live(), [this](Unit &u) {
        u.setup = readTransmitterSetup(*u.given.link, m_plan, u.header, u.setupFailure);
    });
    for (auto &u : m_units)
        if (u->live && stillGoing())
            prepareUnit(*u);
    m_result.ran = !live().isEmpty() || failBatch(enginetext::english(enginetext::Id::NoUnitCalibrated));
    for (Unit *u : live())
        emit unitPrepared(u->given.map.unit, u->header);
    return m_result.ran && stillGoing();
}

std::optional<record::Record> &BatchRun::recordOf(Unit &u)
{
    return m_stage == record::Stage::AsFound ? u.outcome.asFound : u.outcome.asLeft;
}

// The check of `stage` of every unit still in the batch; each kept as it ends,
// complete or with the reason it ended early.
bool BatchRun::measure(record::Stage stage)
{
    m_stage = stage;
    m_measuring = true;
    emit phaseChanged(stage == record::Stage::AsFound ? Phase::AsFound : Phase::AsLeft);
    emit checkStarted(stage);
    QVector<Unit *> measured = live();
    for (Unit *u : measured) {
        recordOf(*u) = record::newRecord(u->header, stage, pointTemperatures(m_plan, u->range),
                                         QDateTime::currentDateTimeUtc());
        recordOf(*u)->instruments = u->used;
        if (stage == record::Stage::AsLeft)
            recordOf(*u)->adjusted = u->outcome.adjusted;   // from what the run did, never from a verdict
    }
    for (int index = 0; stillGoing() && index < m_plan.points.size(); ++index)
        for (const QVector<Unit *> &group : groups())
            if (!stillGoing() || !measureGroup(group, index))
                break;
    for (Unit *u : measured) {
        if (u->live && !m_result.reason.isEmpty())
            endUnit(*u, m_result.reason, m_abort.isEmpty() ? RunResult::Cause::Instrument : RunResult::Cause::Stopped);
        emit recordEnded(u->given.map.unit, *recordOf(*u));
    }
    m_measuring = false;
    return stillGoing();
}

BatchResult BatchRun::collect()
{
    for (auto &u : m_units)
        m_result.units << u->outcome;
    return m_result;
}









// The units that share the millivolt source, then each unit behind its own source channel.
QVector<QVector<BatchRun::Unit *>> BatchRun::groups()
{
    QVector<QVector<Unit *>> result(1);
    for (Unit *u : live()) {
        if (sourceIsRouted(u->given.map, u->rtd()))
            result << QVector<Unit *>{u};
        else
            result.first() << u;
    }
    if (result.first().isEmpty())
        result.removeFirst();
    return result;
}

// --- a point ---

bool BatchRun::measureGroup(const QVector<Unit *> &group, int index)
{
    QVector<Unit *> members;
    for (Unit *u : group)
        if (u->live)
            members << u;
    if (members.isEmpty())
        return true;
    // The cold junction of the group: the mean of its units' own.
    if (!readInputs(members))
        return false;
    const auto room = groupRoom(members);
    if (!room)
        return true;
    Unit &first = *members.first();
    const double celsius = pointTemperatures(m_plan, first.range).at(index);
    const auto signal = metrology::signalFor(first.sensor, celsius, *room);
    if (!signal) {
        for (Unit *u : members)
            endUnit(*u, enginetext::english(enginetext::Id::NoSignalFor).arg(celsius), RunResult::Cause::Transmitter);
        return true;
    }
    QVector<int> numbers;
    for (Unit *u : members)
        numbers << u->given.map.unit;
    emit pointStarted(index, *signal, QString::fromLatin1(metrology::signalUnit(first.sensor)), numbers);
    const QString routed = sourceIsRouted(first.given.map, first.rtd()) ? first.given.map.sourceChannel : QString();
    // A routed group is one unit: an error of its source channel ends it alone.
    if (!routed.isEmpty() && !route(true, routed)) {
        endUnit(first, enginetext::english(enginetext::Id::SwitchSourceChannel).arg(m_switch->lastError()),
                RunResult::Cause::Instrument);
        return route(false, routed) || route(false, routed)
               || failBatch(enginetext::english(enginetext::Id::SwitchFailed).arg(m_switch->lastError()));
    }
    for (Unit *u : members) {
        u->repeatReadings.clear();
        u->repeatCurrents.clear();
    }
    // Each independent repeat settles from away, from the second on.
    double sourced = *signal;
    bool settled = true;
    for (int repeat = 0; settled && repeat < m_plan.repeats; ++repeat) {
        if (repeat > 0) {
            settled = approachAgain(members, celsius);
            const auto room = settled ? groupRoom(members) : std::nullopt;
            const auto again = room ? metrology::signalFor(first.sensor, celsius, *room) : std::nullopt;
            settled = again.has_value();
            sourced = again.value_or(sourced);
        }
        settled = settled && source(sourced, !first.rtd()) && settleGroup(members, celsius, sourced);
        for (Unit *u : members)
            if (settled && u->live) {
                u->repeatReadings.push_back(u->window->meanReading());
                u->repeatCurrents.push_back(u->window->meanCurrent());
            }
    }
    if (settled)
        for (Unit *u : members)
            if (u->live)
                recordPoint(*u, index, sourced);
    // The resistance leaves this input before it goes to the next.
    if (!routed.isEmpty() && m_source.setOutput(false))
        m_outputOn = false;
    if (!routed.isEmpty() && !route(false, routed))
        return failBatch(enginetext::english(enginetext::Id::SwitchFailed).arg(m_switch->lastError()));
    return settled || stillGoing();
}










// --- waits ---







bool BatchRun::stillGoing()
{
    if (!m_abort.isEmpty())
        failBatch(m_abort);
    return m_result.reason.isEmpty();
}

bool BatchRun::failBatch(const QString &reason)
{
    if (m_result.reason.isEmpty())
        m_result.reason = m_abort.isEmpty() ? reason : m_abort;
    return false;
}

// The source off and every route open whatever happened; the checks in
// progress kept with the reason.
void BatchRun::endSafely()
{
    emit phaseChanged(Phase::Finishing);
    if (m_source.isOpen() && !m_source.setOutput(false))
        m_result.notes << enginetext::english(enginetext::Id::SourceNotOff)
                              .arg(m_source.lastError());
    m_outputOn = false;
    QStringList channels;
    for (const auto &u : m_units)
        channels << u->given.map.sourceChannel << u->given.map.meterChannel;
    channels.removeAll(QString());
    if (m_switch && m_switch->isOpen() && !channels.isEmpty() && !m_switch->routeOpenAll(channels))
        m_result.notes << enginetext::english(enginetext::Id::SwitchRoutesOpen)
                              .arg(m_switch->lastError());
    for (const auto &u : m_units) {
        if (u->live && !m_result.reason.isEmpty())
            endUnit(*u, m_result.reason, m_abort.isEmpty() ? RunResult::Cause::Instrument : RunResult::Cause::Stopped);
        u->live = false;
        u->guard.reset();
        if (u->ownMeter)
            u->ownMeter->close();
    }
}






} // namespace autocal
