#include "link/link.h"
#include "link/side_by_side.h"

#include "link/rtu_master.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QModbusReply>
#include <QVariant>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>

namespace rtu {

namespace {

bus::SerialFormat formatOf(const SerialOptions &o)
{
    return {o.baud, o.dataBits, o.parity != QSerialPort::NoParity,
            o.stopBits == QSerialPort::OneStop ? 1 : 2};
}

// How a request's end reads to the core: the ledger's verdict is the one
// judgement of a reply, this the one translation of it.
core::BusError busError(const Verdict &v)
{
    if (v.ok)
        return {};
    switch (v.error) {
    case QModbusDevice::ProtocolError:
        return {core::BusErrorKind::Exception, v.text, v.exceptionCode};
    case QModbusDevice::TimeoutError:
        return {core::BusErrorKind::NoReply, v.text, 0};
    default: {
        core::BusError error{core::BusErrorKind::Link, v.text, 0};
        error.shortReply = v.shortReply;
        return error;
    }
    }
}

core::BusError linkError(const QString &text)
{
    return {core::BusErrorKind::Link, text, 0};
}

core::BusError noReply()
{
    return {core::BusErrorKind::NoReply, QStringLiteral("no reply"), 0};
}

QModbusDataUnit::RegisterType typeOf(core::Block block)
{
    return block == core::Block::Holding ? QModbusDataUnit::HoldingRegisters
                                         : QModbusDataUnit::InputRegisters;
}

} // namespace

Link::Link(QObject *parent)
    : QObject(parent), m_master(new RtuSerialMaster(this)), m_ledger(new RequestLedger(this)),
      m_budget(bus::lineBudget({}))
{
    connect(m_master, &QModbusDevice::errorOccurred, this, &Link::onDeviceError);
    connect(m_ledger, &RequestLedger::ended, this, &Link::wakeWaits);
    connect(m_ledger, &RequestLedger::givenUp, this, &Link::onGivenUp);
}

// The master goes first, and quietly: closing it finishes outstanding
// replies, whose ends are queued and never delivered.
Link::~Link()
{
    m_shuttingDown = true;
    m_master->disconnect(this);
    delete m_master;
    m_master = nullptr;
}

bool Link::isOpen() const
{
    return m_master && m_master->state() == QModbusDevice::ConnectedState;
}

QString Link::errorString() const
{
    return m_master ? m_master->errorString() : QString();
}

int Link::timeoutMs() const
{
    return m_options.timeoutMs > 0 ? m_options.timeoutMs : m_budget.responseTimeoutMs;
}

void Link::setTimeoutMs(int ms)
{
    m_options.timeoutMs = ms;
    m_master->setTimeout(timeoutMs());
}

// Each connection gets a master of its own: the old one's queue may still hold
// a request that it will never finish. The old master is kept a while, closed,
// for timers it may still have running.
void Link::renewMaster()
{
    if (m_masterUsed) {
        QModbusClient *old = m_master;
        old->disconnect(this);
        QTimer::singleShot(10000, old, &QObject::deleteLater);
        m_master = new RtuSerialMaster(this);
        connect(m_master, &QModbusDevice::errorOccurred, this, &Link::onDeviceError);
    }
    m_masterUsed = true;
}

bool Link::open(const SerialOptions &options)
{
    renewMaster();
    // A connection starts clean, whatever the last one left behind.
    m_ledger->reset();
    m_replyPending = false;
    ++m_generation;
    m_unstored.clear();
    m_heldText.clear();
    m_options = options;
    m_budget = bus::lineBudget(formatOf(options));

    m_master->setConnectionParameter(QModbusDevice::SerialPortNameParameter, options.port);
    m_master->setConnectionParameter(QModbusDevice::SerialParityParameter, options.parity);
    m_master->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, options.baud);
    m_master->setConnectionParameter(QModbusDevice::SerialDataBitsParameter,
                                     QSerialPort::DataBits(options.dataBits));
    m_master->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, options.stopBits);
    m_master->setTimeout(timeoutMs());
    m_master->setNumberOfRetries(0);
    if (!m_master->connectDevice() || m_master->state() == QModbusDevice::UnconnectedState)
        return false;
    emit opened();
    return true;
}

// Words left unstored go back first, while the unit is still the one they came from.
void Link::close()
{
    if (isOpen() && !m_shuttingDown && !m_unstored.isEmpty()) {
        m_closingPutBack = true;
        putBackUnstored();
        m_closingPutBack = false;
    }
    closeNow();
}

