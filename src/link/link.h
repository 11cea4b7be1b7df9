#pragma once
// The one way to a transmitter, for the window, its tabs and tcal-cli alike:
// the Modbus master and its renewal, the ledger that ends every request once,
// the line's timing budget, the link generations, the operation guard and the
// one wait. Everything runs on one thread; requests go out one at a time and
// an operation waits for its own reply in a local event loop.

#include "core/register_bus.h"
#include "link/bus_timing.h"
#include "link/request_description.h"
#include "link/request_ledger.h"
#include "link/unstored_words.h"

#include <QModbusDataUnit>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <functional>
#include <optional>

class QModbusClient;
class QModbusReply;
class WidgetProbe;

namespace rtu {

class OperationGuard;

struct SerialOptions {
    QString port;
    int baud = 4800;
    int dataBits = 8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    int address = 192;
    int timeoutMs = 0;   // 0: the line's own response timeout
};

enum class ReadOutcome { Delivered, Failed, Short, TimedOut, NotSent };
enum class WriteOutcome { Accepted, Refused, Unanswered, NotSent };

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::NotSent;
    QVector<quint16> words;   // with Delivered only
    Verdict verdict;
};

class Link : public QObject, public core::RegisterBus
{
    Q_OBJECT
public:
    // Runs once when a read ended, from the event loop; `unit` is what the
    // master decoded (possibly short, see the verdict).
    using ReadHandler = std::function<void(const QModbusDataUnit &unit, const Verdict &verdict)>;
    // A broadcast write is answered by nobody: it ends as it is sent.
    static constexpr quint64 kAnsweredAtOnce = ~quint64(0);

    explicit Link(QObject *parent = nullptr);
    ~Link() override;

    // --- the line ---
    // False when the port cannot be opened; errorString() says why.
    bool open(const SerialOptions &options);
    // Every outstanding request ends as aborted; an operation on it ends too.
    void close();
    // The program is closing: nothing more goes out and every wait returns.
    void shutDown();
    bool isOpen() const;
    bool isShuttingDown() const { return m_shuttingDown; }
    // True while close() puts back unstored words, before the link goes.
    bool isClosing() const { return m_closingPutBack; }
    QString errorString() const;
    const SerialOptions &options() const { return m_options; }
    int address() const { return m_options.address; }
    void setAddress(int address) { m_options.address = address; }
    // The reply timeout; 0 goes back to the line's own.
    void setTimeoutMs(int ms);
    // Resends of a read or write that got no answer, for readBlock and
    // writeRegisters. A resent write carries the same words.
    void setRetries(int retries) { m_retries = retries; }
    const bus::LineBudget &budget() const { return m_budget; }
    // Counts openings and closings: what was sent on one link never counts on another.
    quint64 generation() const { return m_generation; }
    QModbusClient *master() const { return m_master; }

    // --- requests; they end through the ledger, from the event loop ---
    // 0 when nothing went out; else the request's ledger id.
    quint64 sendRead(QModbusDataUnit::RegisterType type, int start, int count, ReadHandler handler);
    quint64 sendWrite(int start, const QVector<quint16> &values);
    // True from a request's sending until no request is outstanding.
    bool replyPending() const { return m_replyPending; }

    // --- operations: one at a time, each a straight-line sequence ---
    bool operationRunning() const { return m_operationRunning; }
    // True when the running operation's link has closed since it started.
    bool operationLinkLost() const;
    // Runs `operation` under the guard when the link is up; false when it did
    // not run (another runs, or operationWithoutLink() was emitted).
    bool runOperation(const std::function<void()> &operation);
    // Inside a guard: true when the link is up; otherwise operationWithoutLink().
    bool startOperation();

    // The one wait: a local event loop that ends as soon as `done` holds,
    // when the bound runs out, when the running operation's link closes or on
    // shutdown. Replies, ticks and clicks are handled meanwhile.
    bool waitUntil(const std::function<bool()> &done, int boundMs);
    void waitMs(int ms);
    // At least `boundMs`, and in any case until the requests now outstanding
    // have ended, which they do by their own deadlines.
    bool waitForFreeLink(int boundMs);
    bool preWait();
    // One attempt of a shared budget of pre-wait checks.
    bool takeAttempt(int &budget);
    // Bounded wait for one request's own end; its verdict when it ended.
    std::optional<Verdict> awaitEnd(quint64 id);

    // Whole-block read after a pre-wait (or one attempt of `budget`).
    // `observer` sees the reply as every read handler does; `onSent` runs
    // once the read went out.
    ReadResult read(core::Block block, int *budget = nullptr, const ReadHandler &observer = {},
                    const std::function<void()> &onSent = {});
    // Waits for the link, writes, and waits for this very write's answer.
    // `verdict`, when given, receives the write's own verdict if it ended.
    WriteOutcome write(int start, const QVector<quint16> &values, int *budget = nullptr,
                       Verdict *verdict = nullptr);

