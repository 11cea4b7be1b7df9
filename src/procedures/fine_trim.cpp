#include "procedures/fine_trim.h"


namespace proc {

namespace {
constexpr int kCommandSettleMs = 400;
// Every request ends by its deadline, so a busy link only delays a value;
// only a link that never frees up loses it.
constexpr int kBusyRounds = 10;
} // namespace

FineTrim::FineTrim(rtu::Link &link, QObject *parent) : QObject(parent), m_link(link)
{
    auto forget = [this] {
        m_end.reset();
        m_next.reset();
        m_unstored.clear();
    };
    connect(&link, &rtu::Link::closed, this, forget);
    connect(&link, &rtu::Link::opened, this, forget);
    connect(&link, &rtu::Link::aboutToWrite, this, [this] {
        if (!m_unstored.isEmpty() && !m_ownStep)
            abandon();
    });
}

FineTrim::Result FineTrim::select(End end, quint16 *stored)
{
    return runStep(m_link, m_ownStep, Result::NotRun, [&] { return runSelect(end, stored); });
}

FineTrim::Result FineTrim::runSelect(End end, quint16 *stored)
{
    m_end.reset();
    int budget = m_link.budget().commandChecks;
    const quint16 command = end == End::At4mA ? reg::Trim4mA : reg::Trim20mA;
    if (m_link.write(reg::kCurrentCommand, {command}, &budget) != rtu::WriteOutcome::Accepted)
        return Result::WriteFailed;
    m_link.waitMs(kCommandSettleMs);
    const rtu::ReadResult read = m_link.read(core::Block::Holding, &budget);
    if (read.outcome != rtu::ReadOutcome::Delivered)
        return Result::ReadFailed;
    if (!m_unit.holds(m_link) || m_unstored.isEmpty()) {
        m_unit = UnitBinding::of(m_link);
        m_before = {read.words.at(reg::kTrim4mA), read.words.at(reg::kTrim20mA)};
        m_unstored.clear();
    }
    m_end = end;
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
    if (!m_unstored.contains(address))
        m_unstored << address;
    OwnStep own(m_ownStep);
    switch (m_link.write(address, {next.value})) {
    case rtu::WriteOutcome::Accepted:
        return Result::Done;
    case rtu::WriteOutcome::NotSent:
        return Result::Queued;
    default:
        lost = true;
        return Result::WriteFailed;
    }
}

FineTrim::Result FineTrim::store(std::optional<quint16> shown)
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this, shown] {
        m_check = {};
        if (m_link.write(reg::kStoreCommand, {reg::kStoreValue}) != rtu::WriteOutcome::Accepted)
            return Result::WriteFailed;
        m_unstored.clear();
        if (!m_end || !shown)
            return Result::Done;
        m_check = verify::readBack(m_link, {{trimRegister(*m_end), {*shown}}});
        if (!m_check.error.ok())
            return Result::ReadFailed;
        return m_check.differing.isEmpty() ? Result::Done : Result::Differs;
    });
}

void FineTrim::abandon()
{
    if (m_unstored.isEmpty())
        return;
    OwnStep own(m_ownStep);
    const QVector<int> registers = m_unstored;
    m_unstored.clear();
    m_next.reset();
    if (!m_unit.holds(m_link) || m_before.size() != 2)
        return;
    QVector<verify::Written> restored;
    for (int address : registers)
        restored.append(verify::Written{address, {m_before.at(address - reg::kTrim4mA)}});
    for (const verify::Written &w : restored)
        m_link.write(w.start, w.words);
    verify::readBack(m_link, restored);
}

} // namespace proc
