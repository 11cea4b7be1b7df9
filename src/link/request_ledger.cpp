#include "link/request_ledger.h"

#include <QModbusReply>
#include <QModbusResponse>

#include <algorithm>

namespace rtu {

namespace {
constexpr int kWatchdogPeriodMs = 250;
constexpr int kDeliveryAllowanceMs = 100;
constexpr size_t kRecentVerdicts = 64;

}

void judgeAnswer(Verdict &v, const QModbusDataUnit &answer, const Expected &expected)
{
    if (!v.ok)
        return;
    auto fail = [&v](const QString &text) {
        v.ok = false;
        v.error = QModbusDevice::UnknownError;
        v.text = text;
    };
    if (expected.readCount > 0) {
        // Fewer registers than asked for would be read as zeros.
        const int received = int(answer.valueCount());
        if (received < expected.readCount) {
            v.shortReply = true;
            fail(QStringLiteral("Short reply: %1 of %2 registers.").arg(received).arg(expected.readCount));
        } else if (received > expected.readCount) {
            v.mismatch = true;
            fail(QStringLiteral("Answer does not match the request: %1 registers for %2.")
                     .arg(received).arg(expected.readCount));
        }
        return;
    }
    if (expected.writeStart < 0)
        return;
    const bool single = expected.written.size() == 1;
    const bool echoed = answer.startAddress() == expected.writeStart
        && (single ? answer.valueCount() == 1 && answer.value(0) == expected.written.first()
                   : int(answer.valueCount()) == expected.written.size());
    if (echoed)
        return;
    v.mismatch = true;
    fail(QStringLiteral("Answer does not match the request: register %1 (%2) echoed for register %3 (%4).")
             .arg(answer.startAddress())
             .arg(single && answer.valueCount() ? answer.value(0) : answer.valueCount())
             .arg(expected.writeStart)
             .arg(single ? expected.written.first() : expected.written.size()));
}

Verdict verdictOf(const QModbusReply *reply)
{
    Verdict v;
    if (!reply) {
        v.error = QModbusDevice::UnknownError;
        v.text = QStringLiteral("Reply lost.");
        return v;
    }
    v.error = reply->error();
    v.ok = v.error == QModbusDevice::NoError;
    if (!v.ok) {
        v.text = reply->errorString();
        if (v.error == QModbusDevice::ProtocolError)
            v.exceptionCode = int(reply->rawResult().exceptionCode());
    }
    return v;
}

RequestLedger::RequestLedger(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_watchdog.setInterval(kWatchdogPeriodMs);
    connect(&m_watchdog, &QTimer::timeout, this, &RequestLedger::checkDeadlines);
}

quint64 RequestLedger::follow(QModbusReply *reply, int timeoutMs, Handler handler, const Expected &expected)
{
    const quint64 id = m_nextId++;
    Entry e;
    e.reply = reply;
    e.handler = std::move(handler);
    e.expected = expected;
    // Requests queued behind others wait their turn before their own timeout runs.
    e.deadlineMs = m_clock.elapsed() + qint64(timeoutMs) * (1 + outstandingCount()) + kGiveUpMarginMs;
    m_entries.emplace(id, std::move(e));
    // Judged at once, so that every listener of the reply sees a stray answer
    // as the failure it is; a second finished signal is ignored by schedule().
    connect(reply, &QModbusReply::finished, this, [this, id] { judge(id); schedule(id); });
    if (!m_watchdog.isActive()) {
        m_lastCheckMs = m_clock.elapsed();
        m_watchdog.start();
    }
    return id;
}

void RequestLedger::schedule(quint64 id)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end() || it->second.scheduled)
        return;
    it->second.scheduled = true;
    const quint64 epoch = m_epoch;
    QMetaObject::invokeMethod(this, [this, id, epoch] { deliver(id, epoch); }, Qt::QueuedConnection);
}

