// Every store through one path, proven by exploring: each procedure runs
// fresh against the simulator once per (request k, fault), and then with
// pairs of faults drawn under a seed. After each run the truth the simulator
// holds is checked against what was reported:
//   I1 each calibration group of the stored image is the old one or the new one, whole;
//   I2 RAM equals the stored image, or the report names every register that differs;
//   I3 the reported outcome matches the simulator's truth;
//   I4 the unit is in normal mode (its output not driven) unless the report says otherwise;
//   I5 no run waits beyond its bound.
// Usage: explore_store_path [--bounded] [--seed N] [--pairs N] [--only NAME | --shard I/N] | --list
//        explore_store_path --case NAME:FAULT@K[+FAULT@K]   (one run, as a violation names it)
//        explore_store_path --runs [--bounded] [--shard I/N]   (a single and a batch run, an event at every step)

#include "core/config_compare.h"
#include "core/registers.h"
#include "link/link.h"
#include "procedures/config_apply.h"
#include "procedures/current_calibration.h"
#include "procedures/fine_trim.h"
#include "procedures/sensor_calibration.h"
#include "procedures/stored_change.h"
#include "simulator_fixture.h"
#include "automation/auto_calibration.h"
#include "automation/batch_run.h"
#include "automation/run_registry.h"
#include "batch_bench.h"
#include "lab_bench.h"
#include "window/notices.h"

#include <QApplication>
#include <QTimer>
#include <cstring>

#include <QCoreApplication>
#include <QModbusReply>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <set>

namespace {

using Held = proc::Outcome::Held;
using Scheduled = sim::Simulator::Scheduled;

enum class Fault { LostAfterApplied, LostBefore, Late, Refused, PowerCycle, LinkClosed, OtherWrite, Abandon };
constexpr int kFaults = 8;
const char *const kFaultNames[kFaults] = {"lost-after-applied", "lost-before", "late-answer", "refused",
                                          "power-cycle-before", "link-closed", "other-write", "abandon"};
constexpr int kTimeoutMs = 150;
constexpr int kLateMs = 3 * kTimeoutMs;
constexpr qint64 kRunBoundMs = 30000;
// Calibration groups: stored whole or not at all. Holding 4 is the other operation's.
const QVector<QVector<int>> kGroups = {{0}, {1}, {2}, {5}, {6}, {7}, {8}, {9}, {10}, {11, 12}, {13},
                                       {15, 16, 17, 18}, {19, 20, 21, 22}};
bool commandWord(int r) { return r == reg::kWorkModeCommand || r == reg::kCurrentCommand || r == reg::kStoreCommand; }

struct Planned {
    int k;
    Fault fault;
};

// One run of a procedure: its objects, what it reported, and the tool-side faults.
struct Run {
    rtu::Link &link;
    sim::Simulator &sim;
    QVector<proc::Outcome> reported;   // the procedure's own
    QVector<proc::Outcome> others;     // the other operation's
    std::function<void()> abandon;   // set by the procedure: what the operator's abandon does
    std::function<proc::Outcome()> outcome;
    bool otherWriteDue = false, abandonDue = false;

