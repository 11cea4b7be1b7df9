#include "window_bus.h"

#include "operation_guard.h"
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
    case Widget::ReadOutcome::Failed:
        break;
    }
    return {{}, {core::BusErrorKind::Link, QStringLiteral("read failed"), 0}};
}

// The window counts write answers; this write's verdict is the one that
// arrives after it went out.
core::BusError WindowBus::writeRegisters(int start, const QVector<quint16> &values)
{
    const quint32 okBefore = m_window.write_answers_ok;
    const quint32 answersBefore = m_window.writeAnswers();
    if (!m_window.preWait())
        return {core::BusErrorKind::Link, QStringLiteral("link busy"), 0};
    if (!m_window.writeRegisters(m_window.serverAddress(), start, quint16(values.size()), values.constData()))
        return {core::BusErrorKind::Link, QStringLiteral("not sent"), 0};
    if (!m_window.awaitWriteAnswers(answersBefore + 1))
        return {core::BusErrorKind::NoReply, QStringLiteral("no reply"), 0};
    if (m_window.write_answers_ok > okBefore)
        return {};
    return {core::BusErrorKind::Exception, QStringLiteral("refused"), 0};
}
