// The window's side of the link: what the operator sees of a request's end,
// and the steps every operation is written with.

#include "window/widget.h"

#include "core/registers.h"
#include "core/write_verdict.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"
#include "widgets/hled.h"
#include "window/notices.h"

#include <QModbusReply>

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
    return link->read(holding ? core::Block::Holding : core::Block::Input, budget, {}, [&] {
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

// The progress run after a step that worked; it stops with the link.
bool Widget::runProgress(int first, int last, int stepMs)
{
    // After a procedure's step too, no other operation starts while it runs.
    rtu::OperationGuard guard(*link);
    // Beside a run (which may hold this link) the bar is not a wait.
    if (notices::runActive()) {
        ui->progressBar_write->setValue(last);
        return !link->operationLinkLost() && !link->isShuttingDown();
    }
    for (int v = first; v <= last; ++v) {
        link->waitMs(stepMs);
        if (link->operationLinkLost() || link->isShuttingDown())
            return false;
        ui->progressBar_write->setValue(v);
    }
    return true;
}
