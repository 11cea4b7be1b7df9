// A batch's checks against the simulated batch laboratory: several
// transmitters on lines of their own at the pace of real lines, the
// calibrator, the meter and the switch on loopback TCP. Each unit's points
// must be its own (its errors, its loop through its own meter channel), the
// source set once per point where it is shared, and a unit or the batch that
// fails is ended as it should be.
#include "shown_texts.h"
#include "tabs/batch_texts.h"
#include "records_fixture.h"
#include "automation/batch_run.h"
#include "instruments/instrument.h"
#include "batch_bench.h"
#include "lab_bench.h"
#include "link/link.h"
#include "link/side_by_side.h"
#include "model.h"
#include "scpi_server.h"
#include "tabs/batch_cells.h"
#include "tabs/batch_tab.h"
#include "units.h"
#include "virtual_line.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

autocal::RunPlan quickPlan(QVector<double> points = {0.0, 50.0, 100.0})
{
    autocal::RunPlan p;
    p.name = QStringLiteral("batch");
    p.points = points;
    p.tolerance.value = 0.5;
    p.settling.samples = 3;
    p.settling.intervalMs = 150;
    p.settling.band = 0.2;
    p.settling.bandMa = 0.004;
    p.settling.timeoutMs = 20000;
    return p;
}

// What unit k's input stage makes of the point: its error in degC, from its gain
// and offset through the sensor's sensitivity there.
double expectedError(const sim::UnitErrors &e, double signal, double sensitivity)
{
    return ((e.gain - 1.0) * signal + e.offset) / sensitivity;
}

// The converter points (holding 15..18) of the stored image.
QVector<uint16_t> storedInputPoints(sim::Simulator &s)
{
    const auto stored = s.storedImage();
    return {stored.at(15), stored.at(16), stored.at(17), stored.at(18)};
}

// Three units of the batch laboratory for tcal-cli: a records folder with the
// laboratory's standards registered, and the channel map written there.
struct CliBatch {
    batchlab::BatchBench bench{3, sim::UnitInput::Thermocouple, false};
    QTemporaryDir records;
    QString map;
    QStringList signing;   // --person and --passphrase-file

    bool ready()
    {
        if (!bench.ready || !records.isValid())
            return false;
        {
            recordsdb::RecordDb db;
            if (!db.open(recordsdb::sqliteIn(records.path())))
                return false;
            recordsdb::StandardsRegister standards(db);
            signing = recordsfixture::signingArguments(db);
            const QDate due = QDate::currentDate().addYears(1);
            if (!standards.save(lab::standard(lab::kSourceSerial, "Generic SCPI calibrator", due))
                || !standards.save(lab::standard(lab::kMeterSerial, "Generic SCPI meter", due))
                || !standards.save(lab::standard("TH-0001", "Generic SCPI thermohygrometer", due)))
                return false;
        }
        autocal::ChannelMap channels;
        for (const autocal::BatchUnit &b : bench.batch)
            channels.units << b.map;
        QFile file(records.filePath("map.json"));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QJsonDocument(autocal::channelMapToJson(channels)).toJson());
        map = file.fileName();
        return true;
    }
    QString at(sim::Instrument i) const { return QStringLiteral("tcp:127.0.0.1:%1").arg(bench.lab.port(i)); }
    // A batch at 0 and 100 degC through the laboratory's instruments.
    QStringList calibrate() const
    {
        return QStringList{"calibrate", "batch", "--map", map, "--source", at(sim::Instrument::Source), "--meter",
                at(sim::Instrument::Meter), "--switch", at(sim::Instrument::Switch), "--points", "0,100",
                "--tolerance", "0.5", "--records", records.path()} + signing;
    }
};

} // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT
private slots:
    void sharedSourceIsSetOncePerPointAndEachUnitGetsItsOwnPoints();
    void resistanceGoesToOneInputAtATime();
    void aDeadLineEndsItsUnitAlone();
    void faultedUnitsEndAloneAndTheRestAreCalibrated();
    void anAbortEndsEveryUnitSafely();
    void failingUnitsAreAdjustedTogetherAndPassAsLeft();
    void aUnitLostInTheAdjustmentStoresNothingAndEndsAlone();
    void commandLineCalibratesTheBatchAndNamesEachUnit();
    void commandLineFailsABatchWithASilentUnitAndNamesIt();
    void everyFaultAtEveryAdjustmentStepEndsOnlyItsUnit_data();
    void everyFaultAtEveryAdjustmentStepEndsOnlyItsUnit();
    void aPlanTheUnitsCannotTakeSourcesNothing();
    void theBatchViewShowsEachPointAndAbortsSafely();
    void stepsOnTwoLinksRunSideBySide();
    void aLoopWithAMeterOfItsOwnIsReadThere_data();
    void aLoopWithAMeterOfItsOwnIsReadThere();
};

