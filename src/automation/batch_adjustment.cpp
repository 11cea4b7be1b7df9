// The batch's adjustment, through the procedures: input points captured for
// every unit of a source group at once, then every output.

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

void BatchRun::announce(AdjustmentStep::Kind kind, const QVector<int> &units, double value, const QString &unit)
{
    const AdjustmentStep step{kind, value, unit};
    emit adjustmentStepTaken(step, units);
    emit adjustmentStep(stepKey(step), units);
}

// --- the adjustment, through the procedures ---

bool BatchRun::adjust(const QVector<Unit *> &units)
{
    emit phaseChanged(Phase::Adjusting);
    m_adjusting = true;
    const auto done = qScopeGuard([this] { m_adjusting = false; });
    QVector<Unit *> shared;
    QVector<QVector<Unit *>> inputGroups;
    for (Unit *u : units) {
        if (sourceIsRouted(u->given.map, u->rtd()))
            inputGroups << QVector<Unit *>{u};
        else
            shared << u;
    }
    if (!shared.isEmpty())
        inputGroups.prepend(shared);
    bool ok = true;
    for (int i = 0; ok && i < inputGroups.size(); ++i)
        ok = adjustInputs(inputGroups.at(i));
    ok = ok && adjustOutputs(units);
    if (ok && stillGoing())
        return true;
    // The batch ends here: every unit still in it is left as its procedure leaves
    // it, and its as-left check is one that never began.
    for (Unit *u : live())
        endUnit(*u, m_result.reason, m_abort.isEmpty() ? RunResult::Cause::Instrument : RunResult::Cause::Stopped);
    return false;
}

// Both input points of every unit of the group: each point sourced once, every
// unit's converter settled, every unit captured; then each stores its pair.
bool BatchRun::adjustInputs(const QVector<Unit *> &group)
{
    using Cal = proc::SensorCalibration;
    Unit &first = *group.first();
    const bool tc = !first.rtd();
    for (Unit *u : group)
        if (u->live)
            u->input = std::make_unique<Cal>(*u->given.link, tc ? Cal::Input::Thermocouple : Cal::Input::Rtd);
    QHash<Unit *, Cal::Result> entered;
    eachAtOnce(group, [&](Unit &u) { entered[&u] = u.input->enter(); });
    for (Unit *u : group)
        if (u->live && entered.value(u) != Cal::Result::Done)
            endUnit(*u, enginetext::english(enginetext::Id::NoEnterInputMode), RunResult::Cause::Transmitter);
    const QString routed = sourceIsRouted(first.given.map, first.rtd()) ? first.given.map.sourceChannel : QString();
    if (!routed.isEmpty() && !route(true, routed))
        return failBatch(enginetext::english(enginetext::Id::SwitchFailed).arg(m_switch->lastError()));
    const double points[2] = {tc ? 50.0 : 100.0, tc ? 0.0 : 200.0};
    bool ok = true;
    for (int i = 0; ok && i < 2; ++i)
        ok = captureAll(group, i, points[i], tc);
    // Each unit's pair through its own transaction, every link at once.
    QHash<Unit *, Cal::Result> storedBy;
    if (ok && !numbersOf(group).isEmpty()) {
        announce(AdjustmentStep::Kind::StoringInputs, numbersOf(group));
        eachAtOnce(group, [&](Unit &u) { storedBy[&u] = u.input->store(); });
    }
    for (Unit *u : group) {
        if (!ok || !u->live)
            continue;
        const Cal::Result stored = storedBy.value(u, Cal::Result::NotRun);
        if (stored == Cal::Result::Done)
            u->outcome.adjusted = true;
        else
            endUnit(*u, stored == Cal::Result::StateLost
                            ? enginetext::english(enginetext::Id::LostCapturedPoint)
                            : enginetext::english(enginetext::Id::InputsNotStored),
                    RunResult::Cause::Transmitter);
    }
    QHash<Unit *, Cal::Result> left;
    eachAtOnce(group, [&](Unit &u) {
        if (u.input)
            left[&u] = u.input->leave();
    });
    for (Unit *u : group) {
        if (u->live && u->input && left.value(u) != Cal::Result::Done)
            m_result.notes << QStringLiteral("unit %1: leaving the input calibration mode was not confirmed")
                                  .arg(u->given.map.unit);
        if (u->live)
            u->input.reset();
    }
    if (!routed.isEmpty()) {
        if (m_source.setOutput(false))
            m_outputOn = false;
        if (!route(false, routed))
            return failBatch(enginetext::english(enginetext::Id::SwitchFailed).arg(m_switch->lastError()));
    }
    return ok && stillGoing();
}

