// Click-to-result latency of the window's operations against the simulator,
// answering at once and at 4800 baud with line timing, beside the time the
// frames take on the wire and the pauses the operations make on purpose.
// What is left is the tool's own overhead. Polling is stopped while measuring,
// so no poll's exchange is counted as the operation's.
//
//   build/tools/tcal-latency [--runs 7]

#include "bench_window.h"
#include "link/bus_timing.h"
#include "simulator_fixture.h"
#include "widget_probe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QModbusReply>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Frames {
    int request;
    int reply;
};
constexpr Frames kHoldingRead{8, 133};
constexpr Frames kInputRead{8, 31};
constexpr Frames kSingleWrite{8, 8};
constexpr Frames kPointWrite{13, 8};
constexpr Frames kBlockWrite{27, 8};

struct Operation {
    const char *name;
    std::vector<Frames> frames;
    int prescribedMs;   // settle waits the sequence makes on purpose
    bool resultOnReturn;   // the result shows when the click returns; else at the last answer
    std::function<void()> prepare;
    std::function<void()> run;
};

// Time from a call until the window has handled the reply of the last request
// that the call sent.
qint64 timeUntilHandled(Widget &window, const std::function<void()> &action, bool resultOnReturn)
{
    QElapsedTimer clock;
    qint64 handledAt = -1;
    QEventLoop loop;
    QMetaObject::Connection issued = QObject::connect(
        WidgetProbe(window).link(), &rtu::Link::requestIssued, [&](const rtu::RequestDescription &, QModbusReply *reply) {
            if (!reply || reply->isFinished())
                return;
            handledAt = -1;
            // Queued behind the window's own handling of the reply.
            QObject::connect(reply, &QModbusReply::finished, reply,
                             [&] {
                                 handledAt = clock.nsecsElapsed();
                                 loop.quit();
                             }, Qt::QueuedConnection);
        });
    clock.start();
    action();
    if (resultOnReturn) {
        QObject::disconnect(issued);
        return clock.nsecsElapsed();
    }
    // An event loop, not a sleeping poll: it wakes the moment the reply is handled.
    if (handledAt < 0) {
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QObject::disconnect(issued);
    return handledAt;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}


void measure(const char *title, int baud, bool lineTiming, int latencyMs, int runs)
{
    sim::Config config;
    config.baud = baud;
    config.lineSpeed = lineTiming;
#ifdef TCAL_SIM_LATENCY
    config.latencyMs = latencyMs;
#else
    latencyMs = 0;
#endif
    SimulatorFixture fixture(config);
    Widget window;
    WidgetProbe probe(window);
    Ui::Widget *ui = probe.ui();
    if (!fixture.ok() || !connectWindow(probe, fixture.toolPort(), baud)) {
        std::fprintf(stderr, "cannot reach the simulator\n");
        return;
    }
    probe.pollTimer()->stop();
    QTest::qWait(800);
    sim::Simulator &sim = fixture.sim();

    const bus::SerialFormat format{baud, 8, false, 1};
    auto wireMs = [&](const std::vector<Frames> &frames) {
        double ms = 0;
        for (const Frames &f : frames)
            ms += lineTiming ? bus::charactersMs(f.request + f.reply + 7, format) + latencyMs : latencyMs;
        return ms;
    };
    const std::vector<Operation> operations = {
        {"parameter read (to the filled fields)", {kHoldingRead}, 0, true,
         [&] { probe.selectWorkGroup(1); },
         [&] { ui->pushButton_para_read->click(); }},
        // The mode write waits for its answer, then the 400 ms settle wait.
        {"thermocouple mode toggle (to the points shown)", {kSingleWrite, kHoldingRead}, 400, true,
         [&] { sim.setWorkMode(0); probe.selectWorkGroup(0); },
         [&] { ui->pushButton_tc_calib_2->click(); }},
        {"point capture (to the point write's answer)", {kInputRead, kPointWrite}, 0, false,
         [&] { probe.selectWorkGroup(2); },
         [&] { ui->commandLinkButton_tc_0mV->click(); }},
        // Read, block, store, and the read-back that checks what was stored.
        {"parameter write (to the read-back)", {kHoldingRead, kBlockWrite, kSingleWrite, kHoldingRead}, 100, false,
         [&] { probe.selectWorkGroup(1); },
         [&] { ui->pushButton_para_write->click(); }},
        {"automatic calibration step a (to the mode write's answer)", {kHoldingRead, kSingleWrite}, 400, false,
         [&] { sim.setWorkMode(0); ui->commandLinkButton_ma_auto_calib_4->setText(QStringLiteral("a)开始标定")); },
         [&] { ui->commandLinkButton_ma_auto_calib_4->click(); }},
        {"fine-trim change (committed value to its answer)", {kSingleWrite}, 0, false,
         [&] {
             probe.selectWorkGroup(4);
             if (!ui->radioButton_ma_fine_4->isChecked())
                 ui->radioButton_ma_fine_4->click();
         },
         [&] { ui->spinBox_ma_fine->setValue(ui->spinBox_ma_fine->value() == 4100 ? 4101 : 4100); }},
    };

    std::printf("\n%s\n\n", title);
    std::printf("| Operation | Median ms | Max ms | Wire ms | Prescribed ms | Overhead ms |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Operation &op : operations) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            op.prepare();
            QTest::qWait(50);
            const qint64 ns = timeUntilHandled(window, op.run, op.resultOnReturn);
            if (ns >= 0)
                times.push_back(ns / 1e6);
            QTest::qWait(50);
        }
        const double wire = wireMs(op.frames);
        const double med = median(times);
        const double worst = times.empty() ? 0 : *std::max_element(times.begin(), times.end());
        std::printf("| %s | %.1f | %.1f | %.1f | %d | %.1f |\n", op.name, med, worst, wire,
                    op.prescribedMs, med - wire - op.prescribedMs);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int runs = 7;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(1, QByteArray(argv[i + 1]).toInt());
    measure("Simulator answering at once (9600 baud, no line timing, no turnaround)", 9600, false, 0, runs);
    measure("4800 baud 8N1 with line timing and 5 ms turnaround", 4800, true, 5, runs);
    return 0;
}