void Link::closeNow()
{
    // What could not go back stays noted until the next opening, which may be another unit.
    if (!m_unstored.isEmpty())
        reportHeld(m_unstored.entries());
    // Every outstanding request ends as aborted; their ends still come, queued.
    m_closing = true;
    m_ledger->abortAll();
    m_master->disconnectDevice();
    m_closing = false;
    ++m_generation;
    emit closed();
    wakeWaits();   // an operation on this link ends now
}

void Link::shutDown()
{
    if (isOpen() && !m_shuttingDown && !m_unstored.isEmpty())
        putBackUnstored();
    if (!m_unstored.isEmpty())
        reportHeld(m_unstored.entries());
    m_shuttingDown = true;
    if (isOpen())
        m_master->disconnectDevice();
    wakeWaits();
}

// A line that goes away (adapter unplugged) leaves the master connected but
// deaf, with errors arriving in a flood: close it.
void Link::onDeviceError(QModbusDevice::Error error)
{
    if (m_closing || !isOpen())
        return;
    if (error != QModbusDevice::ConnectionError && error != QModbusDevice::ReadError
        && error != QModbusDevice::WriteError)
        return;
    const QString reason = m_master->errorString();
    closeNow();
    emit lineLost(reason);
}

// The master never finished a request: everything sent after it would pile up
// behind it. Runs inside the ledger's delivery, before any wait looks again.
void Link::onGivenUp()
{
    if (!isOpen() || m_shuttingDown)
        return;
    const QString port = m_options.port;
    closeNow();
    emit portSilent(port);
}

void Link::wakeWaits()
{
    emit bookkeepingChanged(QPrivateSignal());
}

void Link::afterEnd()
{
    m_replyPending = m_ledger->outstandingCount() > 0;
}

quint64 Link::sendRead(QModbusDataUnit::RegisterType type, int start, int count, ReadHandler handler)
{
    if (!isOpen() || m_shuttingDown)
        return 0;
    const QModbusDataUnit unit(type, start, quint16(count));
    auto *reply = m_master->sendReadRequest(unit, m_options.address);
    const bool holding = type == QModbusDataUnit::HoldingRegisters;
    // The ledger follows the reply before anyone else listens: it judges the answer first.
    quint64 id = 0;
    if (reply && !reply->isFinished()) {
        m_replyPending = true;
        id = m_ledger->follow(reply, timeoutMs(),
                              [this, handler](QModbusReply *r, const Verdict &v) {
                                  if (handler)
                                      handler(r ? r->result() : QModbusDataUnit(), v);
                                  afterEnd();
                                  if (r)
                                      r->deleteLater();
                                  emit readEnded(v);
                              },
                              Expected::read(count));
    }
    emit requestIssued({holding ? 3 : 4, m_options.address, start, count, {}}, reply);
    if (!reply) {
        emit requestNotTaken(m_master->errorString());
        return 0;
    }
    if (id == 0)
        delete reply;
    return id;
}

quint64 Link::sendWrite(int start, const QVector<quint16> &values)
{
    if (!isOpen() || m_shuttingDown) {
        afterEnd();
        return 0;
    }
    emit aboutToWrite(start, int(values.size()));
    if (!isOpen() || m_shuttingDown) {
        afterEnd();
        return 0;
    }
    m_replyPending = true;
    const QModbusDataUnit unit(QModbusDataUnit::HoldingRegisters, start, values);
    auto *reply = m_master->sendWriteRequest(unit, m_options.address);
    quint64 id = 0;
    if (reply && !reply->isFinished()) {
        id = m_ledger->follow(reply, timeoutMs(), [this](QModbusReply *r, const Verdict &v) {
            if (r)
                r->deleteLater();
            afterEnd();
            emit writeEnded(v);
        }, Expected::write(start, values));
    }
    emit requestIssued({values.size() == 1 ? 6 : 16, m_options.address, start, int(values.size()), values},
                       reply);
    if (!reply) {
        // Not silent: whoever watches must see that nothing was written.
        afterEnd();
        emit requestNotTaken(m_master->errorString());
        return 0;
    }
    if (id == 0) {   // a broadcast
        afterEnd();
        const Verdict v = verdictOf(reply);
        reply->deleteLater();
        emit writeEnded(v);
        return v.ok ? kAnsweredAtOnce : 0;
    }
    return id;
}

bool Link::operationLinkLost() const
{
    return m_operationRunning && (m_operationGeneration != m_generation || !isOpen());
}

bool Link::runOperation(const std::function<void()> &operation)
{
    OperationGuard guard(*this);
    if (!guard || !startOperation())
        return false;
    operation();
    return true;
}

