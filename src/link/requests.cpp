// Request primitives and the waiting discipline every operation follows.
// One request at a time: a request goes out only after `reply_pending` was
// found false, and everything runs on the GUI thread. Every reply ends exactly
// once through the ledger, from the event loop, never inside the master.

#include "widget.h"

#include "hled.h"
#include "notice_texts.h"
#include "notices.h"
#include "registers.h"
#include "request_ledger.h"
#include "ui_widget.h"
#include "write_verdict.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QModbusClient>
#include <QModbusReply>
#include <QTimer>

#include <cmath>

// The one wait of the window: a local event loop that ends as soon as `done`
// holds, when the bound runs out, when the running operation's link closes or
// when the window closes. Replies, ticks and clicks are handled meanwhile.
bool Widget::waitUntil(const std::function<bool()> &done, int boundMs)
{
    if (done())
        return true;
    if (shutting_down || operationLinkLost())
        return false;
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    bound.setTimerType(Qt::PreciseTimer);
    connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &Widget::bookkeepingChanged, &loop, [&] {
        if (done() || shutting_down || operationLinkLost())
            loop.quit();
    });
    bound.start(boundMs);
    loop.exec();
    return done();
}

void Widget::wakeWaits()
{
    emit bookkeepingChanged(QPrivateSignal());
}

// A deliberate pause; it ends early only when there is no point going on.
void Widget::waitMs(int ms)
{
    waitUntil([] { return false; }, ms);
}

bool Widget::operationLinkLost() const
{
    return operation_running && (operation_link != link_generation || !isConnected());
}

bool Widget::readHoldingBlock()
{
    return sendRead(QModbusDataUnit::HoldingRegisters, reg::kHoldingCount) != 0;
}

bool Widget::readInputBlock()
{
    return sendRead(QModbusDataUnit::InputRegisters, reg::kInputCount) != 0;
}

quint64 Widget::sendRead(QModbusDataUnit::RegisterType type, int count)
{
    if (!isConnected() || shutting_down) {
        led_rt->turnOff(true);
        return 0;
    }
    const QModbusDataUnit unit(type, 0, quint16(count));
    const int server = serverAddress();
    auto *reply = modbusDevice->sendReadRequest(unit, server);
    const bool holding = type == QModbusDataUnit::HoldingRegisters;
    emit requestIssued({holding ? 3 : 4, server, 0, count, {}}, reply);
    if (!reply) {
        reply_route = 0;
        showLinkFailure(modbusDevice->errorString());
        return 0;
    }
    if (reply->isFinished()) {
        reply_route = 0;
        delete reply;
        return 0;
    }
    reply_pending = true;
    // Where the data goes is decided now, by whoever sent the read.
    const quint8 route = reply_route;
    return ledger->follow(reply, line_budget.responseTimeoutMs,
                          [this, holding, route](QModbusReply *r, const rtu::Verdict &v) {
                              if (holding)
                                  onHoldingBlockReply(r, v, route);
                              else
                                  onInputBlockReply(r, v, route);
                          },
                          count);
}

bool Widget::writeRegisters(int server, int start, quint16 count, const quint16 *values)
{
    return sendWrite(server, start, count, values) != 0;
}

quint64 Widget::sendWrite(int server, int start, quint16 count, const quint16 *values)
{
    if (!isConnected() || shutting_down) {
        reply_pending = ledger->outstandingCount() > 0;
        return 0;
    }
    reply_pending = true;
    QModbusDataUnit unit(QModbusDataUnit::HoldingRegisters, start, count);
    for (int i = 0; i < count; ++i)
        unit.setValue(i, values[i]);

    auto *reply = modbusDevice->sendWriteRequest(unit, server);
    emit requestIssued({count == 1 ? 6 : 16, server, start, count, unit.values()}, reply);
    if (!reply) {
        // Not silent: the operator must see that nothing was written.
        reply_pending = ledger->outstandingCount() > 0;
        ++write_answers_failed;
        showLinkFailure(modbusDevice->errorString());
        return 0;
    }
    if (reply->isFinished()) {
        reply_pending = ledger->outstandingCount() > 0;
        const bool ok = reply->error() == QModbusDevice::NoError;   // broadcast
        const QString error = reply->errorString();
        reply->deleteLater();
        if (ok) {
            ++write_answers_ok;
            return kAnsweredAtOnce;
        }
        ++write_answers_failed;
        led_rt->turnOff(true);
        if (!shutting_down)
            notices::showBox(QStringLiteral("提示"), error);
        return 0;
    }
    return ledger->follow(reply, line_budget.responseTimeoutMs,
                          [this](QModbusReply *r, const rtu::Verdict &v) { onWriteReply(r, v); });
}

void Widget::onWriteReply(QModbusReply *reply, const rtu::Verdict &verdict)
{
    if (reply)
        reply->deleteLater();
    reply_pending = ledger->outstandingCount() > 0;
    if (verdict.ok) {
        ++write_answers_ok;
        showLinkOk();
        return;
    }
    ++write_answers_failed;
    led_rt->turnOff(true);
    // A reply aborted because we closed the link ourselves needs no box.
    if (!shutting_down && verdict.error != QModbusDevice::ReplyAbortedError)
        notices::showBox(QStringLiteral("prompt"), verdict.text);
}

// Waits for the link to be free: at least `boundMs`, and in any case until the
// requests now outstanding have ended, which they do by their own deadlines.
bool Widget::waitForFreeLink(int boundMs)
{
    const bool free = waitUntil([this] { return !reply_pending; },
                                std::max(boundMs, ledger->msUntilAllEnded()));
    return free && !operationLinkLost() && !shutting_down;
}