void TestBatchRun::sharedSourceIsSetOncePerPointAndEachUnitGetsItsOwnPoints()
{
    batchlab::BatchBench bench(3, sim::UnitInput::Thermocouple);
    QVERIFY(bench.ready);
    // Unit 2's output stage is far off: a loop read through another unit's channel would show it.
    sim::UnitErrors e2 = bench.units.errors(2);
    e2.output = {0.312, 0.275};
    bench.units.setErrors(2, e2);
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    // The loop current is judged by its own tolerance and the plan's rule, as in a single unit's run.
    autocal::RunPlan plan = quickPlan();
    plan.toleranceMa = 0.08;
    plan.decisionRule = {metrology::DecisionRule::Kind::Simple, 0.0};
    const autocal::BatchResult result = bench.check(run, plan);
    QVERIFY2(result.ran && result.reason.isEmpty(), qPrintable(result.reason));
    QCOMPARE(result.sourceSettings, 3);   // once per point for all three
    QCOMPARE(result.units.size(), 3);
    for (const autocal::UnitOutcome &u : result.units) {
        QVERIFY2(!u.endedEarly, qPrintable(u.reason));
        QVERIFY(u.asFound && u.asFound->incompleteReason.isEmpty());
        QCOMPARE(u.asFound->header.serial, QStringLiteral("SN-%1").arg(u.unit));
        QCOMPARE(u.asFound->header.currentToleranceMa, std::optional<double>(0.08));
        QCOMPARE(u.asFound->header.decisionRule.kind, metrology::DecisionRule::Kind::Simple);
        QCOMPARE(u.asFound->header.ambientSource, QStringLiteral("transmitter"));
        const sim::UnitErrors e = bench.units.errors(u.unit);
        for (const record::Point &p : u.asFound->points) {
            QCOMPARE(p.status, record::Point::Status::Recorded);
            QVERIFY(p.uncertainty && p.uncertainty->expanded > 0 && p.uncertainty->currentExpandedMa);
            // Both columns with their own k and budget; the thermocouple's terminals in the temperature's.
            QVERIFY(p.uncertainty->currentCoverageFactor >= 1.9);
            QVERIFY(!p.uncertainty->currentBudget.isEmpty());
            QVERIFY(std::any_of(p.uncertainty->budget.begin(), p.uncertainty->budget.end(),
                                [](const record::PointUncertainty::Line &l) { return l.name == QLatin1String("thermal EMF"); }));
            // Type K near the point: about 0.04 mV/degC; the signal is E(t) - E(room).
            const double signal = (p.reference - 23.5) * 0.0405;
            const double want = expectedError(e, signal, p.reference < 30 ? 0.0397 : 0.0410);
            QVERIFY2(std::fabs(p.reading - p.reference - want) < 0.2,
                     qPrintable(QStringLiteral("unit %1 at %2: error %3, its own %4")
                                    .arg(u.unit).arg(p.reference).arg(p.reading - p.reference).arg(want)));
            QVERIFY2(std::fabs(p.currentMa.value_or(0.0) - bench.loopFor(u.unit, p.reading)) < 0.01,
                     qPrintable(QStringLiteral("unit %1: %2 mA read, its loop %3 mA")
                                    .arg(u.unit).arg(p.currentMa.value_or(0.0)).arg(bench.loopFor(u.unit, p.reading))));
        }
    }
    QVERIFY(bench.lab.routeSwitch()->closed().empty());
    QVERIFY(!bench.lab.sourceState().outputOn);
}

void TestBatchRun::resistanceGoesToOneInputAtATime()
{
    batchlab::BatchBench bench(2, sim::UnitInput::Rtd);
    QVERIFY(bench.ready);
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    QVector<QVector<int>> groups;
    connect(&run, &autocal::BatchRun::pointStarted, this,
            [&](int, double, const QString &, const QVector<int> &units) { groups << units; });
    const autocal::BatchResult result = bench.check(run, quickPlan({0.0, 100.0}));
    QVERIFY2(result.ran && result.reason.isEmpty(), qPrintable(result.reason));
    QCOMPARE(result.sourceSettings, 4);   // each point once per unit
    QCOMPARE(groups, (QVector<QVector<int>>{{1}, {2}, {1}, {2}}));
    for (const autocal::UnitOutcome &u : result.units) {
        QVERIFY2(!u.endedEarly, qPrintable(u.reason));
        const sim::UnitErrors e = bench.units.errors(u.unit);
        for (const record::Point &p : u.asFound->points) {
            const double ohms = 100.0 + 0.3908 * p.reference;   // PT100 near 0..100 degC
            const double want = expectedError(e, ohms, 0.388);
            QVERIFY2(std::fabs(p.reading - p.reference - want) < 0.2,
                     qPrintable(QStringLiteral("unit %1 at %2: error %3, its own %4")
                                    .arg(u.unit).arg(p.reference).arg(p.reading - p.reference).arg(want)));
        }
    }
    // Adjusted: each input alone behind its own channel (100 and 200 ohm each), then as left.
    QVector<QPair<QString, QVector<int>>> steps;
    connect(&run, &autocal::BatchRun::adjustmentStep, this,
            [&](const QString &step, const QVector<int> &units) { steps << qMakePair(step, units); });
    autocal::RunPlan plan = quickPlan({0.0, 100.0});
    plan.adjust = autocal::Adjust::Always;
    const autocal::BatchResult adjusted = run.run(plan, record::Header{});
    QVERIFY2(adjusted.reason.isEmpty(), qPrintable(adjusted.reason));
    QCOMPARE(adjusted.sourceSettings, 4 + 2 * 2 + 4);
    QCOMPARE(steps.at(0), qMakePair(QStringLiteral("input point 100 ohm"), QVector<int>{1}));
    QCOMPARE(steps.at(1), qMakePair(QStringLiteral("input point 200 ohm"), QVector<int>{1}));
    QCOMPARE(steps.at(3), qMakePair(QStringLiteral("input point 100 ohm"), QVector<int>{2}));
    for (const autocal::UnitOutcome &u : adjusted.units) {
        QVERIFY2(u.passed() && u.adjusted, qPrintable(QStringLiteral("unit %1: %2").arg(u.unit).arg(u.reason)));
        for (const record::Point &p : u.asLeft->points)
            QVERIFY2(std::fabs(p.reading - p.reference) <= 0.15, qPrintable(QString::number(p.reading - p.reference)));
    }
}