    // --- RegisterBus: whole blocks and writes with their own verdicts ---
    core::BlockReply readBlock(core::Block block) override;
    core::BusError writeRegisters(int start, const QVector<quint16> &values) override;
    // Any run of registers, judged as readBlock is.
    core::BlockReply readRegisters(QModbusDataUnit::RegisterType type, int start, int count);

    // --- words in RAM not stored yet, for this unit ---
    UnstoredWords &unstored() { return m_unstored; }
    // The procedure whose writes run now: its own words are not put back before them.
    quintptr writer() const { return m_writer; }
    // Puts back, verified, the words of every owner but `except` (all when 0).
    // False when some could not be put back: heldText() names them.
    bool putBackUnstored(quintptr except = 0);
    // Counts put-backs that sent anything: a store whose read-back overlaps one reads again.
    quint64 putBackCount() const { return m_putBackCount; }
    // What RAM was last left holding unstored, for the operator; empty when nothing.
    QString heldText() const { return m_heldText; }

signals:
    // A request handed to the master; `reply` is null when it took none.
    void requestIssued(const rtu::RequestDescription &request, QModbusReply *reply);
    // The master took no request at all: `error` says why.
    void requestNotTaken(const QString &error);
    // A read or a write ended (after a read's own handler ran).
    void readEnded(const rtu::Verdict &verdict);
    void writeEnded(const rtu::Verdict &verdict);
    void opened();
    void closed();
    // The line went away under an open link, which is now closed.
    void lineLost(const QString &reason);
    // The master never finished a request: the port takes no data. The link
    // is closed before any wait looks again.
    void portSilent(const QString &port);
    // An operation found the link closed.
    void operationWithoutLink();
    // An operation on an open link begins.
    void operationStarted();
    // A write is about to go out: a procedure with words in RAM not yet
    // stored puts them back first, unless the write is its own.
    void aboutToWrite(int start, int count);
    // `owner`'s unstored words were put back by someone else's write, a close or an exit.
    void unstoredPutBack(quintptr owner);
    // Words could not be put back: `text` names the registers and what clears them.
    void unstoredHeld(const QString &text);
    // Internal: a reply ended or the link changed; waits look again.
    void bookkeepingChanged(QPrivateSignal);

private:
    friend class OperationGuard;
    friend class WriterScope;
    friend class ::WidgetProbe;   // tests hold the line busy through it

    void closeNow();
    void reportHeld(const QVector<UnstoredWords::Entry> &held);
    void renewMaster();
    void wakeWaits();
    void onDeviceError(QModbusDevice::Error error);
    void onGivenUp();
    void afterEnd();
    ReadResult readAndWait(QModbusDataUnit::RegisterType type, int start, int count, int *budget,
                           const ReadHandler &observer, const std::function<void()> &onSent);
    int timeoutMs() const;
    core::BusError notSent() const;

    QModbusClient *m_master = nullptr;
    RequestLedger *m_ledger = nullptr;
    SerialOptions m_options;
    bus::LineBudget m_budget;
    int m_retries = 0;
    bool m_masterUsed = false;
    bool m_replyPending = false;
    bool m_closing = false;
    bool m_shuttingDown = false;
    bool m_operationRunning = false;
    quint64 m_generation = 0;
    quint64 m_operationGeneration = 0;
    UnstoredWords m_unstored;
    quintptr m_writer = 0;
    bool m_puttingBack = false;
    bool m_closingPutBack = false;
    quint64 m_putBackCount = 0;
    bool m_writeStopped = false;   // the last write was held back: unstored words stayed
    QString m_heldText;
};

// Marks the writes of one procedure while it runs, for the unstored words' ledger.
class WriterScope
{
public:
    WriterScope(Link &link, quintptr owner) : m_link(link), m_was(link.m_writer) { link.m_writer = owner; }
    ~WriterScope() { m_link.m_writer = m_was; }
    WriterScope(const WriterScope &) = delete;
    WriterScope &operator=(const WriterScope &) = delete;

private:
    Link &m_link;
    quintptr m_was;
};

// The operation guard: a second operation started during another's wait does
// nothing at all. It pins the operation to the link open at its start.
class OperationGuard
{
public:
    explicit OperationGuard(rtu::Link &link)
        : m_link(link), m_owner(!link.m_operationRunning)
    {
        if (!m_owner)
            return;
        m_link.m_operationRunning = true;
        m_link.m_operationGeneration = m_link.m_generation;
    }
    ~OperationGuard()
    {
        if (m_owner)
            m_link.m_operationRunning = false;
    }
    OperationGuard(const OperationGuard &) = delete;
    OperationGuard &operator=(const OperationGuard &) = delete;

    explicit operator bool() const { return m_owner; }

private:
    rtu::Link &m_link;
    bool m_owner;
};

} // namespace rtu
