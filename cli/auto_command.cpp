#include "auto_command.h"

#include "signer_input.h"

#include "platform/termination_signal.h"
#include "automation/auto_calibration.h"
#include "automation/run_records.h"
#include "instruments/instrument.h"
#include "records_commands.h"
#include "records_db/record_db.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QTimer>
#include <csignal>

namespace cli {

const char kAutoHelp[] =
    "  calibrate auto --source ADDRESS --meter ADDRESS (--procedure FILE | --points LIST --tolerance X)\n"
    "                     the unattended calibration: the calibrator at ADDRESS sources each\n"
    "                     point, the meter at ADDRESS reads the loop current; as-found, the\n"
    "                     adjustment when a point failed, as-left, both stored in the\n"
    "                     records with each point's uncertainty and a draft certificate.\n"
    "                     ADDRESS: /dev/ttyUSB0[:baud], tcp:HOST[:PORT], usbtmc:/dev/usbtmc0.\n"
    "                     Exit 0: as-left passed; 1: failed or stopped; 3: link or\n"
    "                     instrument error\n";

namespace {


struct Instruments {
    std::unique_ptr<instruments::Instrument> source, meter, environment;
};

// Both instruments from their addresses and models, or the reason they cannot be.
std::optional<Instruments> makeInstruments(const Invocation &inv, Output &o)
{
    Instruments made;
    for (auto [text, modelName, into] : {std::tuple{inv.source, inv.sourceModel, &made.source},
                                         std::tuple{inv.meter, inv.meterModel, &made.meter}}) {
        QString why;
        const auto address = instruments::parseAddress(text, &why);
        const auto model = address ? instruments::findModel(modelName, &why) : std::nullopt;
        if (!model)
            return o.fail(UsageError, QStringLiteral("%1: %2").arg(text, why)), std::nullopt;
        *into = std::make_unique<instruments::Instrument>(*model, *address);
    }
    if (!inv.environment.isEmpty()) {
        QString why;
        const auto address = instruments::parseAddress(inv.environment, &why);
        const auto model = address ? instruments::findModel(inv.environmentModel, &why) : std::nullopt;
        if (!model || model->role != instruments::Role::Environment)
            return o.fail(UsageError, QStringLiteral("--environment %1: %2")
                                          .arg(inv.environment, model ? QStringLiteral("needs an environment model") : why)),
                   std::nullopt;
        made.environment = std::make_unique<instruments::Instrument>(*model, *address);
    }
    if (made.source->model().role != instruments::Role::Calibrator
        || made.meter->model().role != instruments::Role::Meter)
        return o.fail(UsageError, QStringLiteral("--source needs a calibrator model and --meter a meter model")),
               std::nullopt;
    return made;
}

// The plan, or nullopt with `status` the one exit code of its fault, text or --json alike.
std::optional<autocal::RunPlan> plan(const Invocation &inv, Output &o, int &status)
{
    QString why;
    if (!inv.procedureFile.isEmpty() == !inv.points.isEmpty())
        return status = o.fail(UsageError, QStringLiteral("give --procedure FILE, or --points and --tolerance")), std::nullopt;
    auto p = inv.procedureFile.isEmpty() ? autocal::planFromOptions(inv.points, inv.tolerance, why)
                                         : autocal::readPlan(inv.procedureFile, why);
    if (!p)
        status = o.fail(inv.procedureFile.isEmpty() ? UsageError : FileError, why);
    return p;
}

// One progress line: text, or a JSON object on a line of its own.
void progress(Output &o, const QJsonObject &event, const QString &text)
{
    if (o.json)
        o.out << QJsonDocument(event).toJson(QJsonDocument::Compact) << "\n";
    else
        o.out << text << "\n";
    o.out.flush();
}

void reportProgress(autocal::AutoCalibration &run, Output &o)
{
    QObject::connect(&run, &autocal::AutoCalibration::phaseChanged, [&o](autocal::Phase phase) {
        progress(o, {{"event", "phase"}, {"phase", autocal::phaseKey(phase)}}, autocal::phaseKey(phase));
    });
    QObject::connect(&run, &autocal::AutoCalibration::pointStarted,
                     [&o](autocal::Phase phase, int index, double celsius, double signal, const QString &unit) {
                         progress(o, {{"event", "source"}, {"phase", autocal::phaseKey(phase)}, {"point", index + 1},
                                      {"celsius", celsius}, {"signal", signal}, {"unit", unit}},
                                  QStringLiteral("  point %1: %2 °C, sourcing %3 %4").arg(index + 1).arg(celsius)
                                      .arg(signal, 0, 'f', 4).arg(unit));
                     });
    QObject::connect(&run, &autocal::AutoCalibration::pointRecorded,
                     [&o](autocal::Phase phase, int index, const record::Point &p) {
                         const double u = p.uncertainty ? record::statedUncertainty(p.uncertainty->expanded) : 0.0;   // as the certificate states it
                         progress(o, {{"event", "point"}, {"phase", autocal::phaseKey(phase)}, {"point", index + 1},
                                      {"reference", p.reference}, {"reading", p.reading},
                                      {"error", p.reading - p.reference}, {"currentMa", p.currentMa.value_or(0.0)},
                                      {"expanded", u}, {"k", p.uncertainty ? p.uncertainty->coverageFactor : 0.0}},
                                  QStringLiteral("  point %1: reads %2, error %3, U %4, loop %5 mA").arg(index + 1)
                                      .arg(p.reading, 0, 'f', 3).arg(p.reading - p.reference, 0, 'f', 3)
                                      .arg(u, 0, 'f', 3).arg(p.currentMa.value_or(0.0), 0, 'f', 4));
                     });
    QObject::connect(&run, &autocal::AutoCalibration::adjustmentStep, [&o](const QString &step) {
        progress(o, {{"event", "adjust"}, {"step", step}}, QStringLiteral("  ") + step);
    });
}

int exitOf(const autocal::RunResult &r)
{
    using O = autocal::RunResult::Outcome;
    using C = autocal::RunResult::Cause;
    if (r.outcome == O::Passed)
        return Success;
    if (r.cause == C::Instrument || r.cause == C::Link)
        return LinkError;
    return Different;
}

QString outcomeKey(autocal::RunResult::Outcome outcome)
{
    switch (outcome) {
    case autocal::RunResult::Outcome::Passed: return QStringLiteral("passed");
    case autocal::RunResult::Outcome::Failed: return QStringLiteral("failed");
    case autocal::RunResult::Outcome::Aborted: return QStringLiteral("aborted");
    case autocal::RunResult::Outcome::Refused: break;
    }
    return QStringLiteral("refused");
}

} // namespace

std::optional<autocal::RunRecords> runRecords(recordsdb::RecordDb &db, const Invocation &inv, Output &o, int &status)
{
    if (!openDatabase(db, inv.recordsFolder, recordsdb::RecordDb::Mode::Create, o.err))
        return status = FileError, std::nullopt;
    // Performed by the operator who starts it, their key unlocked once, before the line is touched.
    const auto performer = unlockPerson(db, inv, o.err);
    if (!performer)
        return status = Different, std::nullopt;
    return autocal::RunRecords(&db, inv.recordsFolder.isEmpty() ? recordsdb::defaultRecordsFolder() : inv.recordsFolder,
                               performer);
}

int calibrateAuto(const Invocation &inv, Output &o)
{
    if (inv.serial.isEmpty())
        return o.fail(UsageError, QStringLiteral("calibrate auto needs the transmitter's --serial for its records"));
    int refused = UsageError;
    const auto runPlan = plan(inv, o, refused);
    if (!runPlan)
        return refused;
    auto made = makeInstruments(inv, o);
    if (!made)
        return UsageError;
    recordsdb::RecordDb db;
    int notOpened = 0;
    auto opened = runRecords(db, inv, o, notOpened);
    if (!opened)
        return notOpened;
    autocal::RunRecords &records = *opened;
    rtu::Link link;
    if (!openSession(link, inv, o))
        return LinkError;

    autocal::AutoCalibration run(link, *made->source, *made->meter);
    run.setEnvironment(made->environment.get());
    run.setStandardCheck([&](record::UsedInstrument &used) { return records.checkStandard(used, QDate::currentDate()); });
    run.setStandardTerms([&](const record::UsedInstrument &used) { return records.standardTerms(used, QDate::currentDate()); });
    reportProgress(run, o);
    QHash<int, qint64> numbers;   // stage -> record number
    QObject::connect(&run, &autocal::AutoCalibration::recordEnded, [&](const record::Record &r) {
        numbers[int(r.stage)] = records.store(r);
        progress(o, {{"event", "stored"}, {"stage", record::stageKey(r.stage)}, {"number", numbers[int(r.stage)]},
                     {"incomplete", r.incompleteReason}},
                 QStringLiteral("%1 stored as record %2%3").arg(record::stageKey(r.stage)).arg(numbers[int(r.stage)])
                     .arg(r.incompleteReason.isEmpty() ? QString() : QStringLiteral(" (incomplete: %1)").arg(r.incompleteReason)));
    });
    // Ctrl-C and SIGTERM end the run safely at its next wait.
    platform::TerminationSignal stop;
    QObject::connect(&stop, &platform::TerminationSignal::received, &run,
                     [&run] { run.abort(QStringLiteral("stopped by a signal")); });
    record::Header header;
    header.tag = inv.tag;
    header.serial = inv.serial;
    header.description = inv.description;
    header.technician = inv.name.isEmpty() ? qEnvironmentVariable("USER") : inv.name;
    const autocal::RunResult result = run.run(*runPlan, header);

    o.doc.insert("outcome", outcomeKey(result.outcome));
    o.doc.insert("adjusted", result.adjusted);
    o.doc.insert("notes", QJsonArray::fromStringList(result.notes));
    for (const QString &note : result.notes)
        o.text(QStringLiteral("note: ") + note);
    if (result.outcome == autocal::RunResult::Outcome::Passed || result.outcome == autocal::RunResult::Outcome::Failed) {
        QSettings settings;
        const QString pdf = records.writeCertificateDraft(numbers.value(int(record::Stage::AsFound)),
                                                          numbers.value(int(record::Stage::AsLeft)),
                                                          record::readIssuer(settings), 2);
        o.doc.insert("certificateDraft", pdf);
        o.text(pdf.isEmpty() ? QStringLiteral("no draft certificate: ") + records.error()
                             : QStringLiteral("draft certificate, awaiting approval: ") + pdf);
        o.text(QStringLiteral("as-left %1").arg(outcomeKey(result.outcome)));
        return exitOf(result);
    }
    const int status = exitOf(result);
    o.fail(status, QStringLiteral("%1: %2").arg(outcomeKey(result.outcome), result.reason));
    return status;
}

} // namespace cli
