#pragma once
// What calibrate auto and calibrate batch share: their instruments, plan and
// records from the command line, the standards checked in the register, the
// line a stored check is reported with, and the signal that ends a run.

#include "output.h"

#include "automation/run_plan.h"
#include "automation/run_records.h"
#include "instruments/model.h"
#include "platform/termination_signal.h"
#include "record/calibration_record.h"
#include "records_db/record_db.h"

#include <QDate>
#include <QJsonObject>
#include <memory>
#include <optional>

namespace instruments {
class Instrument;
}

namespace cli {

// The instrument at `text` of model `modelName`, which must hold `role`;
// nullptr when it cannot be, said as --`option`.
std::unique_ptr<instruments::Instrument> instrumentOf(const QString &text, const QString &modelName,
                                                      instruments::Role role, const char *option, Output &o);

// The plan from --procedure or --points and --tolerance; nullopt with `status`
// the one exit code of its fault, text or --json alike.
std::optional<autocal::RunPlan> planOf(const Invocation &inv, Output &o, int &status);

// Where a run's checks go: the database of the records folder, and the
// operator's key unlocked once, before any line is touched.
struct RunStore {
    recordsdb::RecordDb db;
    std::optional<autocal::RunRecords> records;
};
// nullptr with `status` the exit code of what failed.
std::unique_ptr<RunStore> openRunStore(const Invocation &inv, Output &o, int &status);

// "as-found stored as record 7 (incomplete: …)" and its JSON event.
QString storedText(const record::Record &r, qint64 number);
QJsonObject storedEvent(const record::Record &r, qint64 number);

// Who performs it, as the records name them: --name, else the login.
QString technicianOf(const Invocation &inv);

// Every standard a run uses is checked in the register, and its certificate's terms come from there.
template <class Run>
void checkStandardsIn(Run &run, autocal::RunRecords &records)
{
    run.setStandardCheck([&records](record::UsedInstrument &used) { return records.checkStandard(used, QDate::currentDate()); });
    run.setStandardTerms([&records](const record::UsedInstrument &used) {
        return records.standardTerms(used, QDate::currentDate());
    });
}

// Ctrl-C and SIGTERM end the run safely at its next wait.
extern const char kStoppedBySignal[];
template <class Run>
void abortOnTermination(platform::TerminationSignal &stop, Run &run)
{
    QObject::connect(&stop, &platform::TerminationSignal::received, &run, [&run] { run.abort(QLatin1String(kStoppedBySignal)); });
}

} // namespace cli