bool Widget::preWait()
{
    return waitForFreeLink(line_budget.preWaitChecks * bus::kPreWaitStepMs);
}

// One attempt of a shared budget of checks: it costs the checks it waited for,
// at least one. Waiting out a request that was bound to end is not the link
// being busy: an attempt that found the link free leaves the next one a check.
bool Widget::takeAttempt(int &budget)
{
    if (budget <= 0)
        return false;
    QElapsedTimer waited;
    waited.start();
    const bool free = waitForFreeLink(budget * bus::kPreWaitStepMs);
    const int spent = std::max(1, int(std::ceil(double(waited.elapsed()) / bus::kPreWaitStepMs)));
    budget -= free ? std::min(spent, std::max(1, budget - 1)) : spent;
    return free;
}

quint64 Widget::sendOperationRead(QModbusDataUnit::RegisterType type)
{
    reply_route = 2;
    read_failed = true;
    return sendRead(type, type == QModbusDataUnit::HoldingRegisters ? reg::kHoldingCount : reg::kInputCount);
}

// Bounded wait for one request's own end; its verdict when it ended.
std::optional<rtu::Verdict> Widget::awaitEnd(quint64 id)
{
    if (id == kAnsweredAtOnce)
        return rtu::Verdict{true, QModbusDevice::NoError, {}, 0};
    if (id == 0)
        return std::nullopt;
    // At least the result wait, and long enough for the ledger to end the
    // request itself: a step always learns how its request ended.
    waitUntil([this, id] { return !ledger->isOutstanding(id); },
              std::max(line_budget.resultWaitChecks * bus::kResultWaitStepMs, ledger->msUntilEnded(id)));
    rtu::Verdict v;
    if (ledger->isOutstanding(id) || !ledger->verdict(id, &v))
        return std::nullopt;
    return v;
}

Widget::ReadOutcome Widget::fetchBlock(QModbusDataUnit::RegisterType type, int progressOnSend,
                                       int *budget)
{
    const bool free = budget ? takeAttempt(*budget) : preWait();
    // No read of our own went out: whatever the flags hold belongs to someone else.
    if (!free)
        return ReadOutcome::NotSent;
    const quint64 id = sendOperationRead(type);
    if (id == 0)
        return ReadOutcome::NotSent;
    if (progressOnSend >= 0)
        ui->progressBar_write->setValue(progressOnSend);
    const auto verdict = awaitEnd(id);
    if (!verdict)
        return ReadOutcome::TimedOut;
    if (verdict->shortReply)
        return ReadOutcome::Short;
    return read_failed ? ReadOutcome::Failed : ReadOutcome::Delivered;
}

bool Widget::fetchOrReport(QModbusDataUnit::RegisterType type, notices::Notice failure,
                           int progressOnSend, int *budget)
{
    switch (fetchBlock(type, progressOnSend, budget)) {
    case ReadOutcome::Delivered:
        return true;
    case ReadOutcome::Short:
        notify(notices::Notice::ReadFailure);
        return false;
    case ReadOutcome::TimedOut:
        // The link closed under the step: the link status says why.
        if (operationLinkLost() || shutting_down)
            return false;
        break;
    case ReadOutcome::NotSent:
    case ReadOutcome::Failed:
        break;
    }
    notify(failure);
    return false;
}

bool Widget::requireLink()
{
    if (isConnected()) {
        operation_link = link_generation;
        verdict_shown.invalidate();
        return true;
    }
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

// Waits for the link, writes, and waits for this very write's answer. True only
// when the transmitter accepted it; the reply handler has told the operator
// about a refusal, and a write never sent tells nobody: callers decide.
bool Widget::writeConfirmed(int start, const QVector<quint16> &values, int *budget)
{
    return writeAndAwait(start, values, budget) == WriteOutcome::Accepted;
}

Widget::WriteOutcome Widget::writeAndAwait(int start, const QVector<quint16> &values, int *budget)
{
    const bool free = budget ? takeAttempt(*budget) : preWait();
    if (!free)
        return WriteOutcome::NotSent;
    const quint64 id = sendWrite(serverAddress(), start, quint16(values.size()), values.constData());
    if (id == 0)
        return WriteOutcome::NotSent;
    const auto verdict = awaitEnd(id);
    if (verdict && verdict->ok && !operationLinkLost())
        return WriteOutcome::Accepted;
    if (verdict && verdict->error == QModbusDevice::ProtocolError)
        return WriteOutcome::Refused;
    return WriteOutcome::Unanswered;
}

bool Widget::restoreAfterFailure(int start, const QVector<quint16> &before)
{
    bool restored = writeConfirmed(start, before);
    if (restored && fetchBlock(QModbusDataUnit::HoldingRegisters) == ReadOutcome::Delivered)
        restored = verify::verifyWrite(start, before, holding_unit.values(), languageIndex()).verified;
    else
        restored = false;
    ui->label_link_sta->setText(QStringLiteral("link status: 【")
                                + verify::restoreText(start, before.size(), restored, languageIndex())
                                + QStringLiteral("】"));
    verdict_shown.start();
    return restored;
}

bool Widget::awaitWriteAnswers(quint32 total)
{
    return waitUntil([this, total] { return writeAnswers() >= total; },
                     line_budget.resultWaitChecks * bus::kResultWaitStepMs);
}

// The progress run after a step that worked; it stops with the link.
bool Widget::runProgress(int first, int last, int stepMs)
{
    for (int v = first; v <= last; ++v) {
        waitMs(stepMs);
        if (operationLinkLost() || shutting_down)
            return false;
        ui->progressBar_write->setValue(v);
    }
    return true;
}
