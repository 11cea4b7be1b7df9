// Request primitives and the waiting discipline every operation follows.
// One request at a time: a request goes out only after `reply_pending` was
// found false, and everything runs on the GUI thread.

#include "widget.h"

#include "bus_timing.h"
#include "hled.h"
#include "notice_texts.h"
#include "notices.h"
#include "ui_widget.h"

#include <QEventLoop>
#include <QModbusClient>
#include <QModbusReply>
#include <QTimer>

// Blocks in a local event loop, so replies, ticks and clicks are handled
// meanwhile without keeping a core busy.
void Widget::waitMs(int ms)
{
    if (shutting_down)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Widget::readHoldingBlock()
{
    return sendRead(QModbusDataUnit::HoldingRegisters, 64, &Widget::onHoldingBlockReply);
}

bool Widget::readInputBlock()
{
    return sendRead(QModbusDataUnit::InputRegisters, 13, &Widget::onInputBlockReply);
}

bool Widget::sendRead(QModbusDataUnit::RegisterType type, int count, void (Widget::*handler)())
{
    if (!isConnected() || shutting_down) {
        led_rt->turnOff(true);
        return false;
    }
    const QModbusDataUnit unit(type, 0, quint16(count));
    const int server = serverAddress();
    auto *reply = modbusDevice->sendReadRequest(unit, server);
    emit requestIssued({type == QModbusDataUnit::HoldingRegisters ? 3 : 4, server, 0, count, {}}, reply);
    if (reply) {
        if (reply->isFinished()) {
            reply_route = 0;
            delete reply;
            return false;
        }
        reply_pending = true;
        connect(reply, &QModbusReply::finished, this, handler);
        return true;
    }
    reply_route = 0;
    showLinkFailure(modbusDevice->errorString());
    return false;
}

bool Widget::writeRegisters(int server, int start, quint16 count, const quint16 *values)
{
    if (!isConnected() || shutting_down) {
        reply_pending = false;
        return false;
    }
    reply_pending = true;
    QModbusDataUnit unit(QModbusDataUnit::HoldingRegisters, start, count);
    for (int i = 0; i < count; ++i)
        unit.setValue(i, values[i]);

    auto *reply = modbusDevice->sendWriteRequest(unit, server);
    emit requestIssued({count == 1 ? 6 : 16, server, start, count, unit.values()}, reply);
    if (!reply) {
        // Not silent: the operator must see that nothing was written.
        reply_pending = false;
        ++write_answers_failed;
        showLinkFailure(modbusDevice->errorString());
        return false;
    }
    if (reply->isFinished()) {
        reply_pending = false;
        const bool ok = reply->error() == QModbusDevice::NoError;   // broadcast
        const QString error = reply->errorString();
        reply->deleteLater();
        if (ok) {
            ++write_answers_ok;
            return true;
        }
        ++write_answers_failed;
        led_rt->turnOff(true);
        if (!shutting_down)
            notices::showBox(QStringLiteral("提示"), error);
        return false;
    }
    connect(reply, &QModbusReply::finished, this, [this, reply]() { onWriteReply(reply); });
    return true;
}

void Widget::onWriteReply(QModbusReply *reply)
{
    reply->deleteLater();
    reply_pending = false;
    if (reply->error() == QModbusDevice::NoError) {
        ++write_answers_ok;
        showLinkOk();
        return;
    }
    ++write_answers_failed;
    led_rt->turnOff(true);
    // A reply aborted because we closed the link ourselves needs no box.
    if (!shutting_down && !closing_link)
        notices::showBox(QStringLiteral("prompt"), reply->errorString());
}

bool Widget::preWait()
{
    const int checks = bus::preWaitChecks(baudRate());
    for (int i = 0; i < checks; ++i) {
        if (!reply_pending)
            return true;
        waitMs(bus::kPreWaitStepMs);
    }
    return false;
}

bool Widget::takeAttempt(int &budget)
{
    while (budget > 0) {
        --budget;
        if (!reply_pending)
            return true;
        waitMs(bus::kPreWaitStepMs);
    }
    return false;
}

bool Widget::sendOperationRead(QModbusDataUnit::RegisterType type)
{
    reply_route = 2;
    read_failed = true;
    return type == QModbusDataUnit::HoldingRegisters ? readHoldingBlock() : readInputBlock();
}

bool Widget::resultWait()
{
    for (int i = 0;; ++i) {
        if (i >= bus::resultWaitChecks(baudRate()))
            return false;
        if (reply_route == 0)
            return true;
        waitMs(bus::kResultWaitStepMs);
    }
}

Widget::ReadOutcome Widget::fetchBlock(QModbusDataUnit::RegisterType type, int progressOnSend,
                                       int *budget)
{
    const bool free = budget ? takeAttempt(*budget) : preWait();
    // No read of our own went out: whatever the flags hold belongs to someone else.
    if (!free)
        return ReadOutcome::NotSent;
    sendOperationRead(type);
    if (progressOnSend >= 0)
        ui->progressBar_write->setValue(progressOnSend);
    if (!resultWait())
        return ReadOutcome::TimedOut;
    return read_failed ? ReadOutcome::Failed : ReadOutcome::Delivered;
}

bool Widget::fetchOrReport(QModbusDataUnit::RegisterType type, notices::Notice failure,
                           int progressOnSend, int *budget)
{
    switch (fetchBlock(type, progressOnSend, budget)) {
    case ReadOutcome::Delivered:
        return true;
    case ReadOutcome::TimedOut:
        return false;
    case ReadOutcome::NotSent:
    case ReadOutcome::Failed:
        break;
    }
    notify(failure);
    return false;
}

bool Widget::requireLink()
{
    if (isConnected())
        return true;
    notify(notices::Notice::NotConnected);
    return false;
}

bool Widget::writeWhenFree(int start, std::initializer_list<quint16> values)
{
    if (!preWait())
        return false;
    return writeRegisters(serverAddress(), start, quint16(values.size()), values.begin());
}

bool Widget::writeWithBudget(int &budget, int start, std::initializer_list<quint16> values)
{
    if (!takeAttempt(budget))
        return false;
    return writeRegisters(serverAddress(), start, quint16(values.size()), values.begin());
}

bool Widget::awaitWriteAnswers(quint32 total)
{
    const int checks = bus::resultWaitChecks(baudRate());
    for (int i = 0; i < checks && writeAnswers() < total; ++i)
        waitMs(bus::kResultWaitStepMs);
    return writeAnswers() >= total;
}

void Widget::runProgress(int first, int last, int stepMs)
{
    for (int v = first; v <= last; ++v) {
        waitMs(stepMs);
        ui->progressBar_write->setValue(v);
    }
}
