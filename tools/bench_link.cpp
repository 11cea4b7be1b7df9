// Link benchmark: the real window polling a simulated transmitter that runs as
// its own process (so its CPU time is not counted), over a virtual line.
// Prints CPU use while polling, the largest event-loop stall while polling and
// during an operation, and resident memory after 100, 5,000 and 10,000 polls
// with the Trend tab shown and logging to CSV (the traffic list fills up to
// its 3,000 requests on the way).
//
//   build/tools/tcal-bench [--seconds 60] [--polls 10000]

#include "bench_window.h"
#include "tabs/traffic_model.h"
#include "virtual_line.h"
#include "widget_probe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Largest gap between ticks of a 5 ms timer, less the 5 ms: how long the
// event loop was kept from running.
class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 gap = m_clock.restart();
            m_worst = std::max(m_worst, gap - 5);
        });
    }
    void start()
    {
        m_worst = 0;
        m_clock.start();
        m_timer.start();
    }
    qint64 stop()
    {
        m_timer.stop();
        return m_worst;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_worst = 0;
};

struct SimProcess {
    QProcess process;
    bool start(const QString &port, int baud, bool lineSpeed)
    {
        QStringList args = {"--port", port, "--baud", QString::number(baud), "--no-drift"};
        if (!lineSpeed)
            args << "--no-line-speed";
        process.start(QStringLiteral(TCAL_SIM_PATH), args);
        return process.waitForStarted(5000);
    }
    ~SimProcess()
    {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
    }
};


// The application's own event loop, as `tcal` runs it. QTest::qWait would
// wake every 10 ms and count its own polling as the tool's CPU.
void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int argValue(const QStringList &args, const QString &name, int fallback)
{
    const int i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seconds = argValue(app.arguments(), "--seconds", 60);
    const int polls = argValue(app.arguments(), "--polls", 10000);

    // Operator pace: the tool as an operator runs it, 9600 baud at real line pace.
    {
        VirtualLine line;
        SimProcess sim;
        if (!line.ok() || !sim.start(line.simulatorEnd(), 9600, true)) {
            std::fprintf(stderr, "cannot start the line or the simulator\n");
            return 1;
        }
        Widget window;
        WidgetProbe probe(window);
        window.show();
        if (!connectWindow(probe, line.toolEnd(), 9600)) {
            std::fprintf(stderr, "no reply from the simulator\n");
            return 1;
        }

        // CPU first, with nothing else of ours running: the stall meter's own
        // 5 ms timer would be counted otherwise.
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        runEventLoopFor(seconds * 1000);
        const double cpu = cpuSeconds() - cpu0;
        std::printf("polling at 9600 baud for %d s: CPU %.3f s = %.2f %% of one core (goal < 0.5 %%)\n",
                    seconds, cpu, 100.0 * cpu / (double(wall.elapsed()) / 1000.0));

        // The same with the Trend tab in view, its chart redrawn as polls arrive.
        probe.ui()->tabWidget_main->setCurrentWidget(probe.trendTab());
        const double trendCpu0 = cpuSeconds();
        wall.restart();
        runEventLoopFor(seconds * 1000);   // as the first page: qWait would wake every 10 ms
        const double trendCpu = cpuSeconds() - trendCpu0;
        std::printf("same with the Trend tab shown: CPU %.3f s = %.2f %% of one core\n",
                    trendCpu, 100.0 * trendCpu / (double(wall.elapsed()) / 1000.0));
        probe.ui()->tabWidget_main->setCurrentIndex(0);

        StallMeter stalls;
        stalls.start();
        QTest::qWait(15000);
        std::printf("largest event-loop stall while polling (15 s): %lld ms (goal < 20 ms)\n",
                    static_cast<long long>(stalls.stop()));

        // An operation: the parameter read waits for its reply inside the loop.
        stalls.start();
        for (int i = 0; i < 5; ++i)
            QMetaObject::invokeMethod(&window, "on_pushButton_para_read_clicked");
        const qint64 opStall = stalls.stop();
        std::printf("largest event-loop stall during 5 parameter reads: %lld ms (goal < 20 ms)\n",
                    static_cast<long long>(opStall));
    }

    // Memory: many polls, driven faster than the timer would.
    {
        VirtualLine line;
        SimProcess sim;
        if (!line.ok() || !sim.start(line.simulatorEnd(), 115200, false))
            return 1;
        Widget window;
        WidgetProbe probe(window);
        window.show();
        probe.ui()->tabWidget_main->setCurrentWidget(probe.trendTab());
        QTemporaryDir logDir;
        if (!connectWindow(probe, line.toolEnd(), 9600)
            || !probe.trendTab()->startLog(logDir.filePath(QStringLiteral("bench.csv"))))
            return 1;
        probe.pollTimer()->stop();
        auto pollOnce = [&probe] {
            probe.sendPoll();
            static_cast<void>(QTest::qWaitFor([&] { return !probe.replyPending(); }, 5000));
        };
        for (int i = 0; i < 100; ++i)
            pollOnce();
        QTest::qWait(100);
        const long after100 = residentKb();
        QElapsedTimer t;
        t.start();
        const int half = polls / 2;
        for (int i = 100; i < half; ++i)
            pollOnce();
        QTest::qWait(100);
        const long afterHalf = residentKb();
        for (int i = half; i < polls; ++i)
            pollOnce();
        QTest::qWait(500);   // the last chart refresh
        const long afterAll = residentKb();
        std::printf("resident memory after 100 polls: %ld kB, after %d: %ld kB, after %d polls: %ld kB, growth %ld kB (goal < 1024 kB); %.1f polls/s\n",
                    after100, half, afterHalf, polls, afterAll, afterAll - after100,
                    (polls - 100) * 1000.0 / double(t.elapsed()));
        std::printf("trend samples kept: %d, traffic rows kept: %d\n",
                    probe.trendTab()->samples().size(), probe.trafficTab()->model().rowCount());
    }
    return 0;
}