void TestBatchRun::aDeadLineEndsItsUnitAlone()
{
    batchlab::BatchBench bench(3, sim::UnitInput::Thermocouple);
    QVERIFY(bench.ready);
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    QStringList ended;
    connect(&run, &autocal::BatchRun::pointRecorded, this, [&](int unit, int index, const record::Point &) {
        if (unit == 2 && index == 0)
            bench.units.unit(2).setSilent(true);
    });
    connect(&run, &autocal::BatchRun::unitEnded, this,
            [&](int unit, const QString &why) { ended << QStringLiteral("%1: %2").arg(unit).arg(why); });
    const autocal::BatchResult result = bench.check(run, quickPlan());
    QVERIFY2(result.reason.isEmpty(), qPrintable(result.reason));
    QCOMPARE(ended.size(), 1);
    QVERIFY2(ended.first().startsWith("2: it did not answer"), qPrintable(ended.first()));
    const autocal::UnitOutcome &dead = result.units.at(1);
    QVERIFY(dead.endedEarly);
    QCOMPARE(dead.cause, autocal::RunResult::Cause::Link);
    QVERIFY(dead.asFound && !dead.asFound->incompleteReason.isEmpty());
    QCOMPARE(dead.asFound->points.at(0).status, record::Point::Status::Recorded);
    QCOMPARE(dead.asFound->points.at(1).status, record::Point::Status::Pending);
    for (int i : {0, 2}) {
        QVERIFY2(!result.units.at(i).endedEarly, qPrintable(result.units.at(i).reason));
        QVERIFY(result.units.at(i).asFound->incompleteReason.isEmpty());
        QCOMPARE(result.units.at(i).asFound->points.at(2).status, record::Point::Status::Recorded);
    }
    // The others' links are free again: nothing of the batch still holds them.
    QVERIFY(!bench.links[0]->operationRunning());
}

// One unit's line goes dead in the as-found check, another is power-cycled in
// the adjustment, the switch reports an error while a third's loop is on the
// meter: those three end alone and are named; the fourth is calibrated.
void TestBatchRun::faultedUnitsEndAloneAndTheRestAreCalibrated()
{
    batchlab::BatchBench bench(4, sim::UnitInput::Thermocouple);
    QVERIFY(bench.ready);
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    QHash<int, QVector<uint16_t>> before;
    for (int k = 1; k <= 4; ++k)
        before[k] = storedInputPoints(bench.units.unit(k));
    bool switchFaulted = false;
    connect(&run, &autocal::BatchRun::pointRecorded, this, [&](int unit, int index, const record::Point &) {
        if (unit == 2 && index == 0)
            bench.units.unit(2).setSilent(true);
        // The next switch command is unit 1's meter channel at the next sample of point 2.
        if (unit == 4 && index == 0 && !switchFaulted) {
            switchFaulted = true;
            QTimer::singleShot(0, this, [&] { bench.lab.queueError(sim::Instrument::Switch, -310); });
        }
    });
    connect(&run, &autocal::BatchRun::adjustmentStep, this, [&](const QString &step, const QVector<int> &) {
        if (step == QLatin1String("input point 0 mV"))
            bench.units.unit(3).powerCycle();
    });
    QStringList ended;
    connect(&run, &autocal::BatchRun::unitEnded, this,
            [&](int unit, const QString &why) { ended << QStringLiteral("%1: %2").arg(unit).arg(why); });
    autocal::RunPlan plan = quickPlan({0.0, 100.0});
    plan.adjust = autocal::Adjust::Always;
    const autocal::BatchResult result = run.run(plan, record::Header{});
    QVERIFY2(result.reason.isEmpty(), qPrintable(result.reason));
    QCOMPARE(ended.size(), 3);
    QVERIFY2(ended.join("; ").contains("-310"), qPrintable(ended.join("; ")));
    int calibrated = 0;
    for (const autocal::UnitOutcome &u : result.units) {
        if (u.endedEarly) {
            // Named, and nothing half stored: an ended unit keeps its points or stored a whole pair.
            QVERIFY(!u.reason.isEmpty());
            QVERIFY(u.asFound);
            if (!u.adjusted)
                QCOMPARE(storedInputPoints(bench.units.unit(u.unit)), before[u.unit]);
            continue;
        }
        QVERIFY2(u.passed() && u.adjusted, qPrintable(QStringLiteral("unit %1").arg(u.unit)));
        ++calibrated;
    }
    QCOMPARE(calibrated, 1);
    QCOMPARE(result.units.at(1).cause, autocal::RunResult::Cause::Link);
    QVERIFY2(result.units.at(2).endedEarly && result.units.at(2).asLeft
                 && result.units.at(2).asLeft->incompleteReason.startsWith("the adjustment ended early"),
             qPrintable(result.units.at(2).reason));
    QVERIFY(!bench.lab.sourceState().outputOn);
    QVERIFY(bench.lab.routeSwitch()->closed().empty());
    for (int k : {1, 3, 4})
        QCOMPARE(bench.units.unit(k).workMode(), 0);   // every reachable unit back in normal mode
}

void TestBatchRun::anAbortEndsEveryUnitSafely()
{
    batchlab::BatchBench bench(2, sim::UnitInput::Thermocouple);
    QVERIFY(bench.ready);
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    connect(&run, &autocal::BatchRun::adjustmentStep, this, [&](const QString &step, const QVector<int> &) {
        if (step == QLatin1String("input point 0 mV"))
            QTimer::singleShot(200, &run, [&] { run.abort(QStringLiteral("stopped by the operator")); });
    });
    const QVector<uint16_t> before = storedInputPoints(bench.units.unit(1));
    autocal::RunPlan plan = quickPlan({0.0, 100.0});
    plan.adjust = autocal::Adjust::Always;
    const autocal::BatchResult result = run.run(plan, record::Header{});
    QCOMPARE(result.reason, QStringLiteral("stopped by the operator"));
    QVERIFY(!bench.lab.sourceState().outputOn);
    QVERIFY(bench.lab.routeSwitch()->closed().empty());
    for (const autocal::UnitOutcome &u : result.units) {
        QCOMPARE(u.cause, autocal::RunResult::Cause::Stopped);
        QVERIFY(u.asLeft && u.asLeft->incompleteReason.contains("stopped by the operator"));
        QVERIFY(!u.adjusted);
        QCOMPARE(bench.units.unit(u.unit).workMode(), 0);
    }
    QCOMPARE(storedInputPoints(bench.units.unit(1)), before);
}

