#include "procedures/room_calibration.h"

#include "core/live_values.h"
#include "link/link.h"

namespace proc {

namespace {

ChangeReport failed(Transaction &change, ChangeReport report, ChangeOutcome outcome, const core::BusError &error)
{
    report.outcome = outcome;
    report.error = error;
    report.aftermath = change.restore();
    report.stored = change.outcome();
    return report;
}

} // namespace

ChangeReport calibrateRoom(rtu::Link &link, qint64 referenceHundredths, int settleMs)
{
    ChangeReport report;
    Transaction change(link, 0, QStringLiteral("room calibration"));
    if (const core::BusError e = change.write(reg::kRoomZeroOffset, {0}); !e.ok())
        return failed(change, report, ChangeOutcome::WriteFailed, e);
    link.waitMs(settleMs);
    const core::BlockReply input = link.readBlock(core::Block::Input);
    if (!input.ok() || input.words.size() < reg::kInputCount)
        return failed(change, report, ChangeOutcome::WriteFailed, input.error);   // the step did not finish
    const QVector<quint16> &v = input.words;
    const auto offset = reg::roomOffsetHundredths(referenceHundredths, reg::value32(v, reg::kRoomTemperature),
                                                  reg::temperatureDivisor(true, reg::word(v, reg::kDecimalPlaces)));
    // Unscalable, or an offset the register cannot hold: never a wrapped word.
    if (!offset)
        return failed(change, report, ChangeOutcome::WriteFailed, {});
    report.written = {reg::kRoomZeroOffset, {quint16(qint16(*offset))}};
    if (const core::BusError e = change.write(report.written.start, report.written.words); !e.ok())
        return failed(change, report, ChangeOutcome::WriteFailed, e);
    if (const core::BusError e = change.store(); !e.ok()) {
        report.check = change.lastCheck();
        if (!report.check.block.isEmpty() && !report.check.differing.isEmpty())
            return failed(change, report, ChangeOutcome::Differs, {});
        return failed(change, report, ChangeOutcome::StoreFailed, e);
    }
    report.check = change.lastCheck();
    report.outcome = ChangeOutcome::Verified;
    report.stored = change.outcome();
    return report;
}

} // namespace proc