// Point `index` of every unit of the group, from one setting of the source.
bool BatchRun::captureAll(const QVector<Unit *> &units, int index, double signal, bool thermocouple)
{
    using Cal = proc::SensorCalibration;
    QVector<int> numbers;
    for (Unit *u : units)
        if (u->live)
            numbers << u->given.map.unit;
    if (numbers.isEmpty())
        return true;
    announce(AdjustmentStep::Kind::InputPoint, numbers, signal, QLatin1String(thermocouple ? "mV" : "ohm"));
    if (!source(signal, thermocouple))
        return false;
    for (Unit *u : units)
        u->window.reset();
    const bool going = settleEach(units, enginetext::english(enginetext::Id::InputNotSettled), [&](const QVector<Unit *> &sampling) {
        if (!readInputs(sampling, false))
            return false;
        for (Unit *u : sampling) {
            if (!u->live || !u->values)
                continue;
            const double adc = u->values->adc;
            // A few counts, or a few parts in ten thousand of a large reading.
            if (!u->window)
                u->window.emplace(m_plan.settling.samples, std::max(3.0, std::abs(adc) * 2e-4), 0.0);
            u->window->add({adc, 0.0});
        }
        return true;
    });
    if (!going)
        return false;
    QHash<Unit *, Cal::Result> taken;
    eachAtOnce(units, [&](Unit &u) { taken[&u] = u.input->capture(index); });
    for (Unit *u : units)
        if (u->live && taken.value(u) != Cal::Result::Done)
            endUnit(*u, enginetext::english(enginetext::Id::NoTakeInputPoint), RunResult::Cause::Transmitter);
    return stillGoing();
}

// The outputs of every unit at once: each drives 4 mA, the loops are scanned
// until each has settled, each takes its own reading; then the same at 20 mA.
bool BatchRun::adjustOutputs(const QVector<Unit *> &units)
{
    using Cal = proc::CurrentCalibration;
    const auto numbers = [&] {
        QVector<int> list;
        for (Unit *u : units)
            if (u->live)
                list << u->given.map.unit;
        return list;
    };
    announce(AdjustmentStep::Kind::Output4mA, numbers());
    for (Unit *u : units)
        if (u->live)
            u->output = std::make_unique<Cal>(*u->given.link);
    QHash<Unit *, Cal::Result> result;
    eachAtOnce(units, [&](Unit &u) { result[&u] = u.output->start(); });
    for (Unit *u : units)
        if (u->live && result.value(u) != Cal::Result::Done)
            endUnit(*u, enginetext::english(enginetext::Id::NoDrive4mA), RunResult::Cause::Transmitter);
    if (!settleCurrents(units))
        return false;
    const auto measured = [](Unit &u) { return quint16(std::lround(u.window->meanCurrent() * 1000.0)); };
    result.clear();
    eachAtOnce(units, [&](Unit &u) { result[&u] = u.output->measured4mA(measured(u)); });
    for (Unit *u : units)
        if (u->live && result.value(u) != Cal::Result::Done)
            endUnit(*u, enginetext::english(enginetext::Id::NoTake4mA), RunResult::Cause::Transmitter);
    announce(AdjustmentStep::Kind::Output20mA, numbers());
    if (!settleCurrents(units))
        return false;
    // Each unit's pair stored through its own transaction, every link at once.
    result.clear();
    eachAtOnce(units, [&](Unit &u) { result[&u] = u.output->measured20mA(measured(u)); });
    for (Unit *u : units) {
        if (!u->live)
            continue;
        if (result.value(u) == Cal::Result::Done)
            u->output.reset();
        else
            endUnit(*u, enginetext::english(enginetext::Id::OutputsNotStored), RunResult::Cause::Transmitter);
    }
    return stillGoing();
}

} // namespace autocal
