#include "link/side_by_side.h"

#include "link/link.h"
#include "platform/fiber.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <memory>
#include <vector>

namespace rtu {

namespace {

// How often the waits are looked at when no bookkeeping changes.
constexpr int kLookMs = 20;

struct Step {
    std::unique_ptr<platform::Fiber> fiber;
    std::function<bool()> ready;   // what it waits for; empty when it may go on
    QDeadlineTimer deadline;
    Link *link = nullptr;
    bool ended() const { return fiber->ended(); }
};

struct Scheduler {
    std::vector<std::unique_ptr<Step>> steps;
    Step *current = nullptr;
};

Scheduler *g_running = nullptr;

// Into a step from the scheduler, and back when it waits or ends.
void resume(Scheduler &s, Step &step)
{
    s.current = &step;
    step.fiber->resume();
    s.current = nullptr;
}

// Where the platform has no stacks to give, nullptr: the steps then run one
// after another.
std::unique_ptr<Step> makeStep(const std::function<void()> &run)
{
    auto step = std::make_unique<Step>();
    step->fiber = platform::Fiber::create(run);
    if (!step->fiber)
        return nullptr;
    return step;
}

bool mayGoOn(const Step &step)
{
    return !step.ended() && (!step.ready || step.ready() || step.deadline.hasExpired());
}

// One event loop for every waiting step: it ends when a link's bookkeeping
// changes, at the nearest deadline, or after a short look.
void serveEvents(Scheduler &s)
{
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    bound.setTimerType(Qt::PreciseTimer);
    qint64 nearest = kLookMs;
    for (const auto &step : s.steps) {
        if (step->ended())
            continue;
        nearest = std::min(nearest, std::max<qint64>(0, step->deadline.remainingTime()));
        if (step->link)
            QObject::connect(step->link, &Link::bookkeepingChanged, &loop, [&] {
                for (const auto &other : s.steps)
                    if (mayGoOn(*other))
                        return loop.quit();
            });
    }
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    bound.start(int(nearest));
    loop.exec();
}

} // namespace

void runSideBySide(const QVector<std::function<void()>> &steps)
{
    if (g_running || steps.size() < 2) {
        for (const auto &step : steps)
            step();
        return;
    }
    Scheduler s;
    for (const auto &run : steps) {
        s.steps.push_back(makeStep(run));
        if (!s.steps.back()) {   // no stack to be had: one after another, as ever
            for (const auto &step : steps)
                step();
            return;
        }
    }
    g_running = &s;
    for (;;) {
        bool open = false;
        for (const auto &step : s.steps) {
            if (mayGoOn(*step))
                resume(s, *step);
            open = open || !step->ended();
        }
        if (!open)
            break;
        bool ready = false;
        for (const auto &step : s.steps)
            ready = ready || mayGoOn(*step);
        if (!ready)
            serveEvents(s);
    }
    g_running = nullptr;
}

namespace sidebyside {

bool inStep()
{
    return g_running && g_running->current;
}

void waitInStep(Link &link, const std::function<bool()> &ready, int boundMs)
{
    Scheduler &s = *g_running;
    Step &step = *s.current;
    step.ready = ready;
    step.link = &link;
    step.deadline = QDeadlineTimer(std::max(0, boundMs), Qt::PreciseTimer);
    step.fiber->giveWay();
    step.ready = nullptr;
    step.link = nullptr;
}

} // namespace sidebyside

} // namespace rtu
