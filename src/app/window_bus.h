#pragma once
// The window's link as a RegisterBus, so that the configuration operations of
// the core run inside the window: under its operation guard, one request at a
// time through its own request primitives, never overlapping a poll.

#include "register_bus.h"

#include <functional>

class Widget;

class WindowBus : public core::RegisterBus
{
public:
    explicit WindowBus(Widget &window);

    // Runs `operation` when no other operation runs and the link is up (the
    // operator is told otherwise); false when it did not run.
    bool run(const std::function<void(core::RegisterBus &)> &operation);
    int address() const;

    core::BlockReply readBlock(core::Block block) override;
    core::BusError writeRegisters(int start, const QVector<quint16> &values) override;

private:
    Widget &m_window;
};