    bool between()
    {
        if (otherWriteDue) {
            otherWriteDue = false;
            proc::ChangeReport r;
            link.runOperation([&] {
                r = proc::storeChange(link, [](const QVector<quint16> &) { return verify::Written{reg::kZeroOffset, {77}}; },
                                      50, nullptr, QStringLiteral("other write"));
                others << r.stored;
            });
        }
        if (abandonDue) {
            if (abandon)
                link.runOperation(abandon);
            return false;
        }
        return true;
    }
};

struct Procedure {
    const char *name;
    std::function<void(Run &)> script;
};

QVector<quint16> baseline()
{
    QVector<quint16> h(reg::kHoldingCount, 0);
    const sim::HoldingImage d = sim::model::defaultHolding();
    for (int i = 0; i < reg::kHoldingCount; ++i)
        h[i] = d[size_t(i)];
    return h;
}

// Steps run in order while each succeeds and no tool-side fault stops them.
template <typename Step>
bool steps(Run &run, std::initializer_list<Step> list)
{
    for (const Step &step : list) {
        if (!step() || !run.between())
            return false;
    }
    return true;
}

// The thermocouple calibration in one of the window's orders, the room step
// among the captures: e enter, 5 capture at 50 mV, 0 capture at 0 mV, r room
// step, s store (写入), l leave. Whatever ends the script, the mode is left.
std::function<void(Run &)> thermocoupleInOrder(const char *order)
{
    return [order](Run &run) {
        using Sensor = proc::SensorCalibration;
        Sensor cal(run.link, Sensor::Input::Thermocouple);
        run.abandon = [&] { cal.abandon(); };
        int rooms = 0;
        auto step = [&](char c) {
            switch (c) {
            case 'e': return cal.enter() == Sensor::Result::Done;
            case '5': run.sim.setAppliedMillivolts(50); return cal.capture(0) == Sensor::Result::Done;
            case '0': run.sim.setAppliedMillivolts(0); return cal.capture(1) == Sensor::Result::Done;
            case 'r': return cal.calibrateRoom(rooms++ ? 2310 : 2500, 50) == Sensor::Result::Done;
            case 's': {
                const bool ok = cal.store() == Sensor::Result::Done;
                run.reported << cal.outcome();
                return ok;
            }
            }
            return false;
        };
        for (const char *c = order; *c && step(*c) && run.between(); ++c) {}
        cal.leave();
        run.reported << cal.outcome();
    };
}

// The orders: the window's own, the room step before, between and after the
// captures, twice, and again after the store (then left: back to the stored).
QVector<Procedure> roomStepOrders()
{
    return {{"room-e50rs", thermocoupleInOrder("e50rs")},
            {"room-er50s", thermocoupleInOrder("er50s")},
            {"room-e5r0s", thermocoupleInOrder("e5r0s")},
            {"room-errs", thermocoupleInOrder("errs")},
            {"room-e5rs0r", thermocoupleInOrder("e5rs0r")}};
}

QVector<Procedure> procedures()
{
    using Sensor = proc::SensorCalibration;
    auto sensor = [](Sensor::Input input) {
        return [input](Run &run) {
            Sensor cal(run.link, input);
            const bool tc = input == Sensor::Input::Thermocouple;
            run.abandon = [&] { cal.abandon(); };
            tc ? run.sim.setAppliedMillivolts(50) : run.sim.setAppliedOhms(100);
            using S = std::function<bool()>;
            const bool done = steps<S>(run, {[&] { return cal.enter() == Sensor::Result::Done; },
                                             [&] { return cal.capture(0) == Sensor::Result::Done; },
                                             [&] { tc ? run.sim.setAppliedMillivolts(0) : run.sim.setAppliedOhms(200);
                                                   return cal.capture(1) == Sensor::Result::Done; },
                                             [&] { const bool ok = cal.store() == Sensor::Result::Done;
                                                   run.reported << cal.outcome();
                                                   return ok; },
                                             // captured again after the store, then left: back to the stored point
                                             [&] { tc ? run.sim.setAppliedMillivolts(10) : run.sim.setAppliedOhms(150);
                                                   return cal.capture(1) == Sensor::Result::Done; }});
            (void)done;
            cal.leave();
            run.reported << cal.outcome();
        };
    };
    auto change = [](int address, quint16 value, const char *name) {
        return [=](Run &run) {
            proc::ChangeReport r;
            run.link.runOperation([&] {
                r = proc::storeChange(run.link, [=](const QVector<quint16> &) { return verify::Written{address, {value}}; },
                                      50, nullptr, QLatin1String(name));
            });
            run.reported << r.stored;
            run.between();
        };
    };
    return QVector<Procedure>{
        {"parameter", change(reg::kFilterCoefficient, 7, "parameter write")},
        {"baud", change(reg::kDeviceBaudRate, 2400, "baud rate")},
        {"thermocouple", sensor(Sensor::Input::Thermocouple)},
        {"rtd", sensor(Sensor::Input::Rtd)},
        {"current", [](Run &run) {
             proc::CurrentCalibration cal(run.link);
             using R = proc::CurrentCalibration::Result;
             run.abandon = [&] { cal.abandon(); };
             using S = std::function<bool()>;
             steps<S>(run, {[&] { return cal.start() == R::Done; }, [&] { return cal.measured4mA(4010) == R::Done; },
                            [&] { return cal.measured20mA(19990) == R::Done; }});
             if (cal.running())
                 cal.leave();
             run.reported << cal.outcome();
         }},
        {"fine-trim", [](Run &run) {
             proc::FineTrim trim(run.link);
             using R = proc::FineTrim::Result;
             run.abandon = [&] { trim.abandon(); };
             using S = std::function<bool()>;
             steps<S>(run, {[&] { return trim.select(proc::FineTrim::End::At4mA) == R::Done; },
                            [&] { return trim.setValue(4200) == R::Done; },
                            [&] { const bool ok = trim.store(quint16(4200)) == R::Done;
                                  run.reported << trim.outcome();
                                  return ok; },
                            // a value after the store, then given up: back to the stored 4200
                            [&] { return trim.setValue(4300) == R::Done; }});
             run.link.runOperation([&] { trim.abandon(); });
             run.reported << trim.outcome();
         }},
        {"apply", [](Run &run) {
             QVector<quint16> target = baseline();
             target[reg::kFilterCoefficient] = 9;
             target[reg::kUnit] = 1;
             target[reg::kMeasured4mA] = 4005;
             target[reg::kMeasured20mA] = 19995;
             config::ApplyReport r;
             run.link.runOperation([&] { r = config::applyConfiguration(run.link, *config::fromHolding(target), {true}); });
             run.reported << r.stored;
             run.between();
         }},
    } + roomStepOrders();
}

struct Explorer {
    SimulatorFixture fixture;
    rtu::Link link;
    rtu::SerialOptions options;
    QVector<quint16> old = baseline();
    int runs = 0;
    QStringList violations;

