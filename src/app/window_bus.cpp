#include "window_bus.h"

#include "operation_guard.h"
#include "request_ledger.h"
#include "widget.h"

WindowBus::WindowBus(Widget &window)
    : m_window(window)
{
}

bool WindowBus::run(const std::function<void(core::RegisterBus &)> &operation)
{
    OperationGuard guard(m_window.operation_running);
    if (!guard || !m_window.requireLink())
        return false;
    operation(*this);
    return true;
}

int WindowBus::address() const
{
    return m_window.serverAddress();
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

// Judged by this write's own answer, as the ledger delivered it.
core::BusError WindowBus::writeRegisters(int start, const QVector<quint16> &values)
{
    if (!m_window.preWait())
        return {core::BusErrorKind::Link, QStringLiteral("link busy"), 0};
    const quint64 id = m_window.sendWrite(m_window.serverAddress(), start, quint16(values.size()),
                                          values.constData());
    if (id == 0)
        return {core::BusErrorKind::Link, QStringLiteral("not sent"), 0};
    const auto verdict = m_window.awaitEnd(id);
    if (!verdict)
        return {core::BusErrorKind::NoReply, QStringLiteral("no reply"), 0};
    if (m_window.operationLinkLost())
        return {core::BusErrorKind::Link, QStringLiteral("link closed"), 0};
    if (verdict->ok)
        return {};
    switch (verdict->error) {
    case QModbusDevice::ProtocolError:
        return {core::BusErrorKind::Exception, verdict->text, verdict->exceptionCode};
    case QModbusDevice::TimeoutError:
        return {core::BusErrorKind::NoReply, verdict->text, 0};
    default:
        return {core::BusErrorKind::Link, verdict->text, 0};
    }
}
