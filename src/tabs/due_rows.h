#pragma once
// The start of the day without widgets: the register's instruments that are
// due, overdue or never calibrated (or all of them), the most urgent first.

#include "records_db/instrument_register.h"
#include "texts/records_view_texts.h"

#include <QVector>

namespace records {

struct DueRow {
    recordsdb::InstrumentRow row;
    recordsdb::DueState state = recordsdb::DueState::Never;
};

rv::Text dueText(recordsdb::DueState state);
// Overdue, never calibrated, due soon, then on time; by due date and tag within each.
// Those on time only with `all`; those out of service or withdrawn never.
QVector<DueRow> dueRows(const QVector<recordsdb::InstrumentRow> &rows, const QDate &today, bool all);

} // namespace records
