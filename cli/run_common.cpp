#include "run_common.h"

#include "records_commands.h"
#include "signer_input.h"

#include "instruments/instrument.h"
#include "records_db/record_db.h"

namespace cli {

const char kStoppedBySignal[] = "stopped by a signal";

std::unique_ptr<instruments::Instrument> instrumentOf(const QString &text, const QString &modelName,
                                                      instruments::Role role, const char *option, Output &o)
{
    QString why;
    const auto address = instruments::parseAddress(text, &why);
    const auto model = address ? instruments::findModel(modelName, &why) : std::nullopt;
    if (!model)
        return o.fail(UsageError, QStringLiteral("--%1 %2: %3").arg(QLatin1String(option), text, why)), nullptr;
    if (model->role != role)
        return o.fail(UsageError, QStringLiteral("--%1 needs a model of another role than %2")
                                      .arg(QLatin1String(option), model->name)), nullptr;
    return std::make_unique<instruments::Instrument>(*model, *address);
}

std::optional<autocal::RunPlan> planOf(const Invocation &inv, Output &o, int &status)
{
    QString why;
    if (!inv.procedureFile.isEmpty() == !inv.points.isEmpty())
        return status = o.fail(UsageError, QStringLiteral("give --procedure FILE, or --points and --tolerance")), std::nullopt;
    auto p = autocal::planFrom(inv.procedureFile, inv.points, inv.tolerance, why);
    if (!p)
        status = o.fail(inv.procedureFile.isEmpty() ? UsageError : FileError, why);
    return p;
}

std::unique_ptr<RunStore> openRunStore(const Invocation &inv, Output &o, int &status)
{
    auto store = std::make_unique<RunStore>();
    if (!openDatabase(store->db, inv.recordsFolder, recordsdb::RecordDb::Mode::Create, o.err))
        return status = FileError, nullptr;
    const auto performer = unlockPerson(store->db, inv, o.err);
    if (!performer)
        return status = Different, nullptr;
    store->records.emplace(&store->db, inv.recordsFolder.isEmpty() ? recordsdb::defaultRecordsFolder() : inv.recordsFolder,
                           performer);
    return store;
}

QString storedText(const record::Record &r, qint64 number)
{
    return QStringLiteral("%1 stored as record %2%3").arg(record::stageKey(r.stage)).arg(number)
        .arg(r.incompleteReason.isEmpty() ? QString() : QStringLiteral(" (incomplete: %1)").arg(r.incompleteReason));
}

QJsonObject storedEvent(const record::Record &r, qint64 number)
{
    return {{"event", "stored"}, {"stage", record::stageKey(r.stage)}, {"number", number}, {"incomplete", r.incompleteReason}};
}

QString technicianOf(const Invocation &inv)
{
    return inv.name.isEmpty() ? qEnvironmentVariable("USER") : inv.name;
}

} // namespace cli