bool Link::startOperation()
{
    if (!isOpen()) {
        emit operationWithoutLink();
        return false;
    }
    emit operationStarted();
    return true;
}

bool Link::waitUntil(const std::function<bool()> &done, int boundMs)
{
    if (done())
        return true;
    if (m_shuttingDown || operationLinkLost())
        return false;
    // A step beside others (side_by_side.h) gives way to them meanwhile.
    if (sidebyside::inStep()) {
        sidebyside::waitInStep(*this, [&] { return done() || m_shuttingDown || operationLinkLost(); }, boundMs);
        return done();
    }
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    bound.setTimerType(Qt::PreciseTimer);
    connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &Link::bookkeepingChanged, &loop, [&] {
        if (done() || m_shuttingDown || operationLinkLost())
            loop.quit();
    });
    bound.start(boundMs);
    loop.exec();
    return done();
}

// A deliberate pause; it ends early only when there is no point going on.
void Link::waitMs(int ms)
{
    waitUntil([] { return false; }, ms);
}

bool Link::waitForFreeLink(int boundMs)
{
    const bool free = waitUntil([this] { return !m_replyPending; },
                                std::max(boundMs, m_ledger->msUntilAllEnded()));
    return free && !operationLinkLost() && !m_shuttingDown;
}

bool Link::preWait()
{
    return waitForFreeLink(m_budget.preWaitChecks * bus::kPreWaitStepMs);
}

// An attempt costs the checks it waited for, at least one. Waiting out a
// request that was bound to end is not the link being busy: an attempt that
// found the link free leaves the next one a check.
bool Link::takeAttempt(int &budget)
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

std::optional<Verdict> Link::awaitEnd(quint64 id)
{
    if (id == kAnsweredAtOnce)
        return Verdict{true, QModbusDevice::NoError, {}, 0};
    if (id == 0)
        return std::nullopt;
    // At least the result wait, and long enough for the ledger to end the
    // request itself: a step always learns how its request ended.
    m_ledger->keep(id);
    waitUntil([this, id] { return !m_ledger->isOutstanding(id); },
              std::max(m_budget.resultWaitChecks * bus::kResultWaitStepMs, m_ledger->msUntilEnded(id)));
    const bool outstanding = m_ledger->isOutstanding(id);
    const auto v = m_ledger->takeVerdict(id);
    return outstanding ? std::nullopt : v;
}

ReadResult Link::read(core::Block block, int *budget, const ReadHandler &observer,
                      const std::function<void()> &onSent)
{
    return readAndWait(typeOf(block), 0, core::blockCount(block), budget, observer, onSent);
}

ReadResult Link::readAndWait(QModbusDataUnit::RegisterType type, int start, int count, int *budget,
                             const ReadHandler &observer, const std::function<void()> &onSent)
{
    ReadResult result;
    const bool free = budget ? takeAttempt(*budget) : preWait();
    if (!free)
        return result;
    // The end may come after this wait gave up: it keeps the words alive.
    auto words = std::make_shared<QVector<quint16>>();
    const quint64 id = sendRead(type, start, count, [observer, words](const QModbusDataUnit &unit, const Verdict &v) {
        if (v.ok)
            *words = unit.values();
        if (observer)
            observer(unit, v);
    });
    if (id == 0)
        return result;
    if (onSent)
        onSent();
    const auto verdict = awaitEnd(id);
    if (!verdict) {
        result.outcome = ReadOutcome::TimedOut;
        return result;
    }
    result.verdict = *verdict;
    if (verdict->shortReply)
        result.outcome = ReadOutcome::Short;
    else if (!verdict->ok)
        result.outcome = ReadOutcome::Failed;
    else {
        result.outcome = ReadOutcome::Delivered;
        result.words = *words;
    }
    return result;
}

WriteOutcome Link::write(int start, const QVector<quint16> &values, int *budget, Verdict *verdictOut)
{
    m_writeStopped = false;
    if (!m_puttingBack && !putBackUnstored(m_writer)) {
        m_writeStopped = true;
        return WriteOutcome::NotSent;
    }
    const bool free = budget ? takeAttempt(*budget) : preWait();
    if (!free)
        return WriteOutcome::NotSent;
    const quint64 id = sendWrite(start, values);
    if (id == 0)
        return WriteOutcome::NotSent;
    const auto verdict = awaitEnd(id);
    if (verdict && verdictOut)
        *verdictOut = *verdict;
    if (verdict && verdict->ok && !operationLinkLost())
        return WriteOutcome::Accepted;
    if (verdict && verdict->error == QModbusDevice::ProtocolError)
        return WriteOutcome::Refused;
    return WriteOutcome::Unanswered;
}

