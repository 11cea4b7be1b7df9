#include "procedures/fine_trim.h"

#include "procedures/current_calibration.h"
#include "procedures/unit_state.h"


namespace proc {

namespace {
constexpr int kCommandSettleMs = 400;
// Every request ends by its deadline, so a busy link only delays a value;
// only a link that never frees up loses it.
constexpr int kBusyRounds = 10;
} // namespace

FineTrim::FineTrim(rtu::Link &link, QObject *parent) : QObject(parent), m_link(link)
{
    // A close put the trims back first; the next link may be another unit.
    auto forget = [this] {
        deselect();
        m_next.reset();
        if (!m_ownStep)
            m_change.reset();
    };
    connect(&link, &rtu::Link::closed, this, forget);
    connect(&link, &rtu::Link::opened, this, forget);
    // Another procedure's write put the trims back.
    connect(&link, &rtu::Link::unstoredPutBack, this, [this](quintptr who) {
        if (who == owner() && !m_ownStep && !m_writing) {
            m_change.reset();
            m_putBack = true;
        }
    });
}

void FineTrim::follow(const UnitState &state, const CurrentCalibration &output)
{
    m_state = &state;
    m_output = &output;
    // A finished automatic calibration keeps the trim locked until the
    // current-output group is switched on again.
    connect(&state, &UnitState::groupChanged, this, [this](int, int to) {
        if (to == reg::ModeCurrentOutput)
            m_lockedAfterRun = false;
        deselect();
    });
    connect(&output, &CurrentCalibration::ended, this, [this](CurrentCalibration::EndReason reason) {
        m_lockedAfterRun = m_lockedAfterRun || reason == CurrentCalibration::EndReason::Finished;
    });
    connect(&output, &CurrentCalibration::outputHoldChanged, this, &FineTrim::deselect);
}

bool FineTrim::locked() const
{
    return m_output && (m_output->holdsOutput() || m_lockedAfterRun);
}

bool FineTrim::available() const
{
    return !locked() && (!m_state || m_state->group() == reg::ModeCurrentOutput);
}

void FineTrim::deselect()
{
    m_end.reset();
    m_choosing.reset();
    emit changed();
}

FineTrim::Result FineTrim::select(End end, quint16 *stored)
{
    if (!available()) {
        deselect();
        return Result::NotRun;
    }
    m_end.reset();
    m_choosing = end;
    emit changed();
    quint16 value = 0;
    Result result = runStep(m_link, m_ownStep, Result::NotRun, [&] { return runSelect(end, &value); });
    if (result == Result::Done) {
        emit endLoaded(end, value);
        if (stored)
            *stored = value;
        // A mode change or a lock during the waits dropped the choice.
        if (m_choosing == end)
            m_end = end;
    }
    m_choosing.reset();
    emit changed();
    return result;
}

FineTrim::Result FineTrim::runSelect(End end, quint16 *stored)
{
    rtu::WriterScope writer(m_link, owner());
    int budget = m_link.budget().commandChecks;
    const quint16 command = end == End::At4mA ? reg::Trim4mA : reg::Trim20mA;
    if (m_link.write(reg::kCurrentCommand, {command}, &budget) != rtu::WriteOutcome::Accepted)
        return Result::WriteFailed;
    m_link.waitMs(kCommandSettleMs);
    const rtu::ReadResult read = m_link.read(core::Block::Holding, &budget);
    if (read.outcome != rtu::ReadOutcome::Delivered)
        return Result::ReadFailed;
    if (!m_unit.holds(m_link)) {
        m_unit = UnitBinding::of(m_link);
        m_change.reset();
    }
    if (stored)
        *stored = read.words.at(trimRegister(end));
    return Result::Done;
}

// Not an operation of its own: a value typed during another operation still
// goes out between its requests, as the spin box promises.
FineTrim::Result FineTrim::setValue(quint16 value)
{
    if (!m_end)
        return Result::WriteFailed;
    m_next = Pending{*m_end, value};
    if (m_writing)
        return Result::Queued;
    m_writing = true;
    const UnitBinding unit = UnitBinding::of(m_link);
    int busyRounds = 0;
    bool lost = false;
    while (m_next && unit.holds(m_link) && !m_link.isShuttingDown()) {
        const Pending next = *m_next;
        m_next.reset();
        const Result r = writeNext(next, busyRounds, lost);
        if (r == Result::Queued && !m_next)
            m_next = next;
    }
    m_next.reset();
    m_writing = false;
    if (m_link.isShuttingDown())
        return Result::Done;
    if (!unit.holds(m_link))
        return Result::LinkChanged;
    return lost ? Result::WriteFailed : Result::Done;
}

// One value: Done when accepted, Queued when the link was busy (tried again),
// WriteFailed when it was lost or not taken.
FineTrim::Result FineTrim::writeNext(const Pending &next, int &busyRounds, bool &lost)
{
    // The end may change while the link is busy: looked at again once it is free.
    const bool free = m_end == next.end && m_link.preWait();
    if (m_end != next.end) {
        lost = true;
        return Result::WriteFailed;
    }
    if (!free)
        return ++busyRounds < kBusyRounds ? Result::Queued : (lost = true, Result::WriteFailed);
    busyRounds = 0;
    const int address = trimRegister(next.end);
    OwnStep own(m_ownStep);
    if (!m_change || !m_unit.holds(m_link)) {
        m_unit = UnitBinding::of(m_link);
        m_change = std::make_unique<Transaction>(m_link, owner(), QStringLiteral("fine trim"));
    }
    m_putBack = false;
    const core::BusError error = m_change->write(address, {next.value});
    if (error.ok())
        return Result::Done;
    if (!error.sent)
        return Result::Queued;
    lost = true;
    return Result::WriteFailed;
}

FineTrim::Result FineTrim::store(std::optional<quint16> shown)
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this, shown] {
        rtu::WriterScope writer(m_link, owner());
        m_check = {};
        const std::optional<End> end = m_end;   // the end chosen now, whatever a wait changes
        // The trims were put back by another write: storing now would store the old ones as if new.
        if (m_putBack) {
            m_outcome = {};
            return Result::WriteFailed;
        }
        if (!m_change || !m_unit.holds(m_link)) {
            m_unit = UnitBinding::of(m_link);
            m_change = std::make_unique<Transaction>(m_link, owner(), QStringLiteral("fine trim"));
        }
        if (!m_change->store().ok()) {
            // Nothing half stored: the trims go back to what the image held.
            m_change->restore();
            m_outcome = m_change->outcome();
            return Result::WriteFailed;
        }
        m_outcome = m_change->outcome();
        if (!end || !shown)
            return Result::Done;
        m_checkedRegister = trimRegister(*end);
        m_check = verify::readBack(m_link, {{m_checkedRegister, {*shown}}});
        if (!m_check.error.ok())
            return Result::ReadFailed;
        return m_check.differing.isEmpty() ? Result::Done : Result::Differs;
    });
}

void FineTrim::abandon()
{
    m_next.reset();
    if (!m_change || !m_change->wroteAnything())
        return;
    OwnStep own(m_ownStep);
    rtu::WriterScope writer(m_link, owner());
    m_change->restore();
    m_outcome = m_change->outcome();
}

} // namespace proc