void TestBatchRun::failingUnitsAreAdjustedTogetherAndPassAsLeft()
{
    batchlab::BatchBench bench(3, sim::UnitInput::Thermocouple);
    QVERIFY(bench.ready);
    sim::UnitErrors e2 = bench.units.errors(2);
    e2.output = {0.112, 0.075};   // an output far off as well
    bench.units.setErrors(2, e2);
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    QVector<QPair<QString, QVector<int>>> steps;
    connect(&run, &autocal::BatchRun::adjustmentStep, this,
            [&](const QString &step, const QVector<int> &units) { steps << qMakePair(step, units); });
    autocal::RunPlan plan = quickPlan({0.0, 100.0});
    const autocal::BatchResult result = run.run(plan, record::Header{});
    QVERIFY2(result.reason.isEmpty(), qPrintable(result.reason));
    QVector<int> failing;
    for (const autocal::UnitOutcome &u : result.units) {
        QVERIFY2(!u.endedEarly, qPrintable(u.reason));
        if (record::verdict(*u.asFound) != record::Verdict::Pass)
            failing << u.unit;
        QCOMPARE(u.adjusted, failing.contains(u.unit));
        QVERIFY2(u.passed(), qPrintable(QStringLiteral("unit %1 as left: %2").arg(u.unit).arg(int(record::verdict(*u.asLeft)))));
        for (const record::Point &p : u.asLeft->points)   // the output corrected too
            QVERIFY2(std::fabs(p.currentMa.value_or(0) - (4.0 + 16.0 * p.reading / 1000.0)) < 0.01,
                     qPrintable(QStringLiteral("unit %1: %2 mA at %3").arg(u.unit).arg(p.currentMa.value_or(0)).arg(p.reading)));
    }
    QVERIFY2(failing.size() >= 2, "the simulated units' errors leave too little to adjust");
    // 50 mV and 0 mV sourced once each for every failing unit at once.
    QCOMPARE(steps.at(0), qMakePair(QStringLiteral("input point 50 mV"), failing));
    QCOMPARE(steps.at(1), qMakePair(QStringLiteral("input point 0 mV"), failing));
    QCOMPARE(result.sourceSettings, 2 + 2 + 2);
    QVERIFY(!bench.lab.sourceState().outputOn);
    QVERIFY(bench.lab.routeSwitch()->closed().empty());
}

void TestBatchRun::aUnitLostInTheAdjustmentStoresNothingAndEndsAlone()
{
    batchlab::BatchBench bench(3, sim::UnitInput::Thermocouple);
    QVERIFY(bench.ready);
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    QHash<int, QVector<uint16_t>> before;
    for (int k = 1; k <= 3; ++k)
        before[k] = storedInputPoints(bench.units.unit(k));
    // Unit 2's line goes dead once the 50 mV point is captured, before the 0 mV one.
    connect(&run, &autocal::BatchRun::adjustmentStep, this, [&](const QString &step, const QVector<int> &) {
        if (step == QLatin1String("input point 0 mV"))
            bench.units.unit(2).setSilent(true);
    });
    autocal::RunPlan plan = quickPlan({0.0, 100.0});
    plan.adjust = autocal::Adjust::Always;
    const autocal::BatchResult result = run.run(plan, record::Header{});
    QVERIFY2(result.reason.isEmpty(), qPrintable(result.reason));
    const autocal::UnitOutcome &lost = result.units.at(1);
    QVERIFY(lost.endedEarly && !lost.adjusted);
    QCOMPARE(lost.cause, autocal::RunResult::Cause::Link);
    QVERIFY(lost.asLeft && lost.asLeft->incompleteReason.startsWith("the adjustment ended early"));
    QCOMPARE(storedInputPoints(bench.units.unit(2)), before[2]);   // nothing half stored
    bench.units.unit(2).setSilent(false);
    bench.units.unit(2).powerCycle();
    QCOMPARE(storedInputPoints(bench.units.unit(2)), before[2]);
    for (int i : {0, 2}) {
        const autocal::UnitOutcome &u = result.units.at(i);
        QVERIFY2(u.passed() && u.adjusted, qPrintable(u.reason));
        QVERIFY(storedInputPoints(bench.units.unit(u.unit)) != before[u.unit]);
        QCOMPARE(bench.units.unit(u.unit).workMode(), 0);
    }
}