// A request that never went out: the link was busy or is closed, or words
// another procedure left could not be put back.
core::BusError Link::notSent() const
{
    core::BusError error = linkError(m_writeStopped ? QStringLiteral("not sent: ") + m_heldText
                                     : isOpen()     ? QStringLiteral("link busy")
                                                    : QStringLiteral("link closed"));
    error.sent = false;
    return error;
}

core::BlockReply Link::readBlock(core::Block block)
{
    return readRegisters(typeOf(block), 0, core::blockCount(block));
}

core::BlockReply Link::readRegisters(QModbusDataUnit::RegisterType type, int start, int count)
{
    for (int attempt = 0;; ++attempt) {
        const ReadResult r = readAndWait(type, start, count, nullptr, {}, {});
        core::BlockReply reply{r.words, {}};
        switch (r.outcome) {
        case ReadOutcome::Delivered:
            return reply;
        case ReadOutcome::NotSent:
            reply.error = notSent();
            return reply;
        case ReadOutcome::TimedOut:
            reply.error = noReply();
            break;
        case ReadOutcome::Short:
        case ReadOutcome::Failed:
            reply.error = busError(r.verdict);
            break;
        }
        if (reply.error.kind != core::BusErrorKind::NoReply || attempt >= m_retries)
            return reply;
    }
}

core::BusError Link::writeRegisters(int start, const QVector<quint16> &values)
{
    for (int attempt = 0;; ++attempt) {
        Verdict verdict;
        core::BusError error;
        switch (write(start, values, nullptr, &verdict)) {
        case WriteOutcome::Accepted:
            return {};
        case WriteOutcome::NotSent:
            return notSent();
        case WriteOutcome::Refused:
            return busError(verdict);
        case WriteOutcome::Unanswered:
            // Accepted on a link closed since, or no end at all: nothing is known of it.
            if (operationLinkLost())
                error = linkError(QStringLiteral("link closed"));
            else if (verdict.ok || verdict.error == QModbusDevice::NoError)
                error = noReply();
            else
                error = busError(verdict);
            break;
        }
        if (error.kind != core::BusErrorKind::NoReply || attempt >= m_retries)
            return error;
    }
}

bool Link::putBackUnstored(quintptr except)
{
    const QVector<UnstoredWords::Entry> back = m_unstored.othersThan(except);
    if (back.isEmpty())
        return true;
    if (m_puttingBack || !isOpen() || m_shuttingDown) {
        reportHeld(back);
        return false;
    }
    m_puttingBack = true;
    ++m_putBackCount;
    // A late answer may take one write's place; the same word sent again is harmless.
    for (const UnstoredWords::Entry &e : back)
        for (int attempt = 0; attempt < 2 && write(e.address, {e.putBack}) != WriteOutcome::Accepted; ++attempt) {}
    const core::BlockReply now = readBlock(core::Block::Holding);
    QVector<quintptr> owners;
    QVector<UnstoredWords::Entry> held;
    std::function<bool(const QVector<UnstoredWords::Entry> &)> ownersStep;
    for (const UnstoredWords::Entry &e : back) {
        if (!owners.contains(e.owner))
            owners << e.owner;
        const bool wentBack = now.ok() && e.address < now.words.size() && now.words.at(e.address) == e.putBack;
        if (!ownersStep && e.afterPutBack)
            ownersStep = e.afterPutBack;
        if (!wentBack)
            held << e;
    }
    // Anything more (a store again over one that may have taken the words) is
    // the owner's decision; one step serves every word that went back.
    if (held.isEmpty() && ownersStep && !ownersStep(back))
        held = back;
    m_puttingBack = false;
    for (const UnstoredWords::Entry &e : back) {
        if (!std::any_of(held.begin(), held.end(), [&](const UnstoredWords::Entry &h) { return h.address == e.address; }))
            m_unstored.forget(e.address);
    }
    for (quintptr owner : owners)
        if (!m_unstored.hasOwner(owner))
            emit unstoredPutBack(owner);
    if (held.isEmpty()) {
        if (m_unstored.isEmpty())
            m_heldText.clear();
        return true;
    }
    reportHeld(held);
    return false;
}

void Link::reportHeld(const QVector<UnstoredWords::Entry> &held)
{
    m_heldText = QStringLiteral("RAM holds words not stored in %1; a power cycle reloads the stored image")
                     .arg(unstoredText(held));
    emit unstoredHeld(m_heldText);
}

} // namespace rtu
