#include "procedures/sensor_calibration.h"

namespace proc {

namespace {
constexpr int kModeSettleMs = 400;   // the transmitter shows the points of its new mode

QVector<quint16> wordsOf(qint32 value)
{
    return {quint16(quint32(value) >> 16), quint16(quint32(value) & 0xFFFF)};
}
} // namespace

SensorCalibration::SensorCalibration(rtu::Link &link, Input input, QObject *parent)
    : QObject(parent), m_link(link), m_input(input)
{
    // Another link, or the same one opened again, may be another unit; a
    // close put the captures back first.
    connect(&link, &rtu::Link::closed, this, &SensorCalibration::forget);
    connect(&link, &rtu::Link::opened, this, &SensorCalibration::forget);
    // Another procedure's write put the captures back.
    connect(&link, &rtu::Link::unstoredPutBack, this, [this](quintptr who) {
        if (who == owner() && !m_ownStep) {
            // Until each point put back is captured again, a store would be half of one.
            for (size_t i = 0; i < m_lost.size(); ++i)
                m_lost[i] = m_lost[i] || m_captured[i];
            m_captured = {};
            m_room.reset();
            m_change.reset();
        }
    });
}

QString SensorCalibration::name() const
{
    return m_input == Input::Thermocouple ? QStringLiteral("thermocouple calibration")
                                          : QStringLiteral("RTD calibration");
}

quint16 SensorCalibration::mode() const
{
    return m_input == Input::Thermocouple ? reg::ModeThermocouple : reg::ModeRtd;
}

int SensorCalibration::pointRegister(int index) const
{
    const int first = m_input == Input::Thermocouple ? reg::kTc50mVPoint : reg::kRtd100RPoint;
    return first + 2 * index;
}

void SensorCalibration::forget()
{
    m_bound = false;
    m_lost = {};
    m_captured = {};
    m_points = {};
    m_room.reset();
    if (!m_ownStep)
        m_change.reset();
}

// Takes the points from a holding block; with `keepAsBefore` the procedure
// is bound to this unit.
bool SensorCalibration::readPoints(const QVector<quint16> &holding, bool keepAsBefore)
{
    if (holding.size() < reg::kHoldingCount)
        return false;
    for (int i = 0; i < 2; ++i) {
        m_points[size_t(i)] = reg::value32(holding, pointRegister(i));
        emit pointChanged(i, *m_points[size_t(i)]);
    }
    if (keepAsBefore && !hasUnstoredCaptures()) {
        m_unit = UnitBinding::of(m_link);
        m_bound = true;
    }
    return true;
}

SensorCalibration::Result SensorCalibration::begin()
{
    if (m_bound && m_unit.holds(m_link))
        return Result::Done;
    forget();
    const core::BlockReply holding = m_link.readBlock(core::Block::Holding);
    m_error = holding.error;
    if (!holding.ok() || !readPoints(holding.words, true))
        return Result::ReadFailed;
    m_holding = holding.words;
    return Result::Done;
}

SensorCalibration::Result SensorCalibration::enter()
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this] { return runEnter(); });
}

SensorCalibration::Result SensorCalibration::runEnter()
{
    rtu::WriterScope writer(m_link, owner());
    // Whatever ends this, the transmitter goes back to normal mode.
    m_link.unstored().note(owner(), name(), reg::kWorkModeCommand, reg::ModeNone);
    // One budget serves the mode write and the read-back.
    int budget = m_link.budget().preWaitChecks;
    const rtu::WriteOutcome sent = m_link.write(reg::kWorkModeCommand, {mode()}, &budget);
    if (sent == rtu::WriteOutcome::Refused || sent == rtu::WriteOutcome::NotSent) {
        m_link.unstored().forget(reg::kWorkModeCommand);   // the mode did not change
        return Result::WriteFailed;
    }
    if (sent != rtu::WriteOutcome::Accepted) {
        leaveMode();
        return Result::WriteFailed;
    }
    m_link.waitMs(kModeSettleMs);
    const rtu::ReadResult read = m_link.read(core::Block::Holding, &budget);
    if (read.outcome != rtu::ReadOutcome::Delivered || !readPoints(read.words, true)) {
        m_error = {core::BusErrorKind::Link, read.verdict.text, 0};
        m_error.shortReply = read.outcome == rtu::ReadOutcome::Short;
        return Result::ReadFailed;   // the mode stays noted: the next write, a close or the exit leaves it
    }
    return Result::Done;
}