// tcal-cli calibrate batch end to end: every line names its unit, the summary
// each unit's outcome and certificate, the exit status whether all passed;
// every unit's ambient is the room's instrument's.
void TestBatchRun::commandLineCalibratesTheBatchAndNamesEachUnit()
{
    CliBatch rig;
    QVERIFY(rig.ready());
    QProcess cli;
    cli.start(QStringLiteral(TCAL_CLI_PATH), rig.calibrate() << "--json" << "--environment" << rig.at(sim::Instrument::Environment));
    QVERIFY(cli.waitForFinished(300000));
    const QList<QByteArray> lines = cli.readAllStandardOutput().trimmed().split('\n');
    QVERIFY2(cli.exitCode() == 0, qPrintable(lines.last() + cli.readAllStandardError()));
    QVERIFY(lines.size() > 10);
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QJsonObject line = QJsonDocument::fromJson(lines.at(i)).object();
        QVERIFY2(line.value("unit").toInt() >= 1 && line.value("unit").toInt() <= 3, lines.at(i).constData());
    }
    const QJsonArray units = QJsonDocument::fromJson(lines.last()).object().value("units").toArray();
    QCOMPARE(units.size(), 3);
    for (const QJsonValue &u : units) {
        QCOMPARE(u.toObject().value("outcome").toString(), QStringLiteral("passed"));
        QVERIFY(QFile::exists(u.toObject().value("certificateDraft").toString()));
    }
    {
        recordsdb::RecordDb db;
        QVERIFY(db.open(recordsdb::sqliteIn(rig.records.path()), recordsdb::RecordDb::Mode::ExistingOnly));
        const auto stored = db.list();
        QVERIFY(stored && stored->size() == 6);
        for (const recordsdb::StoredRecord &s : *stored)
            QVERIFY2(s.record.header.ambientSource.startsWith("instrument Generic SCPI thermohygrometer TH-0001"),
                     qPrintable(s.record.header.ambientSource));
    }

    // Refused before anything is opened: the ports come from the map, the map must be whole.
    QFile broken(rig.records.filePath("broken.json"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(R"({"units": [{"unit": 1, "port": "/dev/null", "tag": "T", "serial": "S", "input isolated": true}]})");
    broken.close();
    const QStringList instruments = QStringList{"--source", rig.at(sim::Instrument::Source), "--meter", rig.at(sim::Instrument::Meter),
                                  "--switch", rig.at(sim::Instrument::Switch), "--points", "0", "--tolerance", "0.5",
                                  "--records", rig.records.path()} + rig.signing;
    const QString map = rig.map;
    const QList<QPair<QStringList, int>> refused{
        {QStringList{"calibrate", "batch", "--port", "/dev/ttyUSB0", "--map", map} + instruments, 2},
        {QStringList{"calibrate", "batch"} + instruments, 2},
        {QStringList{"calibrate", "batch", "--map", broken.fileName()} + instruments, 4},   // no meter for unit 1
        {QStringList{"calibrate", "batch", "--map", map, "--switch-model", "Generic SCPI meter"} + instruments, 2},
        {QStringList{"calibrate", "batch", "--map", map, "--environment", rig.at(sim::Instrument::Environment),
                     "--environment-model", "Generic SCPI meter"} + instruments, 2},
    };
    for (const auto &[arguments, status] : refused) {
        cli.start(QStringLiteral(TCAL_CLI_PATH), arguments);
        QVERIFY(cli.waitForFinished(30000));
        QVERIFY2(cli.exitCode() == status, qPrintable(arguments.join(' ') + ": " + cli.readAllStandardError()));
    }
}

// A unit that stays silent fails the batch's exit status, and the summary names it.
void TestBatchRun::commandLineFailsABatchWithASilentUnitAndNamesIt()
{
    CliBatch rig;
    QVERIFY(rig.ready());
    rig.bench.units.unit(3).setSilent(true);
    QProcess cli;
    cli.start(QStringLiteral(TCAL_CLI_PATH), rig.calibrate());
    QVERIFY(cli.waitForFinished(300000));
    const QString text = QString::fromUtf8(cli.readAllStandardOutput());
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(text.contains(QStringLiteral("unit 3 (SN-3): ended")) && text.contains(QStringLiteral("unit 1 (SN-1): passed")),
             qPrintable(text));
}

// Unit 2's line goes dead, or it is power-cycled, at each step of the adjustment
// in turn; every run must end with unit 1 calibrated, the source off and every
// route open, and unit 2 holding either its old input points or a whole new
// pair (as its outcome says), in normal mode wherever it can still be reached.
//
// Each fault at each step is a row of its own, so that the runs go side by
// side; every row prints its run, and the suite's shard check sees that no row
// is left out.
void TestBatchRun::everyFaultAtEveryAdjustmentStepEndsOnlyItsUnit_data()
{
    const QStringList steps{"input point 50 mV", "input point 0 mV", "storing the input points", "output at 4 mA",
                            "output at 20 mA"};
    const QStringList faults{"dead line", "power cycle"};
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("at");
    for (const QString &fault : faults)
        for (const QString &at : steps)
            QTest::newRow(qPrintable(fault + " at " + at)) << fault << at;
}

void TestBatchRun::everyFaultAtEveryAdjustmentStepEndsOnlyItsUnit()
{
    QFETCH(QString, fault);
    QFETCH(QString, at);
    batchlab::BatchBench bench(2, sim::UnitInput::Thermocouple);
    QVERIFY(bench.ready);
    const QVector<uint16_t> before = storedInputPoints(bench.units.unit(2));
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    connect(&run, &autocal::BatchRun::adjustmentStep, this, [&](const QString &step, const QVector<int> &units) {
        if (step == at && units.contains(2)) {
            if (fault == QLatin1String("dead line"))
                bench.units.unit(2).setSilent(true);
            else
                bench.units.unit(2).powerCycle();
        }
    });
    autocal::RunPlan plan = quickPlan({50.0});
    plan.adjust = autocal::Adjust::Always;
    plan.settling.samples = 2;
    plan.settling.intervalMs = 100;
    const autocal::BatchResult result = run.run(plan, record::Header{});
    const autocal::UnitOutcome &one = result.units.at(0), &two = result.units.at(1);
    const QVector<uint16_t> after = storedInputPoints(bench.units.unit(2));
    QStringList wrong;
    if (!result.reason.isEmpty())
        wrong << "the batch ended: " + result.reason;
    if (!one.passed() || !one.adjusted)
        wrong << "unit 1 not calibrated: " + one.reason;
    if (bench.lab.sourceState().outputOn || !bench.lab.routeSwitch()->closed().empty())
        wrong << "source on or a route closed";
    if (two.adjusted != (after != before))
        wrong << "unit 2's stored points do not match its outcome";
    if (after != before && (after.at(0) == before.at(0) && after.at(1) == before.at(1)))
        wrong << "unit 2 holds half a new pair";
    if (!two.passed() && (!two.endedEarly || two.reason.isEmpty()))
        wrong << "unit 2 failed without being ended and named";
    if (fault == QLatin1String("power cycle") && bench.units.unit(2).workMode() != 0)
        wrong << "unit 2 left out of normal mode";
    qInfo("batch adjustment explorer: %s at \"%s\" of unit 2: %s", qPrintable(fault), qPrintable(at),
          wrong.isEmpty() ? "held" : "BROKE");
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join("; ")));
}