    explicit Explorer(const sim::Config &config) : fixture(config)
    {
        options.port = fixture.toolPort();
        options.baud = config.baud;
        options.address = config.address;
        options.timeoutMs = kTimeoutMs;
    }

    void prepare()
    {
        // The last run's link goes first, and its late answers with it.
        if (link.isOpen())
            link.close();
        fixture.sim().clearFaults();
        fixture.sim().setAppliedMillivolts(4);
        sim::HoldingImage image{};
        for (int i = 0; i < reg::kHoldingCount; ++i)
            image[size_t(i)] = old.at(i);
        fixture.sim().loadImage(image);
        link.open(options);
    }

    // Runs `p` with `faults`; returns the stored image (for the fault-free run: what "new" is).
    QVector<quint16> run(const Procedure &p, const QVector<Planned> &faults, const QVector<quint16> *want)
    {
        prepare();
        sim::Simulator &sim = fixture.sim();
        sim.resetSchedule();
        Run r{link, sim, {}, {}, {}, {}};
        int issued = 0;
        for (const Planned &f : faults) {
            static const Scheduled kSim[] = {Scheduled::LostAfterApplied, Scheduled::LostBefore, Scheduled::Late,
                                             Scheduled::Refused, Scheduled::PowerCycleBefore};
            if (int(f.fault) < 5)
                sim.scheduleFault(f.k, kSim[int(f.fault)], kLateMs);
        }
        const auto tap = QObject::connect(&link, &rtu::Link::requestIssued, &link, [&] {
            ++issued;
            for (const Planned &f : faults) {
                if (f.k != issued)
                    continue;
                if (f.fault == Fault::LinkClosed)
                    QMetaObject::invokeMethod(&link, [this] { link.close(); }, Qt::QueuedConnection);
                r.otherWriteDue |= f.fault == Fault::OtherWrite;
                r.abandonDue |= f.fault == Fault::Abandon;
            }
        });
        QElapsedTimer clock;
        clock.start();
        p.script(r);
        QObject::disconnect(tap);
        const qint64 took = clock.elapsed();
        // Late answers land before the truth is read.
        if (std::any_of(faults.begin(), faults.end(), [](const Planned &f) { return f.fault == Fault::Late; }))
            link.waitMs(kLateMs + 50);
        const std::vector<uint16_t> ram = sim.holdingImage(), stored = sim.storedImage();
        QVector<quint16> image(stored.begin(), stored.end());
        ++runs;
        if (want)
            check(p, faults, ram, stored, *want, r, took, sim.workMode());
        return image;
    }

