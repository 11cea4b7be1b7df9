#pragma once
// Steps on several links at once, in the one GUI thread. Each step runs on a
// stack of its own; where it waits (Link::waitUntil, the one wait) it gives
// way to the others instead of entering a local event loop of its own, and
// one event loop serves them all. A step stays a straight sequence of waits
// on its own link, as every procedure is; only the steps of different links
// interleave, at their waits. A batch runs each unit's procedure steps so.

#include <QVector>

#include <functional>

namespace rtu {

class Link;

// Runs every step to its end, side by side; returns when all have ended.
// Called from inside a step, it runs the steps one after another.
void runSideBySide(const QVector<std::function<void()>> &steps);

namespace sidebyside {
// Whether the caller is a step of runSideBySide.
bool inStep();
// Inside a step: gives way until `ready` holds or `boundMs` has passed; `link`
// says whose bookkeeping to watch.
void waitInStep(Link &link, const std::function<bool()> &ready, int boundMs);
} // namespace sidebyside

} // namespace rtu