void RequestLedger::deliver(quint64 id, quint64 epoch)
{
    if (epoch != m_epoch)
        return;
    auto it = m_entries.find(id);
    if (it == m_entries.end())
        return;
    Entry e = std::move(it->second);
    m_entries.erase(it);
    if (m_entries.empty())
        m_watchdog.stop();
    Verdict v = e.isForced ? e.forced : verdictOf(e.reply.data());
    if (!e.isForced && e.reply)
        judgeAnswer(v, e.reply->result(), e.expected);
    m_recent[id] = v;
    // A verdict somebody waits for is never pushed out by later ones.
    for (auto it = m_recent.begin(); m_recent.size() > kRecentVerdicts + m_kept.size() && it != m_recent.end();)
        it = m_kept.count(it->first) ? std::next(it) : m_recent.erase(it);
    e.handler(e.reply.data(), v);
    if (e.givenUp)
        emit givenUp(e.reply.data());
    emit ended(id);
}

void RequestLedger::end(quint64 id, QModbusDevice::Error error, const QString &text)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end() || it->second.scheduled)
        return;
    Entry &e = it->second;
    e.isForced = true;
    e.forced.error = error;
    e.forced.text = text;
    if (e.reply && !e.reply->isFinished())
        e.reply->setError(error, text);   // listeners of the reply see the end too
    schedule(id);
}

void RequestLedger::abortAll()
{
    std::vector<quint64> ids;
    for (const auto &entry : m_entries)
        ids.push_back(entry.first);
    for (quint64 id : ids)
        end(id, QModbusDevice::ReplyAbortedError, tr("Reply aborted due to connection closure."));
}

void RequestLedger::reset()
{
    ++m_epoch;
    m_entries.clear();
    m_kept.clear();
    m_watchdog.stop();
}

int RequestLedger::msUntil(qint64 deadlineMs) const
{
    const qint64 left = deadlineMs - m_clock.elapsed() + kWatchdogPeriodMs + kDeliveryAllowanceMs;
    return int(qBound(qint64(0), left, qint64(3600) * 1000));
}

int RequestLedger::msUntilAllEnded() const
{
    int longest = 0;
    for (const auto &entry : m_entries)
        longest = std::max(longest, msUntil(entry.second.deadlineMs));
    return longest;
}

int RequestLedger::msUntilEnded(quint64 id) const
{
    const auto it = m_entries.find(id);
    return it == m_entries.end() ? 0 : msUntil(it->second.deadlineMs);
}

// A stray answer gets its error on the reply itself, for the traffic view.
void RequestLedger::judge(quint64 id)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end() || it->second.scheduled || it->second.isForced || !it->second.reply)
        return;
    QModbusReply *reply = it->second.reply;
    Verdict v = verdictOf(reply);
    judgeAnswer(v, reply->result(), it->second.expected);
    if (!v.mismatch)
        return;
    it->second.isForced = true;
    it->second.forced = v;
    reply->setError(v.error, v.text);
}

std::optional<Verdict> RequestLedger::takeVerdict(quint64 id)
{
    m_kept.erase(id);
    Verdict v;
    if (!verdict(id, &v))
        return std::nullopt;
    return v;
}

bool RequestLedger::verdict(quint64 id, Verdict *out) const
{
    const auto it = m_recent.find(id);
    if (it == m_recent.end())
        return false;
    if (out)
        *out = it->second;
    return true;
}

void RequestLedger::checkDeadlines()
{
    const qint64 now = m_clock.elapsed();
    // A thread that was busy (a key derivation, a loaded machine) did not listen
    // to the line meanwhile: the master is not judged for that time.
    const qint64 stalled = now - m_lastCheckMs - kWatchdogPeriodMs;   // set when the watchdog starts
    m_lastCheckMs = now;
    if (stalled > kWatchdogPeriodMs) {
        for (auto &entry : m_entries)
            entry.second.deadlineMs += stalled;
        return;
    }
    std::vector<quint64> late;
    for (const auto &entry : m_entries)
        if (!entry.second.scheduled && now > entry.second.deadlineMs)
            late.push_back(entry.first);
    for (quint64 id : late) {
        ++m_givenUp;
        m_entries.at(id).givenUp = true;
        end(id, QModbusDevice::TimeoutError, tr("Response timeout (the master never answered)."));
    }
}

} // namespace rtu
