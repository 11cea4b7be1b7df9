// A batch against one unit, side by side in one process: five points as found,
// the adjustment and five as left, for one thermocouple transmitter (the
// single-unit run, a batch of one), for 1, 8 and 32 thermocouple transmitters
// sharing the millivolt source (each loop on a meter of its own, and the 32
// also scanned through the switch), and optionally for eight RTD transmitters
// whose resistance the switch routes to one at a time. Each run's time is split into the waits between samples, the
// Modbus frames on the wire (the busiest line; the lines run side by side), the
// switch's route changes and the calibrator's and meter's exchanges, with the tool's process
// CPU time and resident memory. The simulator runs in the same process, so the
// CPU figure is an upper bound for the tool.
//
//   build/tools/tcal-bench-batch [--units N,N,...] [--single-only] [--rtd]

#include "batch_bench.h"
#include "lab_bench.h"
#include "bench_wire.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

autocal::RunPlan fivePoints()
{
    autocal::RunPlan plan = lab::quickPlan(autocal::Adjust::Always);
    plan.points = {0.0, 25.0, 50.0, 75.0, 100.0};
    plan.settling.samples = 5;
    plan.settling.intervalMs = 500;
    plan.tolerance.value = 0.5;
    return plan;
}

struct Figures {
    qint64 ms = 0;
    qint64 waited = 0;
    double wire = 0, instruments = 0, switching = 0, cpu = 0;
    double wireAll = 0;   // every line's frames added up (the wire column is the busiest line)
    long rssBefore = 0, rssAfter = 0;
    int sourceSettings = 0;
    qint64 asFoundMs = 0, adjustMs = 0;   // a batch's phases; as left is the rest
    QString outcome;
};

void print(const char *what, const Figures &f)
{
    std::printf("%-34s %8lld ms  waits %7lld  wire %7.0f  switch %6.0f  instruments %6.0f  rest %7.0f  "
                "source set %3d  CPU %6.2f s  RSS %6ld -> %6ld kB  %s\n",
                what, static_cast<long long>(f.ms), static_cast<long long>(f.waited), f.wire, f.switching,
                f.instruments, double(f.ms) - double(f.waited) - f.wire - f.switching - f.instruments,
                f.sourceSettings, f.cpu, f.rssBefore, f.rssAfter, qPrintable(f.outcome));
    if (f.wireAll > 0)
        std::printf("%-34s every line's frames added up: %.0f ms\n", "", f.wireAll);
    if (f.asFoundMs > 0)
        std::printf("%-34s as found %lld ms, adjustment %lld ms, as left %lld ms\n", "", static_cast<long long>(f.asFoundMs),
                    static_cast<long long>(f.adjustMs), static_cast<long long>(f.ms - f.asFoundMs - f.adjustMs));
    std::fflush(stdout);
}

Figures single()
{
    lab::Bench b;
    Figures f;
    if (!b.ready)
        return f.outcome = QStringLiteral("the laboratory did not start"), f;
    b.f.sim().setInputError(1.002, 0.03);
    b.f.sim().clearRequests();
    f.rssBefore = residentKb();
    const double cpu = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    const autocal::RunResult r = b.run(fivePoints());
    f.ms = clock.elapsed();
    f.cpu = cpuSeconds() - cpu;
    f.rssAfter = residentKb();
    f.waited = r.waitedMs;
    f.instruments = r.instrumentMs;
    f.wire = benchwire::wireMs(b.f.sim().requests(), b.f.config().baud, b.f.config().latencyMs);
    f.outcome = r.outcome == autocal::RunResult::Outcome::Passed ? QStringLiteral("passed") : QStringLiteral("NOT passed: ") + r.reason;
    // Which points, when it did not pass.
    if (r.outcome != autocal::RunResult::Outcome::Passed && r.asLeft)
        for (const record::Point &p : r.asLeft->points) {
            const record::PointFigures pf = record::figures(p, r.asLeft->header);
            f.outcome += QStringLiteral(" [%1 °C: reading %2, U %3, current %4 mA against %5, U %6, %7]")
                             .arg(p.reference, 0, 'f', 3).arg(p.reading, 0, 'f', 3)
                             .arg(p.uncertainty ? p.uncertainty->expanded : -1.0, 0, 'f', 3)
                             .arg(p.currentMa.value_or(-1.0), 0, 'f', 4).arg(pf.expectedMa, 0, 'f', 4)
                             .arg(record::currentUncertaintyMa(p, r.asLeft->header).value_or(-1.0), 0, 'f', 4).arg(pf.passed ? "pass" : "fail");
        }
    return f;
}

