#include "instruments_commands.h"

#include "core/csv_field.h"
#include "records_commands.h"
#include "records_db/instrument_register.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {

const char kInstrumentsHelp[] =
    "  instruments list [--due-within DAYS] [--json]\n"
    "                               the register: tag, serial, description, location,\n"
    "                               last valid as-left check, next due date, due state\n"
    "                               (ok, due-soon, overdue, never), status; with\n"
    "                               --due-within only those due by then, the overdue\n"
    "                               and the never calibrated\n";

namespace {

QString stateKey(recordsdb::DueState state)
{
    switch (state) {
    case recordsdb::DueState::Ok: return QStringLiteral("ok");
    case recordsdb::DueState::DueSoon: return QStringLiteral("due-soon");
    case recordsdb::DueState::Overdue: return QStringLiteral("overdue");
    case recordsdb::DueState::Never: break;
    }
    return QStringLiteral("never");
}

bool wanted(const recordsdb::InstrumentRow &row, const std::optional<int> &within, const QDate &today)
{
    return !within || !row.due.isValid() || row.due <= today.addDays(*within);
}

} // namespace

int runInstruments(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    if (inv.arguments != QStringList{QStringLiteral("list")})
        return err << "tcal-cli: instruments list [--due-within DAYS] [--json]\n", UsageError;
    recordsdb::RecordDb db;
    if (!openDatabase(db, inv.recordsFolder, recordsdb::RecordDb::Mode::ExistingOnly, err))
        return FileError;
    recordsdb::InstrumentRegister reg(db);
    const QDate today = QDate::currentDate();
    QJsonArray rows;
    if (!inv.json)
        out << "tag,serial,description,location,last_as_left,next_due,state,status\n";
    for (const recordsdb::InstrumentRow &row : reg.list()) {
        if (!wanted(row, inv.dueWithin, today))
            continue;
        const recordsdb::Instrument &i = row.instrument;
        const QString state = stateKey(recordsdb::dueState(row.due, today));
        const QString last = row.lastAsLeft.toString(Qt::ISODate), due = row.due.toString(Qt::ISODate);
        if (inv.json) {
            rows.append(QJsonObject{{"tag", i.tag}, {"serial", i.serial}, {"description", i.description},
                                    {"location", i.location}, {"lastAsLeft", last}, {"nextDue", due},
                                    {"state", state}, {"status", i.status}, {"unit", i.unit},
                                    {"intervalMonths", i.intervalMonths}, {"procedure", i.procedure}});
            continue;
        }
        out << csv::textField(i.tag) << ',' << csv::textField(i.serial) << ',' << csv::textField(i.description) << ','
            << csv::textField(i.location) << ',' << last << ',' << due << ',' << state << ','
            << csv::textField(i.status) << '\n';
    }
    if (inv.json)
        out << QJsonDocument(QJsonObject{{"instruments", rows}}).toJson();
    return Success;
}

} // namespace cli
