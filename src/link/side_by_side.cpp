#include "link/side_by_side.h"

#include "link/link.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/mman.h>
#include <ucontext.h>

#include <memory>
#include <vector>

// The address sanitizer must be told when the stack changes under it.
#if defined(__SANITIZE_ADDRESS__)
#define TCAL_ASAN_FIBERS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TCAL_ASAN_FIBERS 1
#endif
#endif
#ifdef TCAL_ASAN_FIBERS
#include <sanitizer/common_interface_defs.h>
#endif

namespace rtu {

namespace {

// Procedures, the link and Qt's own calls fit well within this.
constexpr size_t kStackBytes = 512 * 1024;
// How often the waits are looked at when no bookkeeping changes.
constexpr int kLookMs = 20;

// Mapped, not allocated: only the pages a step touches become resident. The
// lowest page is a guard: a step that ran out of stack stops there at once
// instead of writing over someone else's memory.
constexpr size_t kGuardBytes = 64 * 1024;
struct Stack {
    Stack() : base(mmap(nullptr, kGuardBytes + kStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0))
    {
        if (base != MAP_FAILED && mprotect(base, kGuardBytes, PROT_NONE) != 0) {
            munmap(base, kGuardBytes + kStackBytes);
            base = MAP_FAILED;
        }
    }
    ~Stack()
    {
        if (base != MAP_FAILED)
            munmap(base, kGuardBytes + kStackBytes);
    }
    Stack(const Stack &) = delete;
    Stack &operator=(const Stack &) = delete;
    bool ok() const { return base != MAP_FAILED; }
    void *data() const { return static_cast<char *>(base) + kGuardBytes; }
    size_t size() const { return kStackBytes; }
    void *base;
};

struct Step {
    ucontext_t context{};
    Stack stack;
    std::function<void()> run;
    std::function<bool()> ready;   // what it waits for; empty when it may go on
    QDeadlineTimer deadline;
    Link *link = nullptr;
    bool ended = false;
    void *fakeStack = nullptr;
};

struct Scheduler {
    ucontext_t main{};
    std::vector<std::unique_ptr<Step>> steps;
    Step *current = nullptr;
    const void *mainBottom = nullptr;
    size_t mainSize = 0;
    void *mainFakeStack = nullptr;
};

Scheduler *g_running = nullptr;

// Into a step from the scheduler, and back when it waits or ends.
void resume(Scheduler &s, Step &step)
{
    s.current = &step;
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_start_switch_fiber(&s.mainFakeStack, step.stack.data(), step.stack.size());
#endif
    swapcontext(&s.main, &step.context);
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(s.mainFakeStack, nullptr, nullptr);
#endif
    s.current = nullptr;
}

// From a step back to the scheduler; returns when the step is resumed.
void giveWay(Scheduler &s, Step &step)
{
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_start_switch_fiber(step.ended ? nullptr : &step.fakeStack, s.mainBottom, s.mainSize);
#endif
    swapcontext(&step.context, &s.main);
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(step.fakeStack, &s.mainBottom, &s.mainSize);
#endif
}

void entry()
{
    Scheduler &s = *g_running;
    Step &step = *s.current;
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(nullptr, &s.mainBottom, &s.mainSize);
#endif
    step.run();
    step.ended = true;
    giveWay(s, step);   // never resumed again
}

// A stack of its own, entered at entry(); getcontext apart, where it returns once.
std::unique_ptr<Step> makeStep(const std::function<void()> &run)
{
    auto step = std::make_unique<Step>();
    step->run = run;
    if (!step->stack.ok())
        return nullptr;
    getcontext(&step->context);
    step->context.uc_stack.ss_sp = step->stack.data();
    step->context.uc_stack.ss_size = step->stack.size();
    step->context.uc_link = nullptr;
    makecontext(&step->context, entry, 0);
    return step;
}

bool mayGoOn(const Step &step)
{
    return !step.ended && (!step.ready || step.ready() || step.deadline.hasExpired());
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
        if (step->ended)
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
        if (!s.steps.back()) {   // no memory for a stack: one after another, as ever
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
            open = open || !step->ended;
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
    giveWay(s, step);
    step.ready = nullptr;
    step.link = nullptr;
}

} // namespace sidebyside

} // namespace rtu