Figures batch(int count, sim::UnitInput input, bool ownMeters = false)
{
    batchlab::BatchBench b(count, input, true, ownMeters);
    // A loop on a meter of its own is read there: no route changed for it.
    for (autocal::BatchUnit &u : b.batch)
        if (ownMeters) {
            u.map.meterChannel.clear();
            u.map.meter = QStringLiteral("tcp:127.0.0.1:%1").arg(b.lab.unitMeterPort(u.map.unit));
        }
    Figures f;
    if (!b.ready)
        return f.outcome = QStringLiteral("the laboratory did not start"), f;
    for (int k = 1; k <= count; ++k)
        b.units.unit(k).clearRequests();
    autocal::BatchRun run(b.batch, *b.source, *b.meter, *b.routeSwitch);
    f.rssBefore = residentKb();
    const double cpu = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    // The phases: the first adjustment step ends as found, the first as-left point the adjustment.
    bool adjusting = false, left = false;
    QObject::connect(&run, &autocal::BatchRun::adjustmentStep, [&](const QString &, const QVector<int> &) {
        if (!adjusting)
            f.asFoundMs = clock.elapsed();
        adjusting = true;
    });
    QObject::connect(&run, &autocal::BatchRun::pointStarted, [&](int, double, const QString &, const QVector<int> &) {
        if (adjusting && !left)
            f.adjustMs = clock.elapsed() - f.asFoundMs;
        left = left || adjusting;
    });
    const autocal::BatchResult r = run.run(fivePoints(), record::Header{});
    f.ms = clock.elapsed();
    f.cpu = cpuSeconds() - cpu;
    f.rssAfter = residentKb();
    f.waited = r.waitedMs;
    f.instruments = r.instrumentMs;
    f.switching = r.switchMs;
    f.sourceSettings = r.sourceSettings;
    for (int k = 1; k <= count; ++k) {
        const double line = benchwire::wireMs(b.units.unit(k).requests(), 4800, 5);
        f.wire = std::max(f.wire, line);
        f.wireAll += line;
    }
    int passed = 0;
    for (const autocal::UnitOutcome &u : r.units)
        passed += u.passed() ? 1 : 0;
    f.outcome = QStringLiteral("%1 of %2 passed%3").arg(passed).arg(count)
                    .arg(r.reason.isEmpty() ? QString() : QStringLiteral(": ") + r.reason);
    return f;
}

void growth(const char *what, const Figures &f, const Figures &one, int units, double secondsOne)
{
    const double perUnitCpu = units > 1 ? (f.cpu - one.cpu) / (units - 1) : 0.0;
    const double perUnitKb = units > 1 ? double((f.rssAfter - f.rssBefore) - (one.rssAfter - one.rssBefore)) / (units - 1) : 0.0;
    std::printf("%-34s / one unit %.2f; CPU %.1f %% of a core; growth per unit: CPU %.3f s, memory %.0f kB\n", what,
                secondsOne > 0 ? f.ms / 1000.0 / secondsOne : 0.0, f.ms > 0 ? 100.0 * f.cpu / (f.ms / 1000.0) : 0.0,
                perUnitCpu, perUnitKb);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QVector<int> counts{1, 8, 32};
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--units") == 0) {
            counts.clear();
            for (const QString &n : QString::fromLatin1(argv[i + 1]).split(','))
                counts << std::max(1, std::min(32, n.toInt()));
        }
    const bool singleOnly = app.arguments().contains(QStringLiteral("--single-only"));
    std::printf("five points as found, adjustment, five as left; 4800 baud, line timing on\n");
    const Figures one = single();
    print("one thermocouple unit (auto)", one);
    if (singleOnly)
        return 0;
    const double secondsOne = one.ms / 1000.0;
    bool met = secondsOne > 0;
    Figures first;
    for (int n : counts) {
        const Figures own = batch(n, sim::UnitInput::Thermocouple, true);
        const QString name = QStringLiteral("%1 thermocouple units, own meters").arg(n);
        print(qPrintable(name), own);
        if (n == counts.first())
            first = own;
        growth(qPrintable(name), own, first, n, secondsOne);
        const double goal = n <= 1 ? 1.2 : n <= 8 ? 1.2 : 1.5;
        met = met && own.ms / 1000.0 <= goal * secondsOne && own.outcome.startsWith(QString::number(n) + " of");
        if (n >= 32) {
            const Figures scanned = batch(n, sim::UnitInput::Thermocouple, false);
            const QString scan = QStringLiteral("%1 thermocouple units, switch-scanned").arg(n);
            print(qPrintable(scan), scanned);
            growth(qPrintable(scan), scanned, first, n, secondsOne);
        }
    }
    if (app.arguments().contains(QStringLiteral("--rtd")))
        print("8 RTD units (batch)", batch(8, sim::UnitInput::Rtd));
    std::printf("goals (8 units <= 1.2, 32 units with their own meters <= 1.5 x one unit): %s\n", met ? "met" : "NOT met");
    return met ? 0 : 1;
}
