#include "platform/fiber.h"

#include <sys/mman.h>
#include <ucontext.h>

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

namespace platform {

namespace {

// Procedures, the link and Qt's own calls fit well within this.
constexpr size_t kStackBytes = 512 * 1024;

// Mapped, not allocated: only the pages a step touches become resident. The
// lowest page is a guard: a fiber that ran out of stack stops there at once
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

} // namespace

struct Fiber::State {
    ucontext_t context{};
    ucontext_t caller{};
    Stack stack;
    std::function<void()> run;
    bool ended = false;
    void *fakeStack = nullptr;
    void *callerFakeStack = nullptr;
    const void *callerBottom = nullptr;
    size_t callerSize = 0;
};

namespace {

Fiber::State *g_entering = nullptr;

void toCaller(Fiber::State &f)
{
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_start_switch_fiber(f.ended ? nullptr : &f.fakeStack, f.callerBottom, f.callerSize);
#endif
    swapcontext(&f.context, &f.caller);
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(f.fakeStack, &f.callerBottom, &f.callerSize);
#endif
}

void entry()
{
    Fiber::State &f = *g_entering;
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(nullptr, &f.callerBottom, &f.callerSize);
#endif
    f.run();
    f.ended = true;
    toCaller(f);   // never resumed again
}

} // namespace

// A stack of its own, entered at entry(); getcontext apart, where it returns once.
std::unique_ptr<Fiber> Fiber::create(std::function<void()> run)
{
    auto state = std::make_unique<State>();
    if (!state->stack.ok())
        return nullptr;
    state->run = std::move(run);
    getcontext(&state->context);
    state->context.uc_stack.ss_sp = state->stack.data();
    state->context.uc_stack.ss_size = state->stack.size();
    state->context.uc_link = nullptr;
    makecontext(&state->context, entry, 0);
    return std::unique_ptr<Fiber>(new Fiber(std::move(state)));
}

Fiber::Fiber(std::unique_ptr<State> state) : m_state(std::move(state)) {}
Fiber::~Fiber() = default;

void Fiber::resume()
{
    State &f = *m_state;
    g_entering = &f;
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_start_switch_fiber(&f.callerFakeStack, f.stack.data(), f.stack.size());
#endif
    swapcontext(&f.caller, &f.context);
#ifdef TCAL_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(f.callerFakeStack, nullptr, nullptr);
#endif
}

void Fiber::giveWay()
{
    toCaller(*m_state);
}

bool Fiber::ended() const
{
    return m_state->ended;
}

} // namespace platform
