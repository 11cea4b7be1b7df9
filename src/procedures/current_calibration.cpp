#include "procedures/current_calibration.h"

#include "core/registers.h"
#include "core/write_verdict.h"

namespace proc {

namespace {
constexpr int kSettleMs = 400;   // the output settles before the next step

} // namespace

CurrentCalibration::CurrentCalibration(rtu::Link &link, QObject *parent) : QObject(parent), m_link(link)
{
    // Another link, or the same one opened again, is no longer the unit it
    // started on; a close put its words back first.
    auto linkChanged = [this] {
        if (running())
            finish(EndReason::LinkChanged);
    };
    connect(&link, &rtu::Link::closed, this, linkChanged);
    connect(&link, &rtu::Link::opened, this, linkChanged);
    // Another procedure's write put the points and the mode back.
    connect(&link, &rtu::Link::unstoredPutBack, this, [this](quintptr who) {
        if (who == owner() && running())
            finish(m_link.isClosing() ? EndReason::LinkChanged : EndReason::Abandoned);
    });
}

void CurrentCalibration::finish(EndReason reason)
{
    m_step = Step::Start;
    emit stepChanged(m_step);
    emit ended(reason);
    emit outputHoldChanged();
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
    m_unsent = sent == rtu::WriteOutcome::NotSent || sent == rtu::WriteOutcome::Refused;
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
    return runStep(m_link, m_ownStep, Result::NotRun, [&] {
        rtu::WriterScope writer(m_link, owner());
        m_starting = true;
        emit outputHoldChanged();
        const Result r = runStart();
        const Result result = r == Result::Done ? r : failStep(r);
        m_starting = false;
        emit outputHoldChanged();
        return result;
    });
}

CurrentCalibration::Result CurrentCalibration::runStart()
{
    if (running())
        abandon();
    m_unit = UnitBinding::of(m_link);
    m_outcome = {};
    m_change = std::make_unique<Transaction>(m_link, owner(), QStringLiteral("current calibration"));
    QVector<quint16> holding;
    const Result driven = driveAndConfirm(reg::Drive4mA, holding);
    if (driven != Result::Done)
        return driven;
    // Whatever ends this from here on, the output goes back to normal mode.
    m_link.unstored().note(owner(), QStringLiteral("current calibration"), reg::kWorkModeCommand, reg::ModeNone);
    const rtu::WriteOutcome sent = m_link.write(reg::kWorkModeCommand, {reg::ModeCurrentOutput});
    if (sent == rtu::WriteOutcome::Refused || sent == rtu::WriteOutcome::NotSent) {
        m_link.unstored().forget(reg::kWorkModeCommand);   // the mode did not change
        return m_unit.holds(m_link) ? Result::WriteFailed : Result::LinkChanged;
    }
    m_step = Step::At4mA;
    if (sent != rtu::WriteOutcome::Accepted)
        return m_unit.holds(m_link) ? Result::WriteFailed : Result::LinkChanged;
    emit stepChanged(m_step);
    return Result::Done;
}

// Any step that does not go on ends the calibration: points back, mode left.
CurrentCalibration::Result CurrentCalibration::failStep(Result result)
{
    if (result == Result::Done || result == Result::NotRun || !running())
        return result;
    // A step that could not read, or whose write never went out, may be
    // repeated: what it wrote before is in the link's ledger meanwhile.
    if (result == Result::ReadFailed || (result == Result::WriteFailed && m_unsent))
        return result;
    endHere(result == Result::LinkChanged ? EndReason::LinkChanged
            : result == Result::StateLost ? EndReason::StateLost
                                          : EndReason::Abandoned);
    return result;
}

void CurrentCalibration::endHere(EndReason reason)
{
    if (m_change && m_change->wroteAnything())
        m_change->restore();
    if (m_change)
        m_outcome = m_change->outcome();
    const bool normal = !m_link.unstored().holds(reg::kWorkModeCommand) || leaveMode();
    if (!normal && m_outcome.held == Outcome::Held::NotStoredRestored)
        m_outcome = {Outcome::Held::NotStoredRamHolds, {reg::kWorkModeCommand}, {}};
    finish(reason);
}

// Mode 0 written and read back: the output is no longer driven.
bool CurrentCalibration::leaveMode()
{
    if (!m_unit.holds(m_link)) {
        // A close put the mode back when it could.
        return !m_link.unstored().holds(reg::kWorkModeCommand);
    }
    rtu::WriterScope writer(m_link, owner());
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_link.write(reg::kWorkModeCommand, {reg::ModeNone}) == rtu::WriteOutcome::NotSent)
            continue;
        const core::BlockReply now = m_link.readBlock(core::Block::Holding);
        if (now.ok() && now.words.size() > reg::kWorkModeCommand && now.words.at(reg::kWorkModeCommand) == reg::ModeNone) {
            m_link.unstored().forget(reg::kWorkModeCommand);
            return true;
        }
    }
    return false;
}