    void check(const Procedure &p, const QVector<Planned> &faults, const std::vector<uint16_t> &ram,
               const std::vector<uint16_t> &stored, const QVector<quint16> &want, const Run &r, qint64 took, int mode)
    {
        QStringList broken;
        std::set<int> named;
        QVector<proc::Outcome> all = r.reported + r.others;
        for (const proc::Outcome &o : all) {
            named.insert(o.ram.begin(), o.ram.end());
            named.insert(o.image.begin(), o.image.end());
        }
        for (int a : link.unstored().registers())
            named.insert(a);
        // The procedure's last word, and whether it ever said it stored.
        const proc::Outcome last = r.reported.isEmpty() ? proc::Outcome{} : r.reported.last();
        const bool saidStored = std::any_of(r.reported.begin(), r.reported.end(),
                                            [](const proc::Outcome &o) { return o.stored(); });
        const bool unknown = last.held == Held::ImageUnknown;
        for (const QVector<int> &g : kGroups) {
            bool isOld = true, isNew = true, ramStored = true;
            for (int a : g) {
                isOld &= stored[size_t(a)] == old.at(a);
                isNew &= stored[size_t(a)] == want.at(a);
                ramStored &= ram[size_t(a)] == stored[size_t(a)] || named.count(a);
            }
            if (!isOld && !isNew)
                broken << QStringLiteral("I1 holding %1 stored half").arg(g.first());
            if (saidStored && !unknown && !isNew)
                broken << QStringLiteral("I3 reported stored, holding %1 is not the new one").arg(g.first());
            if (!saidStored && !unknown && !isOld)
                broken << QStringLiteral("I3 reported not stored, holding %1 stored new").arg(g.first());
            if (last.held == Held::NotStoredRestored && !ramStored)
                broken << QStringLiteral("I3 reported restored, holding %1 in RAM is not the stored one").arg(g.first());
        }
        for (int a = 0; a < reg::kHoldingCount; ++a)
            if (!commandWord(a) && ram[size_t(a)] != stored[size_t(a)] && !named.count(a))
                broken << QStringLiteral("I2 holding %1: RAM %2, stored %3, not reported").arg(a).arg(ram[size_t(a)]).arg(stored[size_t(a)]);
        if (mode != 0 && !named.count(reg::kWorkModeCommand) && last.held != Held::StoredModeNotLeft)
            broken << QStringLiteral("I4 left in mode %1").arg(mode);
        if (took > kRunBoundMs)
            broken << QStringLiteral("I5 took %1 ms").arg(took);
        if (broken.isEmpty())
            return;
        QStringList what;
        for (const Planned &f : faults)
            what << QStringLiteral("%1@%2").arg(QLatin1String(kFaultNames[int(f.fault)])).arg(f.k);
        violations << QStringLiteral("%1 [%2] (reported %3): %4")
                          .arg(QLatin1String(p.name), what.join(QLatin1Char('+')), proc::outcomeKey(last),
                               broken.join(QStringLiteral("; ")));
    }
};

// --- run events: the window closed, a modal box, a second run, at every step ---
//
// A single and a batch run through the run registry, as the tabs start them;
// at the k-th step of the run (a phase, a point started or recorded, an
// adjustment step, a check kept) one event: the window closes (the registry is
// asked to close), a notice box is raised and left open for 30 s, or a second
// run is started. After each run: I1/I3 the stored calibration is the old one
// unless the run reports an adjustment, I2 RAM as stored, I4 normal mode, I5
// the run ends within its bound; and the source off, every route open.

enum class RunEvent { WindowClosed, ModalBox, SecondRun };
const char *const kRunEventNames[] = {"window closed", "modal box open for 30 s", "second run started"};
// A whole run with its adjustment, on a machine that may be loaded.
constexpr qint64 kWholeRunBoundMs = 180000;

// An engine as the registry keeps it.
class ProbeRun : public autocal::Run
{
public:
    std::function<void()> body;
    std::function<void(const QString &)> stop;
    bool executed = false;
    void execute() override { executed = true; if (body) body(); }
    void abort(const QString &reason) override { if (stop) stop(reason); }
    QString kind() const override { return QStringLiteral("probe"); }
};

std::vector<uint16_t> calibration(const std::vector<uint16_t> &image)
{
    std::vector<uint16_t> words;
    for (const QVector<int> &group : kGroups)
        for (int r : group)
            words.push_back(image[size_t(r)]);
    return words;
}

struct RunExplorer {
    int runs = 0;
    qint64 longestMs = 0;
    QStringList violations;

