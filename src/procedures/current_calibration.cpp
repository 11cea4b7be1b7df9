#include "procedures/current_calibration.h"

#include "core/registers.h"
#include "core/write_verdict.h"

namespace proc {

namespace {
constexpr int kSettleMs = 400;   // the output settles before the next step

} // namespace

CurrentCalibration::CurrentCalibration(rtu::Link &link, QObject *parent) : QObject(parent), m_link(link)
{
    // Another link, or the same one opened again, is no longer the unit it started on.
    auto linkChanged = [this] {
        if (running())
            finish(EndReason::LinkChanged);
    };
    connect(&link, &rtu::Link::closed, this, linkChanged);
    connect(&link, &rtu::Link::opened, this, linkChanged);
    // Any other write ends it first: what it wrote must not be saved or
    // overwritten by someone else's store.
    connect(&link, &rtu::Link::aboutToWrite, this, [this] {
        if (running() && !m_ownStep)
            abandon();
    });
}

void CurrentCalibration::finish(EndReason reason)
{
    m_step = Step::Start;
    m_pointsWritten = false;
    emit stepChanged(m_step);
    emit ended(reason);
}

CurrentCalibration::Result CurrentCalibration::readState(QVector<quint16> &holding)
{
    if (!m_unit.holds(m_link))
        return Result::LinkChanged;
    const core::BlockReply reply = m_link.readBlock(core::Block::Holding);
    if (!reply.ok() || reply.words.size() < reg::kHoldingCount)
        return m_unit.holds(m_link) ? Result::ReadFailed : Result::LinkChanged;
    holding = reply.words;
    return Result::Done;
}

bool CurrentCalibration::inState(const QVector<quint16> &holding, quint16 command) const
{
    return holding.at(reg::kWorkModeCommand) == reg::ModeCurrentOutput
        && holding.at(reg::kCurrentCommand) == command;
}

// Commands the output and reads back that the transmitter took the command.
CurrentCalibration::Result CurrentCalibration::driveAndConfirm(quint16 command, QVector<quint16> &holding)
{
    int budget = m_link.budget().commandChecks;
    const rtu::WriteOutcome sent = m_link.write(reg::kCurrentCommand, {command}, &budget);
    if (sent == rtu::WriteOutcome::NotSent)
        return m_unit.holds(m_link) ? Result::WriteFailed : Result::LinkChanged;
    m_link.waitMs(kSettleMs);
    const Result read = readState(holding);
    if (read != Result::Done)
        return read;
    return holding.at(reg::kCurrentCommand) == command ? Result::Done : Result::WriteFailed;
}

CurrentCalibration::Result CurrentCalibration::start()
{
    return runStep(m_link, m_ownStep, Result::NotRun, [&] { return runStart(); });
}

CurrentCalibration::Result CurrentCalibration::runStart()
{
    if (running())
        abandon();
    m_unit = UnitBinding::of(m_link);
    QVector<quint16> holding;
    const Result driven = driveAndConfirm(reg::Drive4mA, holding);
    if (driven != Result::Done)
        return driven;
    m_pointsBefore = {holding.at(reg::kMeasured4mA), holding.at(reg::kMeasured20mA)};
    if (m_link.write(reg::kWorkModeCommand, {reg::ModeCurrentOutput}) != rtu::WriteOutcome::Accepted)
        return m_unit.holds(m_link) ? Result::WriteFailed : Result::LinkChanged;
    m_pointsWritten = false;
    m_step = Step::At4mA;
    emit stepChanged(m_step);
    return Result::Done;
}

CurrentCalibration::Result CurrentCalibration::lose()
{
    restorePoints();
    finish(EndReason::StateLost);
    return Result::StateLost;
}

CurrentCalibration::Result CurrentCalibration::linkChanged()
{
    finish(EndReason::LinkChanged);
    return Result::LinkChanged;
}

CurrentCalibration::Result CurrentCalibration::measured4mA(quint16 microamps)
{
    return runStep(m_link, m_ownStep, Result::NotRun, [&] { return runMeasured4mA(microamps); });
}

// Before a point: the step expected, and the transmitter still in mode 4 with
// `command` (and, at 20 mA, the 4 mA point as written). A power cycle, another
// tool or a restore since the last step ends the procedure: no half calibration.
CurrentCalibration::Result CurrentCalibration::checkStillAsLeft(Step step, quint16 command)
{
    if (m_step != step)
        return Result::StateLost;
    QVector<quint16> holding;
    const Result read = readState(holding);
    if (read == Result::LinkChanged)
        return linkChanged();
    if (read != Result::Done)
        return read;
    const bool pointKept = step != Step::At20mA || holding.at(reg::kMeasured4mA) == m_point4;
    return inState(holding, command) && pointKept ? Result::Done : lose();
}

CurrentCalibration::Result CurrentCalibration::runMeasured4mA(quint16 microamps)
{
    QVector<quint16> holding;
    if (const Result ready = checkStillAsLeft(Step::At4mA, reg::Drive4mA); ready != Result::Done)
        return ready;
    // Without the 4 mA point the rest would calibrate against an old one.
    m_pointsWritten = true;
    if (m_link.write(reg::kMeasured4mA, {microamps}) != rtu::WriteOutcome::Accepted)
        return Result::WriteFailed;
    m_link.waitMs(kSettleMs);
    const Result driven = driveAndConfirm(reg::Drive20mA, holding);
    if (driven == Result::LinkChanged)
        return linkChanged();
    if (driven != Result::Done)
        return driven;
    m_point4 = microamps;
    m_step = Step::At20mA;
    emit stepChanged(m_step);
    return Result::Done;
}

CurrentCalibration::Result CurrentCalibration::measured20mA(quint16 microamps)
{
    return runStep(m_link, m_ownStep, Result::NotRun, [&] { return runMeasured20mA(microamps); });
}

CurrentCalibration::Result CurrentCalibration::runMeasured20mA(quint16 microamps)
{
    if (const Result ready = checkStillAsLeft(Step::At20mA, reg::Drive20mA); ready != Result::Done)
        return ready;
    // Storing without the 20 mA point would commit a half calibration.
    if (m_link.write(reg::kMeasured20mA, {microamps}) != rtu::WriteOutcome::Accepted)
        return Result::WriteFailed;
    m_link.waitMs(kSettleMs);
    if (m_link.write(reg::kStoreCommand, {reg::kStoreValue}) != rtu::WriteOutcome::Accepted)
        return Result::WriteFailed;   // the technician repeats the step
    const verify::ReadBack check = verify::readBack(m_link, {{reg::kMeasured4mA, {m_point4, microamps}}});
    if (!check.verified())
        return check.error.ok() ? lose() : Result::ReadFailed;
    finish(EndReason::Finished);
    m_link.waitMs(kSettleMs);
    const bool normal = m_link.write(reg::kWorkModeCommand, {reg::ModeNone}) == rtu::WriteOutcome::Accepted;
    return normal ? Result::Done : Result::WriteFailed;   // stored, but still in mode 4
}

void CurrentCalibration::abandon()
{
    if (!running())
        return;
    restorePoints();
    finish(EndReason::Abandoned);
}

CurrentCalibration::Result CurrentCalibration::leave()
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this] {
        abandon();
        return m_link.write(reg::kWorkModeCommand, {reg::ModeNone}) == rtu::WriteOutcome::Accepted
            ? Result::Done
            : Result::WriteFailed;
    });
}

void CurrentCalibration::restorePoints()
{
    if (!m_pointsWritten || !m_unit.holds(m_link))
        return;
    OwnStep own(m_ownStep);
    m_pointsWritten = false;
    m_link.write(reg::kMeasured4mA, m_pointsBefore);
    verify::readBack(m_link, {{reg::kMeasured4mA, m_pointsBefore}});
}

} // namespace proc