// Mode 0 written and read back.
bool SensorCalibration::leaveMode()
{
    if (!m_link.isOpen())
        return !m_link.unstored().holds(reg::kWorkModeCommand);
    rtu::WriterScope writer(m_link, owner());
    for (int attempt = 0; attempt < 2; ++attempt) {
        int budget = m_link.budget().preWaitChecks;
        if (m_link.write(reg::kWorkModeCommand, {reg::ModeNone}, &budget) == rtu::WriteOutcome::NotSent)
            continue;
        const core::BlockReply now = m_link.readBlock(core::Block::Holding);
        if (now.ok() && now.words.size() > reg::kWorkModeCommand && now.words.at(reg::kWorkModeCommand) == reg::ModeNone) {
            m_link.unstored().forget(reg::kWorkModeCommand);
            return true;
        }
    }
    return false;
}

SensorCalibration::Result SensorCalibration::leave()
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this] {
        putBack();
        const bool normal = leaveMode();
        if (!normal && m_outcome.held == Outcome::Held::NotStoredRestored)
            m_outcome = {Outcome::Held::NotStoredRamHolds, {reg::kWorkModeCommand}, {}};
        if (!normal && m_outcome.held == Outcome::Held::StoredVerified)
            m_outcome.held = Outcome::Held::StoredModeNotLeft;
        return normal ? Result::Done : Result::WriteFailed;
    });
}

SensorCalibration::Result SensorCalibration::capture(int index)
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this, index] { return runCapture(index); });
}

SensorCalibration::Result SensorCalibration::runCapture(int index)
{
    rtu::WriterScope writer(m_link, owner());
    const bool bound = m_bound && m_unit.holds(m_link);
    if (const Result begun = begin(); begun != Result::Done)
        return begun;
    const core::BlockReply input = m_link.readBlock(core::Block::Input);
    m_error = input.error;
    if (!input.ok() || input.words.size() < reg::kInputCount)
        return Result::ReadFailed;
    const qint32 adc = reg::value32(input.words, reg::kAdcValue);
    // The block begin() has just read is RAM just before the first write.
    if (!bound && !change().wroteAnything())
        change().beginWith(m_holding);
    const core::BusError written = change().write(pointRegister(index), wordsOf(adc));
    if (written.ok())
        m_lost[size_t(index)] = false;
    // Unanswered, it may be in RAM all the same: it counts as captured.
    if (m_change->wroteAnything())
        m_captured[size_t(index)] = true;
    m_error = written;
    if (!written.ok())
        return Result::WriteFailed;
    m_points[size_t(index)] = adc;
    emit pointChanged(index, adc);
    return Result::Done;
}

Transaction &SensorCalibration::change()
{
    if (!m_change)
        m_change = std::make_unique<Transaction>(m_link, owner(), name());
    return *m_change;
}

QVector<verify::Written> SensorCalibration::knownWords() const
{
    QVector<verify::Written> known;
    for (int i = 0; i < 2; ++i)
        if (m_points[size_t(i)])
            known.append({pointRegister(i), wordsOf(*m_points[size_t(i)])});
    if (m_room)
        known.append(verify::Written{reg::kRoomZeroOffset, {*m_room}});
    return known;
}

SensorCalibration::Result SensorCalibration::store()
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this] { return runStore(); });
}

SensorCalibration::Result SensorCalibration::runStore()
{
    rtu::WriterScope writer(m_link, owner());
    m_check = {};
    if (!m_unit.holds(m_link))
        forget();
    // Another write put captures back: storing now would store old points beside new ones.
    if (m_lost[0] || m_lost[1] || m_lost[kRoom]) {
        m_outcome = {};
        return Result::StateLost;
    }
    const core::BusError stored = change().store();
    m_error = stored;
    if (!stored.ok()) {
        const bool lost = !m_change->changedBeforeStore().isEmpty();
        m_check = m_change->lastCheck();
        putBack();
        if (lost)
            return Result::StateLost;
        return m_check.error.ok() && !m_check.differing.isEmpty() ? Result::Differs : Result::WriteFailed;
    }
    m_outcome = m_change->outcome();
    m_captured = {};
    // The next write snapshots RAM afresh: words this change never wrote may
    // have changed since its first read.
    m_change.reset();
    if (knownWords().isEmpty())
        return Result::Done;
    // The points not captured here are read back too: the store kept them as well.
    m_check = verify::readBack(m_link, knownWords());
    m_error = m_check.error;
    if (!m_check.error.ok())
        return Result::ReadFailed;
    return m_check.differing.isEmpty() ? Result::Done : Result::Differs;
}

// The transaction puts back what was stored before the captures, verified.
void SensorCalibration::putBack()
{
    if (!m_change)
        return;
    rtu::WriterScope writer(m_link, owner());
    OwnStep own(m_ownStep);
    if (m_change->wroteAnything()) {
        const Aftermath after = m_change->restore();
        m_outcome = m_change->outcome();
        if (after.block.size() >= reg::kHoldingCount)
            readPoints(after.block, false);
    }
    m_captured = {};
    m_room.reset();
}

void SensorCalibration::abandon()
{
    putBack();
    if (m_link.unstored().hasOwner(owner()))
        leaveMode();
}

} // namespace proc