    // Runs `engine` through a registry, `event` at step `k` (0: none); the steps it took.
    template <typename Engine, typename Start>
    int drive(const QString &name, Engine &engine, const Start &start, int k, RunEvent event, bool &closedAgain,
              bool &secondRefused, bool &secondExecuted)
    {
        autocal::RunRegistry registry;
        int step = 0;
        auto fire = [&] {
            if (++step != k)
                return;
            switch (event) {
            case RunEvent::WindowClosed:
                registry.mayClose(QStringLiteral("the window was closed"), [&] { closedAgain = true; });
                break;
            case RunEvent::ModalBox: {
                // Closed 30 s later: a modal box would hold the run that long.
                QTimer::singleShot(30000, qApp, [] { notices::closeAll(); });
                notices::showBox(QStringLiteral("TCal"), QStringLiteral("a write failed"));
                break;
            }
            case RunEvent::SecondRun: {
                auto *second = new ProbeRun;
                bool *executed = &secondExecuted;
                second->body = [executed] { *executed = true; };
                secondRefused = !registry.start(second);
                break;
            }
            }
        };
        QObject::connect(&engine, &Engine::phaseChanged, &registry, fire);
        QObject::connect(&engine, &Engine::pointStarted, &registry, fire);
        QObject::connect(&engine, &Engine::pointRecorded, &registry, fire);
        QObject::connect(&engine, &Engine::adjustmentStep, &registry, fire);
        QObject::connect(&engine, &Engine::recordEnded, &registry, fire);
        auto *run = new ProbeRun;
        run->body = start;
        run->stop = [&engine](const QString &reason) { engine.abort(reason); };
        registry.start(run);
        QElapsedTimer clock;
        clock.start();
        while ((registry.running() || (k > 0 && event == RunEvent::WindowClosed && step >= k && !closedAgain))
               && clock.elapsed() < kWholeRunBoundMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        notices::closeAll();
        if (registry.running() || clock.elapsed() >= kWholeRunBoundMs)
            violations << name + QStringLiteral(": I5 the run did not end within %1 s").arg(kWholeRunBoundMs / 1000);
        longestMs = std::max(longestMs, clock.elapsed());
        ++runs;
        return step;
    }

    void check(const QString &name, bool ok, const QString &what)
    {
        if (!ok)
            violations << name + QStringLiteral(": ") + what;
    }
};

// --shard I/N: the steps at positions I, I+N, ... of those explored (I from 0);
// the run without an event, which counts the steps, is in every shard.
struct RunShard {
    int index = 0, count = 1;
    bool takes(int k, int stride) const { return k == 0 || ((k - 1) / stride) % count == index; }
};

void exploreSingle(RunExplorer &x, int stride, const RunShard &shard, int &steps)
{
    lab::Bench b;
    if (!b.ready) {
        x.violations << QStringLiteral("single: no laboratory");
        return;
    }
    sim::Simulator &s = b.f.sim();
    s.setInputError(1.002, 0.03);
    int n = 0;
    for (int k = 0; k == 0 || k <= n; k += (k == 0 ? 1 : stride))
        for (int e = 0; e < (k == 0 ? 1 : 3) && shard.takes(k, stride); ++e) {
            const auto event = RunEvent(e);
            const auto stored = calibration(s.storedImage());
            autocal::AutoCalibration engine(b.link, *b.source, *b.meter);
            autocal::RunResult result;
            bool closed = false, refused = false, executed = false;
            const QString name = QStringLiteral("%1, %2 at step %3").arg(QLatin1String("single")).arg(kRunEventNames[e]).arg(k);
            const int taken = x.drive(name, engine, [&] { result = b.run(lab::quickPlan(autocal::Adjust::Always), &engine); },
                                      k, event, closed, refused, executed);
            n = k == 0 ? taken : n;
            x.check(name, calibration(s.holdingImage()) == calibration(s.storedImage()), "I2 RAM is not as stored");
            x.check(name, s.workMode() == 0, "I4 not in normal mode");
            x.check(name, result.adjusted || calibration(s.storedImage()) == stored, "I1/I3 stored without an adjustment reported");
            x.check(name, !b.scpi.sourceState().outputOn, "the source is on at rest");
            if (k > 0 && event == RunEvent::WindowClosed && k <= taken)
                x.check(name, closed, "the window did not close after the run");
            if (k > 0 && event == RunEvent::SecondRun && k <= taken)
                x.check(name, refused && !executed, "a second run started beside the first");
            if (k > 0 && event != RunEvent::WindowClosed)
                x.check(name, result.outcome == autocal::RunResult::Outcome::Passed, "held up: " + result.reason);
        }
    steps += n;
}

void exploreBatch(RunExplorer &x, int stride, const RunShard &shard, int &steps)
{
    batchlab::BatchBench b(2, sim::UnitInput::Thermocouple);
    if (!b.ready) {
        x.violations << QStringLiteral("batch: no laboratory");
        return;
    }
    int n = 0;
    for (int k = 0; k == 0 || k <= n; k += (k == 0 ? 1 : stride))
        for (int e = 0; e < (k == 0 ? 1 : 3) && shard.takes(k, stride); ++e) {
            const auto event = RunEvent(e);
            std::vector<std::vector<uint16_t>> stored;
            for (int u = 1; u <= 2; ++u)
                stored.push_back(calibration(b.units.unit(u).storedImage()));
            autocal::BatchRun engine(b.batch, *b.source, *b.meter, *b.routeSwitch);
            autocal::BatchResult result;
            bool closed = false, refused = false, executed = false;
            const QString name = QStringLiteral("%1, %2 at step %3").arg(QLatin1String("batch")).arg(kRunEventNames[e]).arg(k);
            const int taken = x.drive(name, engine, [&] { result = engine.run(lab::quickPlan(autocal::Adjust::Always), record::Header{}); },
                                      k, event, closed, refused, executed);
            n = k == 0 ? taken : n;
            for (int u = 1; u <= 2; ++u) {
                sim::Simulator &s = b.units.unit(u);
                const bool adjusted = result.units.size() >= u && result.units.at(u - 1).adjusted;
                x.check(name, calibration(s.holdingImage()) == calibration(s.storedImage()), "I2 RAM is not as stored");
                x.check(name, s.workMode() == 0, "I4 not in normal mode");
                x.check(name, adjusted || calibration(s.storedImage()) == stored[size_t(u - 1)],
                        "I1/I3 stored without an adjustment reported");
            }
            x.check(name, !b.lab.sourceState().outputOn, "the source is on at rest");
            x.check(name, b.lab.routeSwitch()->closed().empty(), "a route is closed at rest");
            if (k > 0 && event == RunEvent::WindowClosed && k <= taken)
                x.check(name, closed, "the window did not close after the run");
            if (k > 0 && event == RunEvent::SecondRun && k <= taken)
                x.check(name, refused && !executed, "a second run started beside the first");
            if (k > 0 && event != RunEvent::WindowClosed)
                x.check(name, result.reason.isEmpty(), "held up: " + result.reason);
        }
    steps += n;
}

int exploreRuns(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bool bounded = app.arguments().contains(QStringLiteral("--bounded"));
    const int stride = bounded ? 4 : 1;
    RunShard shard;
    if (const int at = app.arguments().indexOf(QStringLiteral("--shard")); at > 0) {
        const QStringList part = app.arguments().value(at + 1).split(QLatin1Char('/'));
        shard = {part.value(0).toInt(), part.value(1).toInt()};
        if (shard.count < 1 || shard.index < 0 || shard.index >= shard.count) {
            std::fprintf(stderr, "--shard takes I/N with 0 <= I < N\n");
            return 2;
        }
    }
    RunExplorer x;
    int steps = 0;
    exploreSingle(x, stride, shard, steps);
    std::printf("single run: %d steps, %d runs so far, %d violations so far\n", steps, x.runs, int(x.violations.size()));
    std::fflush(stdout);
    exploreBatch(x, stride, shard, steps);
    for (const QString &v : x.violations)
        std::printf("VIOLATION %s\n", qPrintable(v));
    std::printf("explored a single and a batch run: %d steps x 3 events (every %d-th step): %d runs, %d violations; "
                "longest run %.1f s\n", steps, stride, x.runs, int(x.violations.size()), x.longestMs / 1000.0);
    return x.violations.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_LOGGING_RULES", "qt.modbus*=false");   // late answers are the point here
    if (std::any_of(argv, argv + argc, [](const char *a) { return std::strcmp(a, "--runs") == 0; }))
        return exploreRuns(argc, argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const QString &name, int fallback) {
        const int i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1).toInt() : fallback;
    };
    if (args.contains(QStringLiteral("--list"))) {   // for running the procedures side by side
        for (const Procedure &p : procedures())
            std::printf("%s\n", p.name);
        return 0;
    }
    const bool bounded = args.contains(QStringLiteral("--bounded"));
    const int seed = option(QStringLiteral("--seed"), 1);
    const int pairs = option(QStringLiteral("--pairs"), bounded ? 2 : 100);
    const int only = args.indexOf(QStringLiteral("--only"));
    // --shard I/N: the procedures at positions I, I+N, ... of the list (I from 0).
    const QStringList shard = args.value(args.indexOf(QStringLiteral("--shard")) + 1).split(QLatin1Char('/'));
    const int shardCount = args.contains(QStringLiteral("--shard")) ? shard.value(1).toInt() : 1;
    const int shardIndex = args.contains(QStringLiteral("--shard")) ? shard.value(0).toInt() : 0;
    if (shardCount < 1 || shardIndex < 0 || shardIndex >= shardCount) {
        std::fprintf(stderr, "--shard takes I/N with 0 <= I < N\n");
        return 2;
    }
    // The bounded run takes every fault at every k-th request, the full run every request.
    const int stride = bounded ? 6 : 1;