// Unit 1's loop through the switch, unit 2's on a meter of its own (its output
// far off, so a loop read on the wrong meter shows): each current and its budget
// come from the unit's own meter; one unreachable or falling silent ends its unit alone.
void TestBatchRun::aLoopWithAMeterOfItsOwnIsReadThere_data()
{
    QTest::addColumn<QString>("fault");
    for (const char *fault : {"", "closed port", "falls silent"})
        QTest::newRow(*fault ? fault : "answering") << QString::fromLatin1(fault);
}

void TestBatchRun::aLoopWithAMeterOfItsOwnIsReadThere()
{
    QFETCH(QString, fault);
    batchlab::BatchBench bench(2, sim::UnitInput::Thermocouple, true, true);
    QVERIFY(bench.ready);
    bench.units.setErrors(2, {1.0, 0.0, {0.312, 0.275}});
    QTcpServer gone;   // a port nothing answers on once closed
    QVERIFY(gone.listen(QHostAddress::LocalHost));
    const int port = fault == QLatin1String("closed port") ? gone.serverPort() : bench.lab.unitMeterPort(2);
    gone.close();
    bench.batch[1].map.meterChannel.clear();
    bench.batch[1].map.meter = QStringLiteral("tcp:127.0.0.1:%1").arg(port);
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    run.setStandardTerms([](const record::UsedInstrument &used) {   // a large U for unit 2's meter alone
        return QMap<QString, metrology::StandardCalibration>{{"mA", {used.serial == "SM-U2" ? 0.06 : 0.0, 2.0}}};
    });
    connect(&run, &autocal::BatchRun::pointRecorded, this, [&](int unit) {
        if (unit == 2 && fault == QLatin1String("falls silent"))
            bench.lab.unitMeter(2)->setSilent(true);
    });
    autocal::RunPlan plan = quickPlan({0.0, 100.0});
    plan.adjust = autocal::Adjust::Always;
    plan.toleranceMa = 0.2;   // wide enough for that U
    const autocal::BatchResult result = run.run(plan, record::Header{});
    QVERIFY2(result.reason.isEmpty() && result.units.at(0).passed(), qPrintable(result.units.at(0).reason));
    const autocal::UnitOutcome &two = result.units.at(1);
    QVERIFY(bench.lab.routeSwitch()->closed().empty() && two.passed() == fault.isEmpty());
    if (!fault.isEmpty()) {
        QVERIFY2(two.cause == autocal::RunResult::Cause::Instrument && two.reason.startsWith("its own meter"),
                 qPrintable(two.reason));
        QCOMPARE(bench.units.unit(2).workMode(), 0);
        return;
    }
    for (const autocal::UnitOutcome &u : result.units) {
        QCOMPARE(u.asLeft->instruments.at(1).serial, u.unit == 2 ? QStringLiteral("SM-U2") : QStringLiteral("SM-0001"));
        for (const record::Point &p : u.asLeft->points) {   // loopFor() knows the image as left
            const double off = p.currentMa.value_or(0.0) - bench.loopFor(u.unit, p.reading);
            QVERIFY2(std::fabs(off) < 0.01, qPrintable(QStringLiteral("unit %1: %2 mA off its loop").arg(u.unit).arg(off)));
            QVERIFY((u.unit == 2) == (p.uncertainty->currentExpandedMa.value_or(0.0) > 0.055));
        }
    }
}

QTEST_MAIN(TestBatchRun)
// The plan is checked against each unit's own range, as a single run checks
// it; independent repeats are run, each settling from away.
void TestBatchRun::aPlanTheUnitsCannotTakeSourcesNothing()
{
    batchlab::BatchBench bench(2, sim::UnitInput::Thermocouple);
    QVERIFY(bench.ready);
    struct Case {
        const char *name;
        autocal::RunPlan plan;
        const char *reason;
        bool perUnit;
    };
    autocal::RunPlan outside = quickPlan({0.0, 5000.0});
    outside.percent = false;
    autocal::RunPlan wide = quickPlan({0.0, 100.0});
    wide.tolerance.value = 5000.0;
    const Case cases[] = {{"a point outside the range", outside, "outside the transmitter's range", true},
                          {"a tolerance wider than the span", wide, "wider than the span", true}};
    int tried = 0, broke = 0;
    for (const Case &c : cases) {
        ++tried;
        autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
        const autocal::BatchResult result = bench.check(run, c.plan);
        bool ok = !result.ran && result.sourceSettings == 0 && !bench.lab.sourceState().outputOn;
        if (c.perUnit) {
            ok = ok && result.units.size() == 2;
            for (const autocal::UnitOutcome &u : result.units)
                ok = ok && u.endedEarly && u.reason.contains(QLatin1String(c.reason)) && !u.asFound;
        } else {
            ok = ok && result.reason.contains(QLatin1String(c.reason));
        }
        if (!ok) {
            ++broke;
            qWarning("%s: ran %d, reason '%s', unit 1 '%s'", c.name, int(result.ran), qPrintable(result.reason),
                     result.units.isEmpty() ? "" : qPrintable(result.units.first().reason));
        }
    }
    qInfo("plans refused: %d tried, %d broke", tried, broke);
    QCOMPARE(broke, 0);

    // Two repeats a point: the source set for the point, away, and the point again.
    autocal::RunPlan repeated = quickPlan({0.0, 100.0});
    repeated.repeats = 2;
    autocal::BatchRun run(bench.batch, *bench.source, *bench.meter, *bench.routeSwitch);
    const autocal::BatchResult result = bench.check(run, repeated);
    QVERIFY2(result.ran && result.reason.isEmpty(), qPrintable(result.reason));
    QVERIFY(result.sourceSettings >= 6);
    for (const autocal::UnitOutcome &u : result.units)
        QVERIFY2(!u.endedEarly && u.asFound && u.asFound->incompleteReason.isEmpty(), qPrintable(u.reason));
}

