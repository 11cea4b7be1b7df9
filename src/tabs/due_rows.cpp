#include "tabs/due_rows.h"

#include <algorithm>

namespace records {

using recordsdb::DueState;

rv::Text dueText(DueState state)
{
    switch (state) {
    case DueState::Never: return rv::Text::DueNever;
    case DueState::Overdue: return rv::Text::DueOverdue;
    case DueState::DueSoon: return rv::Text::DueSoon;
    case DueState::Ok: break;
    }
    return rv::Text::DueOk;
}

namespace {

int urgency(DueState state)
{
    switch (state) {
    case DueState::Overdue: return 0;
    case DueState::Never: return 1;
    case DueState::DueSoon: return 2;
    case DueState::Ok: break;
    }
    return 3;
}

} // namespace

QVector<DueRow> dueRows(const QVector<recordsdb::InstrumentRow> &rows, const QDate &today, bool all)
{
    QVector<DueRow> due;
    for (const recordsdb::InstrumentRow &r : rows) {
        // What is out of service or withdrawn is not calibrated until it returns.
        if (r.instrument.status == QLatin1String("out of service") || r.instrument.status == QLatin1String("withdrawn"))
            continue;
        const DueState state = r.due.isValid() ? recordsdb::dueState(r.due, today) : DueState::Never;
        if (all || state != DueState::Ok)
            due << DueRow{r, state};
    }
    std::stable_sort(due.begin(), due.end(), [](const DueRow &a, const DueRow &b) {
        if (urgency(a.state) != urgency(b.state))
            return urgency(a.state) < urgency(b.state);
        if (a.row.due != b.row.due)
            return a.row.due < b.row.due;
        return a.row.instrument.tag < b.row.instrument.tag;
    });
    return due;
}

} // namespace records
