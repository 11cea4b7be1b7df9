#include "procedures/stored_change.h"

#include "link/link.h"

namespace proc {

namespace {

ChangeReport failed(Transaction &change, ChangeReport report, ChangeOutcome outcome,
                    const core::BusError &error)
{
    report.outcome = outcome;
    report.error = error;
    report.aftermath = change.restore();
    report.stored = change.outcome();
    return report;
}

} // namespace

ChangeReport storeChange(rtu::Link &link, const ChangePlan &plan, int pauseMs,
                         const QVector<quint16> *holding, const QString &procedure)
{
    ChangeReport report;
    Transaction change(link, 0, procedure);
    if (holding) {
        change.beginWith(*holding);
    } else if (const core::BlockReply first = change.begin(); !first.ok()) {
        report.error = first.error;
        return report;
    }
    report.written = plan(change.before());
    if (const core::BusError e = change.write(report.written.start, report.written.words); !e.ok())
        return failed(change, report, ChangeOutcome::WriteFailed, e);
    link.waitMs(pauseMs);
    if (const core::BusError e = change.store(); !e.ok()) {
        report.check = change.lastCheck();
        if (!report.check.block.isEmpty() && !report.check.differing.isEmpty())
            return failed(change, report, ChangeOutcome::Differs, {});
        return failed(change, report, report.check.error.ok() ? ChangeOutcome::StoreFailed
                                                              : ChangeOutcome::ReadBackFailed, e);
    }
    report.check = change.lastCheck();
    report.outcome = ChangeOutcome::Verified;
    report.stored = change.outcome();
    return report;
}

} // namespace proc
