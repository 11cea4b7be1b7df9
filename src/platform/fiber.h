#pragma once
// A function run on a stack of its own, in the calling thread: resumed from
// the thread's own stack, it runs until it gives way or ends. Where the
// platform has no such stacks, create() says so and the caller runs the
// function straight through instead.

#include <functional>
#include <memory>

namespace platform {

class Fiber {
public:
    // nullptr where fibers are not available here, or no stack could be had.
    static std::unique_ptr<Fiber> create(std::function<void()> run);
    ~Fiber();
    Fiber(const Fiber &) = delete;
    Fiber &operator=(const Fiber &) = delete;

    // From the thread's own stack: into the fiber, back when it gives way or ends.
    void resume();
    // From inside the fiber: back to where it was resumed.
    void giveWay();
    bool ended() const;

    struct State;

private:
    explicit Fiber(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace platform