CurrentCalibration::Result CurrentCalibration::lose()
{
    return Result::StateLost;
}

CurrentCalibration::Result CurrentCalibration::linkChanged()
{
    return Result::LinkChanged;
}

CurrentCalibration::Result CurrentCalibration::measured4mA(quint16 microamps)
{
    return runStep(m_link, m_ownStep, Result::NotRun, [&] {
        rtu::WriterScope writer(m_link, owner());
        return failStep(runMeasured4mA(microamps));
    });
}

// Before a point: the step expected, and the transmitter still in mode 4 with
// `command` (and, at 20 mA, the 4 mA point as written). A power cycle, another
// tool or a restore since the last step ends the procedure: no half calibration.
CurrentCalibration::Result CurrentCalibration::checkStillAsLeft(Step step, quint16 command, QVector<quint16> *read)
{
    if (m_step != step)
        return Result::StateLost;
    QVector<quint16> local;
    QVector<quint16> &holding = read ? *read : local;
    const Result state = readState(holding);
    if (state == Result::LinkChanged)
        return linkChanged();
    if (state != Result::Done)
        return state;
    const bool pointKept = step != Step::At20mA || holding.at(reg::kMeasured4mA) == m_point4;
    return inState(holding, command) && pointKept ? Result::Done : lose();
}

CurrentCalibration::Result CurrentCalibration::runMeasured4mA(quint16 microamps)
{
    QVector<quint16> holding;
    if (m_step != Step::At4mA)
        return Result::StateLost;
    if (const Result ready = checkStillAsLeft(Step::At4mA, reg::Drive4mA, &holding); ready != Result::Done)
        return ready;
    if (!m_change->wroteAnything())
        m_change->beginWith(holding);   // RAM as read just before the first write
    const core::BusError written = m_change->write(reg::kMeasured4mA, {microamps});
    m_unsent = !written.sent || written.kind == core::BusErrorKind::Exception;
    if (!written.ok())
        return m_unit.holds(m_link) ? Result::WriteFailed : Result::LinkChanged;
    m_link.waitMs(kSettleMs);
    const Result driven = driveAndConfirm(reg::Drive20mA, holding);
    if (driven != Result::Done)
        return driven;
    m_point4 = microamps;
    m_step = Step::At20mA;
    emit stepChanged(m_step);
    return Result::Done;
}

CurrentCalibration::Result CurrentCalibration::measured20mA(quint16 microamps)
{
    return runStep(m_link, m_ownStep, Result::NotRun, [&] {
        rtu::WriterScope writer(m_link, owner());
        return failStep(runMeasured20mA(microamps));
    });
}

CurrentCalibration::Result CurrentCalibration::runMeasured20mA(quint16 microamps)
{
    if (m_step != Step::At20mA)
        return Result::StateLost;
    if (const Result ready = checkStillAsLeft(Step::At20mA, reg::Drive20mA); ready != Result::Done)
        return ready;
    const core::BusError written = m_change->write(reg::kMeasured20mA, {microamps});
    m_unsent = !written.sent || written.kind == core::BusErrorKind::Exception;
    if (!written.ok())
        return m_unit.holds(m_link) ? Result::WriteFailed : Result::LinkChanged;
    m_link.waitMs(kSettleMs);
    // The store checks both points are still in RAM just before it goes out.
    if (const core::BusError stored = m_change->store(); !stored.ok()) {
        if (!m_unit.holds(m_link))
            return Result::LinkChanged;
        m_unsent = !stored.sent && m_change->changedBeforeStore().isEmpty();
        return m_change->changedBeforeStore().isEmpty() ? Result::WriteFailed : Result::StateLost;
    }
    m_outcome = m_change->outcome();
    m_change.reset();
    m_link.waitMs(kSettleMs);
    const bool normal = leaveMode();
    if (!normal)
        m_outcome.held = Outcome::Held::StoredModeNotLeft;
    finish(EndReason::Finished);
    return normal ? Result::Done : Result::WriteFailed;   // stored, but still in mode 4
}

void CurrentCalibration::abandon()
{
    if (!running())
        return;
    rtu::WriterScope writer(m_link, owner());
    OwnStep own(m_ownStep);
    endHere(EndReason::Abandoned);
}

CurrentCalibration::Result CurrentCalibration::leave()
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this] {
        rtu::WriterScope writer(m_link, owner());
        if (running()) {
            endHere(EndReason::Abandoned);
            return m_link.unstored().holds(reg::kWorkModeCommand) ? Result::WriteFailed : Result::Done;
        }
        m_unit = UnitBinding::of(m_link);
        return leaveMode() ? Result::Done : Result::WriteFailed;
    });
}

} // namespace proc