    sim::Config config;
    config.baud = 115200;
    config.lineSpeed = true;
    config.latencyMs = 2;
    Explorer e(config);
    if (!e.fixture.ok()) {
        std::fprintf(stderr, "no simulator: %s\n", qPrintable(e.fixture.errorString()));
        return 2;
    }
    if (const int c = args.indexOf(QStringLiteral("--case")); c >= 0) {
        const QStringList parts = args.value(c + 1).split(QLatin1Char(':'));
        QVector<Planned> faults;
        for (const QString &f : parts.value(1).split(QLatin1Char('+'), Qt::SkipEmptyParts)) {
            const QStringList at = f.split(QLatin1Char('@'));
            for (int i = 0; i < kFaults; ++i)
                if (at.value(0) == QLatin1String(kFaultNames[i]))
                    faults.append({at.value(1).toInt(), Fault(i)});
        }
        for (const Procedure &p : procedures()) {
            if (parts.value(0) != QLatin1String(p.name))
                continue;
            const QVector<quint16> want = e.run(p, {}, nullptr);
            e.run(p, faults, &want);
        }
        for (const QString &v : e.violations)
            std::printf("VIOLATION %s\n", qPrintable(v));
        std::printf("case %s: %d runs, %d violations\n", qPrintable(args.value(c + 1)), e.runs - 1, int(e.violations.size()));
        return e.violations.isEmpty() ? 0 : 1;
    }
    // A procedure's cases depend on its place in the list and the seed alone,
    // so that a run of one procedure or of a shard explores what a run of all
    // explores for it.
    int steps = 0, explored = 0, position = 0;
    for (const Procedure &p : procedures()) {
        ++position;
        if (only >= 0 && args.value(only + 1) != QLatin1String(p.name))
            continue;
        if ((position - 1) % shardCount != shardIndex)
            continue;
        ++explored;
        std::mt19937 random(seed);
        const QVector<quint16> want = e.run(p, {}, nullptr);
        const int n = e.fixture.sim().scheduledCount();
        e.run(p, {}, &want);   // fault-free, checked too
        steps += n;
        for (int k = 1 + (bounded ? (position % stride) : 0); k <= n; k += stride)
            for (int f = 0; f < kFaults; ++f)
                e.run(p, {{k, Fault(f)}}, &want);
        std::uniform_int_distribution<int> at(1, std::max(1, n)), kind(0, kFaults - 1);
        for (int i = 0; i < pairs; ++i) {
            const int k1 = at(random), k2 = at(random);
            e.run(p, {{std::min(k1, k2), Fault(kind(random))}, {std::max(k1, k2) + (k1 == k2), Fault(kind(random))}}, &want);
        }
        std::printf("%-13s %3d requests, %5d runs so far, %d violations so far\n", p.name, n, e.runs,
                    int(e.violations.size()));
        std::fflush(stdout);
    }
    for (const QString &v : e.violations)
        std::printf("VIOLATION %s\n", qPrintable(v));
    std::printf("explored %d procedures x %d steps x %d faults (+ %d seeded pairs each, seed %d): %d runs, %d violations\n",
                explored, steps, kFaults, pairs, seed, e.runs, int(e.violations.size()));
    return e.violations.isEmpty() ? 0 : 1;
}
