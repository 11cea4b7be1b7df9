// How long an unattended calibration takes against the simulator at 4800 baud
// with line timing: five points as found, the adjustment, five points as left.
// The run's time is set beside what it cannot avoid: the waits between samples
// it makes on purpose, the time its Modbus frames take on the wire (with the
// simulator's turnaround), and the instruments' exchanges.
//
//   build/tools/tcal-bench-auto

#include "lab_bench.h"
#include "bench_wire.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    lab::Bench b;
    if (!b.ready) {
        std::fprintf(stderr, "tcal-bench-auto: the laboratory did not start\n");
        return 1;
    }
    b.f.sim().setInputError(1.002, 0.03);
    b.f.sim().clearRequests();
    autocal::RunPlan plan = lab::quickPlan();
    plan.points = {0.0, 25.0, 50.0, 75.0, 100.0};
    plan.settling.samples = 5;
    plan.settling.intervalMs = 500;
    QElapsedTimer clock;
    clock.start();
    const autocal::RunResult r = b.run(plan);
    const qint64 total = clock.elapsed();
    const std::vector<sim::Request> requests = b.f.sim().requests();
    const double wire = benchwire::wireMs(requests, b.f.config().baud, b.f.config().latencyMs);
    const double bound = (double(r.waitedMs) + wire) * 1.10;
    std::printf("five points as found, adjustment, as left; 4800 baud, line timing on\n");
    std::printf("outcome                      %s%s\n", r.outcome == autocal::RunResult::Outcome::Passed ? "passed" : "NOT passed: ",
                qPrintable(r.reason));
    std::printf("run                          %8lld ms\n", static_cast<long long>(total));
    std::printf("  waits between samples      %8lld ms\n", static_cast<long long>(r.waitedMs));
    std::printf("  Modbus on the wire         %8.0f ms  (%zu requests)\n", wire, requests.size());
    std::printf("  instrument exchanges       %8.0f ms\n", r.instrumentMs);
    std::printf("  the rest                   %8.0f ms\n", double(total) - double(r.waitedMs) - wire - r.instrumentMs);
    std::printf("bound (waits + wire) * 1.10  %8.0f ms  %s\n", bound, double(total) <= bound ? "met" : "NOT met");
    return r.outcome == autocal::RunResult::Outcome::Passed && double(total) <= bound ? 0 : 1;
}
