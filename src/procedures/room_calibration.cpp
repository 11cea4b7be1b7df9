#include "procedures/room_calibration.h"

#include "core/live_values.h"
#include "core/registers.h"
#include "core/write_verdict.h"
#include "procedures/sensor_calibration.h"

namespace proc {

std::optional<quint16> roomOffsetWord(qint64 referenceHundredths, const QVector<quint16> &input)
{
    if (input.size() < reg::kInputCount)
        return std::nullopt;
    const auto offset = reg::roomOffsetHundredths(referenceHundredths, reg::value32(input, reg::kRoomTemperature),
                                                  reg::temperatureDivisor(true, reg::word(input, reg::kDecimalPlaces)));
    if (!offset)
        return std::nullopt;
    return quint16(qint16(*offset));
}

SensorCalibration::Result SensorCalibration::calibrateRoom(qint64 referenceHundredths, int settleMs)
{
    if (m_input != Input::Thermocouple)
        return Result::NotRun;
    return runStep(m_link, m_ownStep, Result::NotRun,
                   [&] { return runRoom(referenceHundredths, settleMs); });
}

// The offset cleared and the new one written are one step: when it does not
// finish, holding 7 goes back alone to what it held before the step (an
// earlier room step's offset, or the snapshot), and the captures stay.
SensorCalibration::Result SensorCalibration::roomStepFailed(Result result, std::optional<quint16> previous)
{
    if (!previous) {
        m_aftermath = change().restore(reg::kRoomZeroOffset, 1);
        if (m_aftermath.needed && m_aftermath.unrestored.isEmpty())
            m_captured[kRoom] = false;
        return result;
    }
    m_aftermath = {};
    m_aftermath.needed = true;
    m_aftermath.count = 1;
    m_aftermath.start = reg::kRoomZeroOffset;
    m_aftermath.written = {reg::kRoomZeroOffset};
    const verify::Written back{reg::kRoomZeroOffset, {*previous}};
    const bool wentBack = change().write(back.start, back.words).ok() && verify::readBack(m_link, {back}).verified();
    if (wentBack)
        m_room = previous;
    else
        m_aftermath.unrestored = {reg::kRoomZeroOffset};
    return result;
}

SensorCalibration::Result SensorCalibration::runRoom(qint64 referenceHundredths, int settleMs)
{
    rtu::WriterScope writer(m_link, owner());
    m_aftermath = {};
    const bool bound = m_bound && m_unit.holds(m_link);
    if (const Result begun = begin(); begun != Result::Done)
        return begun;
    // An earlier room step's offset, on this unit and not stored yet.
    const std::optional<quint16> previous = m_room;
    m_room.reset();
    if (!bound && !change().wroteAnything())
        change().beginWith(m_holding);
    m_error = change().write(reg::kRoomZeroOffset, {0});
    // Refused or never sent, it changed nothing.
    if (m_error.ok() || (m_error.sent && m_error.kind != core::BusErrorKind::Exception))
        m_captured[kRoom] = true;
    if (!m_error.ok())
        return roomStepFailed(Result::WriteFailed, previous);
    m_link.waitMs(settleMs);
    const core::BlockReply input = m_link.readBlock(core::Block::Input);
    m_error = input.error;
    if (!input.ok() || input.words.size() < reg::kInputCount)
        return roomStepFailed(Result::ReadFailed, previous);
    const std::optional<quint16> offset = roomOffsetWord(referenceHundredths, input.words);
    if (!offset)
        return roomStepFailed(Result::WriteFailed, previous);
    m_error = change().write(reg::kRoomZeroOffset, {*offset});
    if (!m_error.ok())
        return roomStepFailed(Result::WriteFailed, previous);
    m_lost[kRoom] = false;
    m_room = *offset;
    return Result::Done;
}

} // namespace proc