// The Batch view on the same run: a cell per unit and point coloured by both
// checks, the progress whole at the end, a certificate per unit; then Abort
// in the middle of the adjustment leaves every unit in normal mode.
void TestBatchRun::theBatchViewShowsEachPointAndAbortsSafely()
{
    batchlab::BatchBench bench(2, sim::UnitInput::Thermocouple, false);
    QVERIFY(bench.ready);
    bench.units.setErrors(1, {1.0, 0.0, {0.0, 0.0}});
    bench.units.setErrors(2, {1.0, 0.04, {0.0, 0.0}});   // 1 degC off: fails as found
    QTemporaryDir records;
    recordsdb::RecordDb db;
    QVERIFY(db.open(recordsdb::sqliteIn(records.path())));
    recordsdb::StandardsRegister standards(db);
    const QDate due = QDate::currentDate().addYears(1);
    QVERIFY(standards.save(lab::standard(lab::kSourceSerial, "Generic SCPI calibrator", due)));
    QVERIFY(standards.save(lab::standard(lab::kMeterSerial, "Generic SCPI meter", due)));
    autocal::ChannelMap map;
    for (const autocal::BatchUnit &b : bench.batch)
        map.units << b.map;
    QFile file(records.filePath("map.json")), procedure(records.filePath("plan.json"));
    QVERIFY(file.open(QIODevice::WriteOnly) && procedure.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(autocal::channelMapToJson(map)).toJson());
    procedure.write(R"({"name": "two points", "points": [0, 100], "tolerance": 0.5, "adjust": "always",
        "stability": {"band": 0.2, "band mA": 0.004, "samples": 3, "interval ms": 150, "timeout s": 20}})");
    file.close();
    procedure.close();

    // The window is connected to unit 1: the batch takes that link, it does not open the port twice.
    rtu::Link windowLink;
    rtu::SerialOptions line;
    line.port = bench.batch.at(0).map.port;
    QVERIFY(windowLink.open(line));
    BatchTab tab(windowLink);
    tab.setLanguage(2);
    tab.setRecords([&] { return &db; }, [&] { return records.path(); });
    tab.setPerformer([](recordsdb::RecordDb &d) { return std::optional(recordsfixture::performer(d)); });
    const auto at = [&](sim::Instrument i) { return QStringLiteral("tcp:127.0.0.1:%1").arg(bench.lab.port(i)); };
    tab.setAddresses(at(sim::Instrument::Source), at(sim::Instrument::Meter), at(sim::Instrument::Switch));
    // A map that is not whole starts nothing: no line opened, no request sent, the reason shown.
    QFile broken(records.filePath("broken.json"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(R"({"units": [{"unit": 1, "port": "/dev/null", "tag": "T", "serial": "S", "input isolated": true}]})");
    broken.close();
    tab.findChild<QLineEdit *>("lineEdit_batch_map")->setText(broken.fileName());
    tab.start();
    QVERIFY2(tab.resultText().startsWith("not started:") && tab.table()->rowCount() == 0, qPrintable(tab.resultText()));
    QCOMPARE(bench.units.unit(1).requests().size(), size_t(0));
    tab.findChild<QLineEdit *>("lineEdit_batch_map")->setText(file.fileName());
    tab.findChild<QLineEdit *>("lineEdit_batch_procedure")->setText(procedure.fileName());
    int finished = 0;
    connect(&tab, &BatchTab::finished, this, [&] { ++finished; });
    // Run in Chinese: every phase, step, row and result the tab shows is Chinese.
    tab.setLanguage(0);
    tab.show();
    QStringList seen;
    QTimer watch;
    connect(&watch, &QTimer::timeout, &tab, [&] { seen << shown::tabTexts(&tab); });
    watch.start(50);
    QTimer::singleShot(0, &tab, &BatchTab::start);
    QTRY_VERIFY_WITH_TIMEOUT(finished == 1, 240000);
    watch.stop();
    seen << shown::tabTexts(&tab);
    seen.removeDuplicates();
    QStringList english;
    for (const QString &text : seen)
        if (shown::hasEnglish(text))
            english << text;
    qInfo("batch in Chinese: %lld texts shown, %lld with English", qlonglong(seen.size()), qlonglong(english.size()));
    QVERIFY2(english.isEmpty(), qPrintable(english.join('\n')));
    QVERIFY2(tab.resultText().startsWith(batchtext::text(batchtext::Text::Summary, 0).arg(2).arg(2)), qPrintable(tab.resultText()));
    tab.setLanguage(2);
    QCOMPARE(tab.progress().fraction(), 1.0);
    // Its link to the records names the chosen row's unit and one of its stored checks.
    QString linkedSerial;
    QDateTime linkedStarted;
    connect(&tab, &BatchTab::openInRecords, this, [&](const QString &s, const QDateTime &t) { linkedSerial = s, linkedStarted = t; });
    tab.table()->setCurrentCell(1, 0);
    QTest::mouseClick(tab.findChild<QPushButton *>("pushButton_batch_open_records"), Qt::LeftButton);
    QCOMPARE(linkedSerial, tab.table()->item(1, 1)->text());
    const auto linked = db.list(linkedSerial);
    QVERIFY(linked && std::any_of(linked->begin(), linked->end(), [&](const auto &r) { return r.record.started == linkedStarted; }));
    // Unit 1 fails as found by its loop current (its stored output points), unit 2 by its reading too.
    using S = autocal::CellState;
    for (int row = 0; row < 2; ++row) {
        QVERIFY(QFileInfo::exists(tab.certificatePath(row + 1)));
        for (int point = 0; point < 2; ++point) {
            QTableWidgetItem *cell = tab.table()->item(row, 2 + point);
            QVERIFY(cell);
            QVERIFY2(S(cell->data(batchcells::kFoundRole).toInt()) == S::Fail
                         && S(cell->data(batchcells::kLeftRole).toInt()) == S::Pass,
                     qPrintable(QStringLiteral("unit %1 point %2: %3").arg(row + 1).arg(point + 1).arg(cell->toolTip())));
        }
    }

    QPushButton *abort = nullptr;
    for (QPushButton *b : tab.findChildren<QPushButton *>())
        abort = b->text() == QLatin1String("Abort") ? b : abort;
    QVERIFY(abort);
    QTimer press;   // as the operator would, once the adjustment has begun
    connect(&press, &QTimer::timeout, abort, [&] {
        if (tab.running() && tab.progress().fraction() > 0.3 && abort->isEnabled())
            abort->click();
    });
    press.start(50);
    QTimer::singleShot(0, &tab, &BatchTab::start);
    QTRY_VERIFY_WITH_TIMEOUT(finished == 2, 240000);
    QVERIFY2(tab.resultText().startsWith("the batch ended: stopped by the operator"), qPrintable(tab.resultText()));
    QVERIFY(!bench.lab.sourceState().outputOn);
    QVERIFY(bench.lab.routeSwitch()->closed().empty());
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(bench.units.unit(row + 1).workMode(), 0);
        QVERIFY(tab.certificatePath(row + 1).isEmpty());
        QVERIFY(tab.table()->item(row, 4)->text().startsWith("ended: stopped by the operator"));
        for (int point = 0; point < 2; ++point)
            QCOMPARE(S(tab.table()->item(row, 2 + point)->data(batchcells::kLeftRole).toInt()), S::NotMeasured);
    }

    // The window closing mid-adjustment: the batch ends safely, then the close goes on.
    press.stop();
    bool closedAgain = false;
    QTimer closer;
    connect(&closer, &QTimer::timeout, &tab, [&] {
        if (tab.running() && tab.progress().fraction() > 0.3
            && !tab.runs().mayClose(QStringLiteral("the window was closed"), [&] { closedAgain = true; }))
            closer.stop();
    });
    closer.start(50);
    QTimer::singleShot(0, &tab, &BatchTab::start);
    QTRY_VERIFY_WITH_TIMEOUT(closedAgain, 240000);
    QCOMPARE(finished, 3);
    QVERIFY2(tab.resultText().startsWith("the batch ended: the window was closed"), qPrintable(tab.resultText()));
    QVERIFY(!bench.lab.sourceState().outputOn);
    QVERIFY(bench.lab.routeSwitch()->closed().empty());
    for (int row = 0; row < 2; ++row)
        QCOMPARE(bench.units.unit(row + 1).workMode(), 0);
}

