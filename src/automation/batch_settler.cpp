// The batch's settling: every unit of a group sampled until its last readings
// agree, the cold junction followed, independent repeats approached from away,
// and the one local event loop between samples.

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

// The units still in the batch whose point has not settled yet.
QVector<BatchRun::Unit *> BatchRun::unsettled(const QVector<Unit *> &units)
{
    QVector<Unit *> open;
    for (Unit *u : units)
        if (u->live && (!u->window || !u->window->settled()))
            open << u;
    return open;
}

// The mean of the group's cold junctions as last read.
std::optional<double> BatchRun::groupRoom(const QVector<Unit *> &group)
{
    double rooms = 0.0;
    int counted = 0;
    for (Unit *u : group)
        if (u->live && u->values) {
            rooms += u->room;
            ++counted;
        }
    return counted ? std::optional<double>(rooms / counted) : std::nullopt;
}

// Between independent repeats the point is left: the far end of the range is
// sourced for the samples' time, so each repeat settles from away.
bool BatchRun::approachAgain(const QVector<Unit *> &group, double celsius)
{
    Unit &first = *group.first();
    const double away = celsius - first.range.lower > first.range.upper - celsius ? first.range.lower : first.range.upper;
    const auto room = groupRoom(group);
    const auto signal = room ? metrology::signalFor(first.sensor, away, *room) : std::nullopt;
    if (!signal)
        return failBatch(enginetext::english(enginetext::Id::NoSignalFor).arg(away));
    return source(*signal, !first.rtd()) && pause(m_plan.settling.samples * m_plan.settling.intervalMs)
           && readInputs(group) && groupRoom(group).has_value();
}

// Samples every unit of the group until each has settled; one that does not by the
// point's time is ended alone. When a thermocouple group's cold junction moves,
// `signal` is set again for `celsius` and the samples start over.
bool BatchRun::settleGroup(const QVector<Unit *> &group, double celsius, double &signal)
{
    for (Unit *u : group)
        u->window.emplace(m_plan.settling.samples, m_plan.settling.band, m_plan.settling.bandMa);
    Unit &first = *group.first();
    const bool tc = !first.rtd();
    std::optional<double> sourcedRoom = groupRoom(group);
    const QString why = enginetext::english(enginetext::Id::ReadingNotSettled).arg(m_plan.settling.timeoutMs / 1000);
    return settleEach(group, why, [&](const QVector<Unit *> &sampling) {
        if (!readInputs(sampling))
            return false;
        const auto room = groupRoom(group);
        if (tc && room && sourcedRoom && std::abs(*room - *sourcedRoom) > kColdJunctionStep) {
            const auto again = metrology::signalFor(first.sensor, celsius, *room);
            if (!again)
                return failBatch(enginetext::english(enginetext::Id::NoSignalNewJunction));
            if (!source(*again, true))
                return false;
            signal = *again;
            sourcedRoom = room;
            for (Unit *u : group)
                u->window->clear();
            return true;
        }
        if (!scanCurrents(sampling))
            return false;
        for (Unit *u : sampling)
            if (u->live && u->values)
                emit sampled(u->given.map.unit, *u->values->measured, u->window->meanCurrent(), u->window->count());
        return true;
    });
}

// Rounds of samples of `units` until each has settled: `sample` takes one round
// of the units still pending. One that has not settled by the point's time ends
// alone with `why`; false when the batch is to end.
bool BatchRun::settleEach(const QVector<Unit *> &units, const QString &why,
                          const std::function<bool(const QVector<Unit *> &)> &sample)
{
    QElapsedTimer clock;
    clock.start();
    while (!unsettled(units).isEmpty()) {
        if (clock.elapsed() > m_plan.settling.timeoutMs) {
            for (Unit *u : unsettled(units))
                endUnit(*u, why, RunResult::Cause::NotSettled);
            break;
        }
        if (!pause(m_plan.settling.intervalMs) || !sample(unsettled(units)))
            return false;
    }
    return true;
}

// Each loop on its meter in turn, the reading paired with the unit's own.
bool BatchRun::scanCurrents(const QVector<Unit *> &units)
{
    for (Unit *u : units) {
        if (!u->live || !u->values)
            continue;
        const auto current = measureLoop(*u);
        if (!stillGoing())
            return false;
        if (current)
            u->window->add({*u->values->measured, *current});
    }
    return true;
}

// A local event loop over every link's bookkeeping; ends early on abort.
bool BatchRun::waitAll(const std::function<bool()> &done, int boundMs)
{
    if (done())
        return true;
    // A step gives way at its link's waits; a loop of its own would hold up every other line.
    if (rtu::sidebyside::inStep())
        throw std::logic_error("a local event loop inside a side-by-side step");
    QEventLoop loop;
    QTimer bound, look;
    bound.setSingleShot(true);
    bound.setTimerType(Qt::PreciseTimer);
    connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done() || !m_abort.isEmpty())
            loop.quit();
    };
    for (const auto &u : m_units)
        if (u->given.link)
            connect(u->given.link, &rtu::Link::bookkeepingChanged, &loop, check);
    connect(&look, &QTimer::timeout, &loop, check);   // an abort from a signal handler
    look.start(50);
    bound.start(boundMs);
    loop.exec();
    return done();
}

bool BatchRun::pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    waitAll([] { return false; }, ms);
    m_result.waitedMs += clock.elapsed();
    return m_abort.isEmpty() || failBatch(m_abort);
}

// Every unit's loop current, sampled in turn through the switch, until each has
// settled; one that does not by the point's time ends alone.
bool BatchRun::settleCurrents(const QVector<Unit *> &units)
{
    for (Unit *u : units)
        u->window.emplace(m_plan.settling.samples, 0.0, m_plan.settling.bandMa);
    const bool going = settleEach(units, enginetext::english(enginetext::Id::LoopNotSettled), [&](const QVector<Unit *> &sampling) {
        for (Unit *u : sampling) {
            if (!u->binding.holds(*u->given.link)) {
                endUnit(*u, enginetext::english(enginetext::Id::LinkClosed), RunResult::Cause::Link);
                continue;
            }
            const auto current = measureLoop(*u);
            if (!stillGoing())
                return false;
            if (current) {
                u->window->add({0.0, *current});
                emit sampled(u->given.map.unit, 0.0, *current, u->window->count());
            }
        }
        return true;
    });
    return going && stillGoing();
}

} // namespace autocal
