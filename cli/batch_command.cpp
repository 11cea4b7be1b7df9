#include "batch_command.h"

#include "run_common.h"

#include "automation/batch_run.h"
#include "automation/channel_map.h"
#include "automation/run_records.h"
#include "instruments/instrument.h"
#include "link/link.h"
#include "records_commands.h"
#include "records_db/record_db.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QTimer>
#include <csignal>
#include <memory>

namespace cli {

const char kBatchHelp[] =
    "  calibrate batch --map FILE --source ADDRESS --meter ADDRESS --switch ADDRESS\n"
    "                  (--procedure FILE | --points LIST --tolerance X)\n"
    "                     a batch: every transmitter of the channel map FILE on its own\n"
    "                     line (--baud, --parity, --stop, --address apply to all), the\n"
    "                     calibrator set once per point for the units that share it, the\n"
    "                     loops scanned through the switch (a loop with a meter of its\n"
    "                     own, the map's \"meter\", read there); as found, adjusted where a\n"
    "                     point failed, as left, each unit's checks stored with a draft\n"
    "                     certificate. With --json every progress line names its unit.\n"
    "                     Exit 0: every unit passed as left; 1: any did not, or the batch\n"
    "                     was stopped; 3: an instrument ended the batch\n";

namespace {


// One progress line of one unit (0: the whole batch).
void progress(Output &o, int unit, QJsonObject event, const QString &text)
{
    if (o.json) {
        event.insert("unit", unit);
        o.out << QJsonDocument(event).toJson(QJsonDocument::Compact) << "\n";
    } else {
        o.out << (unit > 0 ? QStringLiteral("unit %1: ").arg(unit) : QString()) << text << "\n";
    }
    o.out.flush();
}

QString unitsText(const QVector<int> &units)
{
    QStringList list;
    for (int u : units)
        list << QString::number(u);
    return list.join(QLatin1Char(','));
}

void reportProgress(autocal::BatchRun &run, Output &o)
{
    QObject::connect(&run, &autocal::BatchRun::pointStarted,
                     [&o](int index, double signal, const QString &unit, const QVector<int> &units) {
                         for (int u : units)
                             progress(o, u, {{"event", "source"}, {"point", index + 1}, {"signal", signal}, {"unit of signal", unit}},
                                      QStringLiteral("point %1, sourcing %2 %3 (units %4)").arg(index + 1)
                                          .arg(signal, 0, 'f', 4).arg(unit, unitsText(units)));
                     });
    QObject::connect(&run, &autocal::BatchRun::pointRecorded, [&o](int unit, int index, const record::Point &p) {
        const double u = p.uncertainty ? record::statedUncertainty(p.uncertainty->expanded) : 0.0;   // as the certificate states it
        progress(o, unit, {{"event", "point"}, {"point", index + 1}, {"reference", p.reference}, {"reading", p.reading},
                           {"error", p.reading - p.reference}, {"currentMa", p.currentMa.value_or(0.0)}, {"expanded", u}},
                 QStringLiteral("point %1: reference %2, reads %3, error %4, U %5, loop %6 mA").arg(index + 1)
                     .arg(p.reference, 0, 'f', 3).arg(p.reading, 0, 'f', 3).arg(p.reading - p.reference, 0, 'f', 3)
                     .arg(u, 0, 'f', 3).arg(p.currentMa.value_or(0.0), 0, 'f', 4));
    });
    QObject::connect(&run, &autocal::BatchRun::adjustmentStep, [&o](const QString &step, const QVector<int> &units) {
        for (int u : units)
            progress(o, u, {{"event", "adjust"}, {"step", step}}, step);
    });
    QObject::connect(&run, &autocal::BatchRun::unitEnded, [&o](int unit, const QString &reason) {
        progress(o, unit, {{"event", "ended"}, {"reason", reason}}, QStringLiteral("ended: ") + reason);
    });
}

QString outcomeOf(const autocal::UnitOutcome &u)
{
    if (u.endedEarly)
        return QStringLiteral("ended");
    if (!u.asLeft)
        return QStringLiteral("not calibrated");
    return u.passed() ? QStringLiteral("passed") : QStringLiteral("failed");
}

} // namespace

int calibrateBatch(const Invocation &inv, Output &o)
{
    QString why;
    const auto map = autocal::readChannelMap(inv.mapFile, why);
    if (inv.mapFile.isEmpty())
        return o.fail(UsageError, QStringLiteral("calibrate batch needs --map FILE"));
    if (!map)
        return o.fail(FileError, why);
    int refused = UsageError;
    const auto plan = planOf(inv, o, refused);
    if (!plan)
        return refused;
    auto source = instrumentOf(inv.source, inv.sourceModel, instruments::Role::Calibrator, "source", o);
    auto meter = source ? instrumentOf(inv.meter, inv.meterModel, instruments::Role::Meter, "meter", o) : nullptr;
    auto routeSwitch = meter ? instrumentOf(inv.routeSwitch, inv.switchModel, instruments::Role::Switch, "switch", o)
                             : nullptr;
    // The room's ambient from its own instrument, for every unit, as a single run reads it.
    auto environment = routeSwitch && !inv.environment.isEmpty()
                           ? instrumentOf(inv.environment, inv.environmentModel, instruments::Role::Environment, "environment", o)
                           : nullptr;
    if (!routeSwitch || (!inv.environment.isEmpty() && !environment))
        return UsageError;
    int notOpened = 0;
    const auto store = openRunStore(inv, o, notOpened);
    if (!store)
        return notOpened;
    autocal::RunRecords &records = *store->records;

    // Each unit on its own line; one that cannot be opened is ended alone by the batch.
    std::vector<std::unique_ptr<rtu::Link>> links;
    QVector<autocal::BatchUnit> units;
    for (const autocal::MapUnit &m : map->units) {
        links.push_back(std::make_unique<rtu::Link>());
        rtu::SerialOptions line = inv.line;
        line.port = m.port;
        links.back()->setRetries(inv.retries);
        if (!links.back()->open(line))
            progress(o, m.unit, {{"event", "line"}, {"reason", links.back()->errorString()}},
                     QStringLiteral("cannot open %1: %2").arg(m.port, links.back()->errorString()));
        units << autocal::BatchUnit{m, links.back().get()};
    }

    autocal::BatchRun run(units, *source, *meter, *routeSwitch);
    run.setEnvironment(environment.get());
    checkStandardsIn(run, records);
    reportProgress(run, o);
    QHash<int, QHash<int, qint64>> numbers;   // unit -> stage -> record number
    QObject::connect(&run, &autocal::BatchRun::recordEnded, [&](int unit, const record::Record &r) {
        const qint64 number = records.store(r);
        numbers[unit][int(r.stage)] = number;
        progress(o, unit, storedEvent(r, number), storedText(r, number));
    });
    // Every unit ends safely at the batch's next wait.
    platform::TerminationSignal stop;
    abortOnTermination(stop, run);
    record::Header header;
    header.description = inv.description;
    header.technician = technicianOf(inv);
    const autocal::BatchResult result = run.run(*plan, header);

    QSettings settings;
    QJsonArray summary;
    bool allPassed = !result.units.isEmpty();
    for (const autocal::UnitOutcome &u : result.units) {
        QJsonObject entry{{"unit", u.unit}, {"serial", u.serial}, {"outcome", outcomeOf(u)}, {"adjusted", u.adjusted}};
        if (!u.reason.isEmpty())
            entry.insert("reason", u.reason);
        const qint64 found = numbers[u.unit].value(int(record::Stage::AsFound));
        const qint64 left = numbers[u.unit].value(int(record::Stage::AsLeft));
        QString line = QStringLiteral("unit %1 (%2): %3").arg(u.unit).arg(u.serial, outcomeOf(u));
        // A draft certificate for the units whose two checks are whole.
        if (!u.endedEarly && u.asFound && u.asLeft && found > 0 && left > 0) {
            const QString pdf = records.writeCertificateDraft(found, left, record::readIssuer(settings), 2);
            entry.insert("certificateDraft", pdf);
            line += pdf.isEmpty() ? QStringLiteral(", no draft certificate: ") + records.error()
                                  : QStringLiteral(", draft certificate ") + pdf;
        }
        if (!u.reason.isEmpty())
            line += QStringLiteral(" (%1)").arg(u.reason);
        o.text(line);
        summary.append(entry);
        allPassed = allPassed && u.passed();
    }
    o.doc.insert("units", summary);
    o.doc.insert("notes", QJsonArray::fromStringList(result.notes));
    for (const QString &note : result.notes)
        o.text(QStringLiteral("note: ") + note);
    if (!result.reason.isEmpty()) {
        const bool stopped = result.reason == QLatin1String(kStoppedBySignal);
        return o.fail(stopped ? Different : LinkError, QStringLiteral("the batch ended: %1").arg(result.reason));
    }
    return allPassed ? Success : Different;
}

} // namespace cli
