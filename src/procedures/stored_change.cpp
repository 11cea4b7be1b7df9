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
    return report;
}

} // namespace

ChangeReport storeChange(rtu::Link &link, const ChangePlan &plan, int pauseMs,
                         const QVector<quint16> *holding)
{
    ChangeReport report;
    Transaction change(link);
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
    if (const core::BusError e = change.store(); !e.ok())
        return failed(change, report, ChangeOutcome::StoreFailed, e);
    report.check = change.readBack();
    if (!report.check.error.ok()) {
        // Nothing is known of the image; writing on a link that failed would know no more.
        report.outcome = ChangeOutcome::ReadBackFailed;
        report.error = report.check.error;
        return report;
    }
    if (!report.check.differing.isEmpty())
        return failed(change, report, ChangeOutcome::Differs, {});
    report.outcome = ChangeOutcome::Verified;
    return report;
}

} // namespace proc