// Each unit's procedure steps in a batch run side by side: three reads on each
// of two lines interleave at their waits, each line's own stay in order, and a
// side-by-side run inside a step runs its steps one after another.
void TestBatchRun::stepsOnTwoLinksRunSideBySide()
{
    batchlab::BatchBench bench(2, sim::UnitInput::Thermocouple);
    QVERIFY(bench.ready);
    QStringList log;
    const auto reads = [&](int unit) {
        return [&, unit] {
            for (int i = 0; i < 3; ++i) {
                const auto reply = bench.links[size_t(unit - 1)]->readRegisters(QModbusDataUnit::InputRegisters, 0, 4);
                log << QStringLiteral("%1.%2%3").arg(unit).arg(i).arg(reply.ok() ? "" : " failed");
            }
        };
    };
    rtu::runSideBySide({reads(1), reads(2)});
    QCOMPARE(log.size(), 6);
    QCOMPARE(log.filter(QRegularExpression("^1")), QStringList({"1.0", "1.1", "1.2"}));
    QCOMPARE(log.filter(QRegularExpression("^2")), QStringList({"2.0", "2.1", "2.2"}));
    QVERIFY2(log.indexOf("2.0") < log.indexOf("1.2") && log.indexOf("1.0") < log.indexOf("2.2"), qPrintable(log.join(' ')));
    log.clear();
    rtu::runSideBySide({[&] { rtu::runSideBySide({reads(1), reads(2)}); }, [] {}});
    QCOMPARE(log, QStringList({"1.0", "1.1", "1.2", "2.0", "2.1", "2.2"}));
    // A silent line holds up no other: unit 1's reads end before unit 2's first times out.
    log.clear();
    bench.units.unit(2).setSilent(true);
    rtu::runSideBySide({reads(1), reads(2)});
    QCOMPARE(log, QStringList({"1.0", "1.1", "1.2", "2.0 failed", "2.1 failed", "2.2 failed"}));
}

#include "test_batch_run.moc"
