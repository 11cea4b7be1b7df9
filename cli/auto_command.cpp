#include "auto_command.h"

#include "run_common.h"

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

// The calibrator, the meter and the optional environment instrument, or the reason they cannot be.
std::optional<Instruments> makeInstruments(const Invocation &inv, Output &o)
{
    Instruments made;
    made.source = instrumentOf(inv.source, inv.sourceModel, instruments::Role::Calibrator, "source", o);
    made.meter = made.source ? instrumentOf(inv.meter, inv.meterModel, instruments::Role::Meter, "meter", o) : nullptr;
    if (!made.meter)
        return std::nullopt;
    if (!inv.environment.isEmpty()
        && !(made.environment = instrumentOf(inv.environment, inv.environmentModel, instruments::Role::Environment,
                                             "environment", o)))
        return std::nullopt;
    return made;
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

int calibrateAuto(const Invocation &inv, Output &o)
{
    if (inv.serial.isEmpty())
        return o.fail(UsageError, QStringLiteral("calibrate auto needs the transmitter's --serial for its records"));
    int refused = UsageError;
    const auto runPlan = planOf(inv, o, refused);
    if (!runPlan)
        return refused;
    auto made = makeInstruments(inv, o);
    if (!made)
        return UsageError;
    int notOpened = 0;
    const auto store = openRunStore(inv, o, notOpened);
    if (!store)
        return notOpened;
    autocal::RunRecords &records = *store->records;
    rtu::Link link;
    if (!openSession(link, inv, o))
        return LinkError;

    autocal::AutoCalibration run(link, *made->source, *made->meter);
    run.setEnvironment(made->environment.get());
    checkStandardsIn(run, records);
    reportProgress(run, o);
    QHash<int, qint64> numbers;   // stage -> record number
    QObject::connect(&run, &autocal::AutoCalibration::recordEnded, [&](const record::Record &r) {
        numbers[int(r.stage)] = records.store(r);
        progress(o, storedEvent(r, numbers[int(r.stage)]), storedText(r, numbers[int(r.stage)]));
    });
    platform::TerminationSignal stop;
    abortOnTermination(stop, run);
    record::Header header;
    header.tag = inv.tag;
    header.serial = inv.serial;
    header.description = inv.description;
    header.technician = technicianOf(inv);
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
