// The window's side of the link: where a block goes, what the operator sees
// of a request's end, and the steps every operation is written with.

#include "window/widget.h"

#include "core/registers.h"
#include "core/write_verdict.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"
#include "widgets/hled.h"
#include "window/notices.h"

#include <QModbusReply>

bool Widget::readHoldingBlock()
{
    return sendBlockRead(QModbusDataUnit::HoldingRegisters);
}

bool Widget::readInputBlock()
{
    return sendBlockRead(QModbusDataUnit::InputRegisters);
}

// Where the data goes is decided now, by whoever sent the read.
bool Widget::sendBlockRead(QModbusDataUnit::RegisterType type)
{
    if (!link->isOpen() || link->isShuttingDown()) {
        led_rt->turnOff(true);
        return false;
    }
    const bool holding = type == QModbusDataUnit::HoldingRegisters;
    const quint64 id = link->sendRead(type, 0, holding ? reg::kHoldingCount : reg::kInputCount,
                                      blockHandler(holding, reply_route));
    if (id == 0)
        reply_route = 0;
    return id != 0;
}

rtu::Link::ReadHandler Widget::blockHandler(bool holding, quint8 route)
{
    return [this, holding, route](const QModbusDataUnit &unit, const rtu::Verdict &verdict) {
        handleBlockReply(unit, verdict, route, holding);
    };
}

// What the operator sees of every request's end: the link-status line and
// its lamp. A reply aborted because the link was closed needs no word.
void Widget::onReadEnded(const rtu::Verdict &verdict)
{
    if (verdict.error == QModbusDevice::ReplyAbortedError)
        return;
    if (verdict.ok)
        showLinkOk();
    else
        showLinkFailure(verdict.text);
}

void Widget::onWriteEnded(const rtu::Verdict &verdict)
{
    if (verdict.ok) {
        showLinkOk();
        return;
    }
    led_rt->turnOff(true);
    if (!link->isShuttingDown() && verdict.error != QModbusDevice::ReplyAbortedError)
        notices::post(QStringLiteral("prompt"), verdict.text);
}

rtu::ReadResult Widget::fetchBlock(QModbusDataUnit::RegisterType type, int progressOnSend, int *budget)
{
    const bool holding = type == QModbusDataUnit::HoldingRegisters;
    reply_route = 2;
    read_failed = true;
    // The words also land in the window's buffer of that block, as every operation read's do.
    return link->read(holding ? core::Block::Holding : core::Block::Input, budget, blockHandler(holding, 2), [&] {
        if (progressOnSend >= 0)
            ui->progressBar_write->setValue(progressOnSend);
    });
}

std::optional<QVector<quint16>> Widget::fetchOrReport(QModbusDataUnit::RegisterType type,
                                                     notices::Notice failure, int progressOnSend,
                                                     int *budget)
{
    const rtu::ReadResult read = fetchBlock(type, progressOnSend, budget);
    switch (read.outcome) {
    case ReadOutcome::Delivered:
        return read.words;
    case ReadOutcome::Short:
        notify(notices::Notice::ReadFailure);
        return std::nullopt;
    case ReadOutcome::TimedOut:
        // The link closed under the step: the link status says why.
        if (link->operationLinkLost() || link->isShuttingDown())
            return std::nullopt;
        break;
    case ReadOutcome::NotSent:
    case ReadOutcome::Failed:
        break;
    }
    notify(failure);
    return std::nullopt;
}

bool Widget::requireLink()
{
    return link->startOperation();
}

bool Widget::writeWhenFree(int start, std::initializer_list<quint16> values)
{
    if (!link->preWait())
        return false;
    return link->sendWrite(start, QVector<quint16>(values)) != 0;
}

bool Widget::writeWithBudget(int &budget, int start, std::initializer_list<quint16> values)
{
    if (!link->takeAttempt(budget))
        return false;
    return link->sendWrite(start, QVector<quint16>(values)) != 0;
}

// True only when the transmitter accepted the write; the link status has told
// the operator about a refusal, and a write never sent tells nobody: callers decide.
bool Widget::writeConfirmed(int start, const QVector<quint16> &values, int *budget)
{
    return link->write(start, values, budget) == WriteOutcome::Accepted;
}

// The progress run after a step that worked; it stops with the link.
bool Widget::runProgress(int first, int last, int stepMs)
{
    // After a procedure's step too, no other operation starts while it runs.
    rtu::OperationGuard guard(*link);
    for (int v = first; v <= last; ++v) {
        link->waitMs(stepMs);
        if (link->operationLinkLost() || link->isShuttingDown())
            return false;
        ui->progressBar_write->setValue(v);
    }
    return true;
}
