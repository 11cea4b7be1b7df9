#include "procedures/sensor_calibration.h"

namespace proc {

namespace {
constexpr int kModeSettleMs = 400;   // the transmitter shows the points of its new mode
constexpr int kPointWords = 4;       // two 32-bit points, high word first

QVector<quint16> wordsOf(qint32 value)
{
    return {quint16(quint32(value) >> 16), quint16(quint32(value) & 0xFFFF)};
}
} // namespace

SensorCalibration::SensorCalibration(rtu::Link &link, Input input, QObject *parent)
    : QObject(parent), m_link(link), m_input(input)
{
    // Another link, or the same one opened again, may be another unit.
    connect(&link, &rtu::Link::closed, this, &SensorCalibration::forget);
    connect(&link, &rtu::Link::opened, this, &SensorCalibration::forget);
    connect(&link, &rtu::Link::aboutToWrite, this, [this] {
        if (hasUnstoredCaptures() && !m_ownStep)
            abandon();
    });
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
    m_captured = {};
    m_points = {};
}

// Takes the points from a holding block; with `keepAsBefore` they are what a
// later abandon puts back.
bool SensorCalibration::readPoints(const QVector<quint16> &holding, bool keepAsBefore)
{
    if (holding.size() < reg::kHoldingCount)
        return false;
    for (int i = 0; i < 2; ++i) {
        m_points[size_t(i)] = reg::value32(holding, pointRegister(i));
        emit pointChanged(i, *m_points[size_t(i)]);
    }
    if (keepAsBefore) {
        m_before = holding.mid(pointRegister(0), kPointWords);
        m_unit = UnitBinding::of(m_link);
        m_bound = true;
        m_captured = {};
    }
    return true;
}

// What a capture may have to put back is read before the first one.
SensorCalibration::Result SensorCalibration::begin()
{
    if (m_bound && m_unit.holds(m_link))
        return Result::Done;
    forget();
    const core::BlockReply holding = m_link.readBlock(core::Block::Holding);
    m_error = holding.error;
    if (!holding.ok() || !readPoints(holding.words, true))
        return Result::ReadFailed;
    return Result::Done;
}

SensorCalibration::Result SensorCalibration::enter()
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this] { return runEnter(); });
}

SensorCalibration::Result SensorCalibration::runEnter()
{
    // One budget serves the mode write and the read-back.
    int budget = m_link.budget().preWaitChecks;
    if (m_link.write(reg::kWorkModeCommand, {mode()}, &budget) != rtu::WriteOutcome::Accepted)
        return Result::WriteFailed;
    m_link.waitMs(kModeSettleMs);
    const rtu::ReadResult read = m_link.read(core::Block::Holding, &budget);
    if (read.outcome != rtu::ReadOutcome::Delivered || !readPoints(read.words, true)) {
        m_error = {core::BusErrorKind::Link, read.verdict.text, 0};
        m_error.shortReply = read.outcome == rtu::ReadOutcome::Short;
        return Result::ReadFailed;
    }
    return Result::Done;
}

SensorCalibration::Result SensorCalibration::leave()
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this] {
        abandon();
        int budget = m_link.budget().preWaitChecks;
        return m_link.write(reg::kWorkModeCommand, {reg::ModeNone}, &budget) == rtu::WriteOutcome::Accepted
            ? Result::Done
            : Result::WriteFailed;
    });
}

SensorCalibration::Result SensorCalibration::capture(int index)
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this, index] { return runCapture(index); });
}

SensorCalibration::Result SensorCalibration::runCapture(int index)
{
    if (const Result begun = begin(); begun != Result::Done)
        return begun;
    const core::BlockReply input = m_link.readBlock(core::Block::Input);
    m_error = input.error;
    if (!input.ok() || input.words.size() < reg::kInputCount)
        return Result::ReadFailed;
    const qint32 adc = reg::value32(input.words, reg::kAdcValue);
    // Unanswered, it may be in RAM all the same: it counts as captured.
    m_captured[size_t(index)] = true;
    if (m_link.write(pointRegister(index), wordsOf(adc)) != rtu::WriteOutcome::Accepted)
        return Result::WriteFailed;
    m_points[size_t(index)] = adc;
    emit pointChanged(index, adc);
    return Result::Done;
}

QVector<verify::Written> SensorCalibration::knownPoints() const
{
    QVector<verify::Written> known;
    for (int i = 0; i < 2; ++i)
        if (m_points[size_t(i)])
            known.append({pointRegister(i), wordsOf(*m_points[size_t(i)])});
    return known;
}

SensorCalibration::Result SensorCalibration::store()
{
    return runStep(m_link, m_ownStep, Result::NotRun, [this] { return runStore(); });
}

SensorCalibration::Result SensorCalibration::runStore()
{
    m_check = {};
    if (!m_unit.holds(m_link))
        forget();
    // A capture overwritten since (a power cycle, another tool) would be stored half.
    if (hasUnstoredCaptures()) {
        const verify::ReadBack now = verify::readBack(m_link, knownPoints());
        m_error = now.error;
        if (!now.error.ok())
            return Result::ReadFailed;
        if (!now.differing.isEmpty()) {
            abandon();
            return Result::StateLost;
        }
    }
    if (m_link.write(reg::kStoreCommand, {reg::kStoreValue}) != rtu::WriteOutcome::Accepted)
        return Result::WriteFailed;
    m_captured = {};
    if (knownPoints().isEmpty())
        return Result::Done;
    m_check = verify::readBack(m_link, knownPoints());
    m_error = m_check.error;
    if (!m_check.error.ok())
        return Result::ReadFailed;
    return m_check.differing.isEmpty() ? Result::Done : Result::Differs;
}

void SensorCalibration::abandon()
{
    if (!hasUnstoredCaptures())
        return;
    OwnStep own(m_ownStep);
    const bool here = m_bound && m_unit.holds(m_link);
    QVector<verify::Written> restored;
    for (int i = 0; i < 2; ++i) {
        if (!m_captured[size_t(i)])
            continue;
        restored.append({pointRegister(i), m_before.mid(2 * i, 2)});
        m_points[size_t(i)] = reg::value32(m_before, 2 * i);
    }
    m_captured = {};
    if (!here)
        return;
    for (const verify::Written &w : restored)
        m_link.write(w.start, w.words);
    verify::readBack(m_link, restored);
    for (int i = 0; i < 2; ++i)
        if (m_points[size_t(i)])
            emit pointChanged(i, *m_points[size_t(i)]);
}

} // namespace proc
