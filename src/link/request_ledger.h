#pragma once
// Follows every request the link hands to the Modbus master until its one
// end. The master runs its reply handlers inside its own state machine, which
// resumes with stale state when a handler opens a nested event loop (a notice
// box, a wait): the request then on the line is dropped and its reply never
// finishes. So each end is delivered from the event loop, exactly once; a
// reply the master never finishes is given up after a clear margin; closing
// the link ends every outstanding request as aborted.

#include <QElapsedTimer>
#include <QModbusDevice>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QModbusDataUnit>
#include <functional>
#include <map>
#include <optional>
#include <set>

class QModbusReply;

namespace rtu {

struct Verdict {
    bool ok = false;
    QModbusDevice::Error error = QModbusDevice::NoError;
    QString text;             // the reply's error text; empty when ok
    int exceptionCode = 0;    // Modbus exception code of a refused request
    bool shortReply = false;  // a read answered with fewer registers than asked for
    bool mismatch = false;    // an answer to another request (a late one, or a wrong echo)
};

// What an answer must carry to be its request's own: a read exactly the
// registers asked for; a write the echo of its start and value (function 6)
// or start and count (16). RTU frames carry no transaction number, so a late
// answer to an earlier request is otherwise taken for this one's.
struct Expected {
    int readCount = 0;            // > 0 for a read
    int writeStart = -1;          // >= 0 for a write
    QVector<quint16> written;

    static Expected read(int count) { return {count, -1, {}}; }
    static Expected write(int start, const QVector<quint16> &values) { return {0, start, values}; }
};

// The verdict of a delivered reply judged against its request.
void judgeAnswer(Verdict &verdict, const QModbusDataUnit &answer, const Expected &expected);

// What a reply says about its request: ok, or why not.
Verdict verdictOf(const QModbusReply *reply);

class RequestLedger : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(QModbusReply *reply, const Verdict &verdict)>;

    explicit RequestLedger(QObject *parent = nullptr);

    // Follows an unfinished reply. `handler` runs once, from the event loop;
    // `timeoutMs` is the master's response timeout, the base of the margin.
    // An answer that is not `expected`'s ends as failed (judgeAnswer), and the
    // reply carries that error for every other listener too.
    quint64 follow(QModbusReply *reply, int timeoutMs, Handler handler, const Expected &expected = {});
    // Ends every outstanding request as aborted; handlers still run, queued.
    void abortAll();
    // Forgets everything, including ends not yet delivered (a fresh link).
    void reset();

    bool isOutstanding(quint64 id) const { return m_entries.count(id) != 0; }
    int outstandingCount() const { return int(m_entries.size()); }
    // The verdict of a request that has ended: the last few are kept, and
    // those held by keep() until taken.
    bool verdict(quint64 id, Verdict *out) const;
    // Someone waits for this request's verdict: it is kept until takeVerdict().
    void keep(quint64 id) { m_kept.insert(id); }
    std::optional<Verdict> takeVerdict(quint64 id);
    quint64 givenUpCount() const { return m_givenUp; }
    // Time until every outstanding request has surely ended (its give-up
    // deadline, the watchdog's period and the queued delivery); 0 when none is.
    int msUntilAllEnded() const;
    // The same for one request.
    int msUntilEnded(quint64 id) const;

    // Margin beyond the response timeout before a reply is given up.
    static constexpr int kGiveUpMarginMs = 1000;

signals:
    // A request ended and its handler has run: waits look again.
    void ended(quint64 id);
    // The master never finished this reply; it ended as timed out. Emitted
    // after its handler has run and before `ended`, so that a listener can
    // act before any wait looks again.
    void givenUp(QModbusReply *reply);

private:
    struct Entry {
        QPointer<QModbusReply> reply;
        Handler handler;
        qint64 deadlineMs = 0;
        Expected expected;
        bool scheduled = false;
        Verdict forced;       // used when we end the reply ourselves
        bool isForced = false;
        bool givenUp = false;
    };

    void judge(quint64 id);
    void schedule(quint64 id);
    void deliver(quint64 id, quint64 epoch);
    void end(quint64 id, QModbusDevice::Error error, const QString &text);
    void checkDeadlines();
    int msUntil(qint64 deadlineMs) const;

    std::map<quint64, Entry> m_entries;
    std::map<quint64, Verdict> m_recent;
    std::set<quint64> m_kept;
    quint64 m_nextId = 1;
    quint64 m_epoch = 0;
    quint64 m_givenUp = 0;
    QElapsedTimer m_clock;
    QTimer m_watchdog;
    qint64 m_lastCheckMs = 0;   // when the watchdog last looked
};

} // namespace rtu
