#include "window_bus.h"

#include "widget.h"

WindowBus::WindowBus(Widget &window)
    : m_window(window)
{
}

bool WindowBus::run(const std::function<void(core::RegisterBus &)> &operation)
{
    return m_window.link->runOperation([&] { operation(*this); });
}

int WindowBus::address() const
{
    return m_window.link->address();
}

core::BlockReply WindowBus::readBlock(core::Block block)
{
    const bool holding = block == core::Block::Holding;
    switch (m_window.fetchBlock(holding ? QModbusDataUnit::HoldingRegisters
                                        : QModbusDataUnit::InputRegisters)) {
    case Widget::ReadOutcome::Delivered:
        return {(holding ? m_window.holding_unit : m_window.input_unit).values(), {}};
    case Widget::ReadOutcome::TimedOut:
        return {{}, {core::BusErrorKind::NoReply, QStringLiteral("no reply"), 0}};
    case Widget::ReadOutcome::NotSent:
        return {{}, {core::BusErrorKind::Link, QStringLiteral("link busy"), 0}};
    case Widget::ReadOutcome::Short:
        return {{}, {core::BusErrorKind::Link, QStringLiteral("short reply"), 0}};
    case Widget::ReadOutcome::Failed:
        break;
    }
    return {{}, {core::BusErrorKind::Link, QStringLiteral("read failed"), 0}};
}

core::BusError WindowBus::writeRegisters(int start, const QVector<quint16> &values)
{
    return m_window.link->writeRegisters(start, values);
}
