// The link alone, without any window, against the simulator on a virtual line
// at the pace of a real one: what the window, its tabs and tcal-cli rely on.

#include "link/link.h"
#include "link/request_ledger.h"
#include "line_options.h"

#include <QElapsedTimer>
#include <QFile>
#include <QModbusClient>
#include <QModbusReply>
#include <QSignalSpy>
#include <QTimer>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

Q_DECLARE_METATYPE(QModbusDataUnit)

using line::onLine;
using line::optionsFor;

class TestRtuLink : public QObject
{
    Q_OBJECT
private slots:
    void requestsEndWithTheirOwnVerdicts();
    void retriesOnlyWhatGotNoAnswer();
    void closingEndsTheOperationOnIt();
    void silentPortIsGivenUpAndClosed();
    void aStalledLoopDoesNotGiveThePortUp();
    void answersMustEchoTheirRequest_data();
    void answersMustEchoTheirRequest();
    void verdictWaitedForIsNeverPushedOut();
};

void TestRtuLink::requestsEndWithTheirOwnVerdicts()
{
    SimulatorFixture f(onLine(9600));
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    rtu::Link link;
    QVERIFY(link.open(optionsFor(f)));
    QCOMPARE(link.master()->timeout(), 533);   // the line's own response timeout

    f.sim().setHolding(1, 4321);
    const core::BlockReply holding = link.readBlock(core::Block::Holding);
    QVERIFY(holding.ok());
    QCOMPARE(holding.words.size(), 64);
    QCOMPARE(holding.words.at(1), quint16(4321));

    QVERIFY(link.writeRegisters(2, {quint16(-200), 7}).ok());
    QCOMPARE(f.sim().holding(2), uint16_t(quint16(-200)));
    QCOMPARE(f.sim().holding(3), uint16_t(7));

    f.sim().refuseWrites(5, 2);
    const core::BusError refused = link.writeRegisters(5, {3});
    QCOMPARE(refused.kind, core::BusErrorKind::Exception);
    QCOMPARE(refused.exceptionCode, 2);
    QCOMPARE(link.write(5, {3}), rtu::WriteOutcome::Refused);

    // Fewer words than asked for are no answer: nothing of them is handed on.
    f.sim().setShortRead(11);
    const rtu::ReadResult shortRead = link.read(core::Block::Input);
    QCOMPARE(shortRead.outcome, rtu::ReadOutcome::Short);
    QVERIFY(shortRead.words.isEmpty());
    QVERIFY(shortRead.verdict.text.contains("11 of 13"));
    QCOMPARE(link.readBlock(core::Block::Input).error.kind, core::BusErrorKind::Link);
    f.sim().clearFaults();

    f.sim().setSilent(true);
    QList<rtu::Verdict> ended;
    connect(&link, &rtu::Link::readEnded, this, [&](const rtu::Verdict &v) { ended << v; });
    QCOMPARE(link.readBlock(core::Block::Input).error.kind, core::BusErrorKind::NoReply);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.at(0).error, QModbusDevice::TimeoutError);
    QVERIFY(link.isOpen());
    QVERIFY(!link.replyPending());
}

void TestRtuLink::retriesOnlyWhatGotNoAnswer()
{
    SimulatorFixture f(onLine(9600));
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    rtu::Link link;
    QVERIFY(link.open(optionsFor(f)));
    link.setRetries(1);

    f.sim().dropNext(1);
    QVERIFY(link.writeRegisters(4, {12}).ok());
    QCOMPARE(f.sim().requestCount(6, 4), 2);   // the same words again

    f.sim().clearRequests();
    f.sim().refuseWrites(5, 3);
    QCOMPARE(link.writeRegisters(5, {1}).kind, core::BusErrorKind::Exception);
    QCOMPARE(f.sim().requestCount(6, 5), 1);   // a refusal is an answer

    f.sim().clearRequests();
    f.sim().dropNext(2);
    QCOMPARE(link.readBlock(core::Block::Input).error.kind, core::BusErrorKind::NoReply);
    QCOMPARE(f.sim().requestCount(4), 2);
}

// An operation pins the link it started on: a close during its wait ends the
// wait at once, and nothing it sends afterwards goes out on a new link.
void TestRtuLink::closingEndsTheOperationOnIt()
{
    SimulatorFixture f(onLine(4800));
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    rtu::Link link;
    QVERIFY(link.open(optionsFor(f)));
    const quint64 first = link.generation();
    f.sim().setReplyDelayMs(400);

    QElapsedTimer waited;
    rtu::ReadResult during;
    rtu::WriteOutcome after = rtu::WriteOutcome::Accepted;
    QTimer::singleShot(100, &link, [&] { link.close(); });
    const bool ran = link.runOperation([&] {
        QVERIFY(!link.runOperation([] {}));   // a second operation does nothing
        waited.start();
        during = link.read(core::Block::Holding);
        QVERIFY(link.operationLinkLost());
        QVERIFY(link.open(optionsFor(f)));    // reopened under the operation
        after = link.write(4, {1});
    });
    QVERIFY(ran);
    QVERIFY(waited.elapsed() < 400);
    QVERIFY(during.outcome != rtu::ReadOutcome::Delivered);
    QCOMPARE(after, rtu::WriteOutcome::NotSent);
    QCOMPARE(link.generation(), first + 2);
    QCOMPARE(f.sim().requestCount(6), 0);

    link.close();
    QSignalSpy refused(&link, &rtu::Link::operationWithoutLink);
    QVERIFY(!link.runOperation([] { QFAIL("ran without a link"); }));
    QCOMPARE(refused.count(), 1);
}

// A port whose output never drains: the master neither sends nor times out.
// The ledger gives the request up, the link closes and names the port.
void TestRtuLink::silentPortIsGivenUpAndClosed()
{
    SimulatorFixture f(onLine(9600));
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    rtu::Link link;
    QVERIFY(link.open(optionsFor(f)));
    QSignalSpy silent(&link, &rtu::Link::portSilent);
    QSignalSpy closed(&link, &rtu::Link::closed);
    const int stop = ::open(QFile::encodeName(f.toolPort()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(stop >= 0);
    QCOMPARE(::tcflow(stop, TCOOFF), 0);
    const rtu::ReadResult r = link.read(core::Block::Holding);
    ::tcflow(stop, TCOON);
    ::close(stop);
    QCOMPARE(r.outcome, rtu::ReadOutcome::Failed);
    QCOMPARE(r.verdict.error, QModbusDevice::TimeoutError);
    QCOMPARE(silent.count(), 1);
    QCOMPARE(silent.at(0).at(0).toString(), f.toolPort());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!link.isOpen());
    QVERIFY(f.sim().requests().empty());
}

// The window's own thread busy for seconds (a passphrase's key derivation on a
// loaded machine) with reads queued, as the poll queues them: each read ends
// with its own verdict, and the port, which answered all along, stays open.
void TestRtuLink::aStalledLoopDoesNotGiveThePortUp()
{
    SimulatorFixture f(onLine(9600));
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    rtu::Link link;
    QVERIFY(link.open(optionsFor(f)));
    QSignalSpy silent(&link, &rtu::Link::portSilent);
    int ended = 0;
    for (int i = 0; i < 4; ++i)
        link.sendRead(QModbusDataUnit::HoldingRegisters, 0, 64, [&](const QModbusDataUnit &, const rtu::Verdict &) { ++ended; });
    QThread::msleep(4000);
    QTRY_COMPARE_WITH_TIMEOUT(ended, 4, 10000);
    QCOMPARE(silent.count(), 0);
    QVERIFY(link.isOpen());
    QVERIFY(link.readBlock(core::Block::Holding).ok());
}

void TestRtuLink::answersMustEchoTheirRequest_data()
{
    QTest::addColumn<QModbusDataUnit>("answer");
    QTest::addColumn<int>("readCount");
    QTest::addColumn<int>("writeStart");
    QTest::addColumn<QVector<quint16>>("written");
    QTest::addColumn<bool>("ok");
    using U = QModbusDataUnit;
    QTest::newRow("read, all registers") << U(U::HoldingRegisters, 0, QVector<quint16>(64)) << 64 << -1 << QVector<quint16>{} << true;
    QTest::newRow("read, too many") << U(U::InputRegisters, 0, QVector<quint16>(64)) << 13 << -1 << QVector<quint16>{} << false;
    QTest::newRow("read, too few") << U(U::HoldingRegisters, 0, QVector<quint16>(11)) << 13 << -1 << QVector<quint16>{} << false;
    QTest::newRow("6, echoed") << U(U::HoldingRegisters, 13, QVector<quint16>{2400}) << 0 << 13 << QVector<quint16>{2400} << true;
    QTest::newRow("6, other register") << U(U::HoldingRegisters, 62, QVector<quint16>{321}) << 0 << 13 << QVector<quint16>{4800} << false;
    QTest::newRow("6, other value") << U(U::HoldingRegisters, 13, QVector<quint16>{2400}) << 0 << 13 << QVector<quint16>{4800} << false;
    QTest::newRow("16, echoed") << U(U::HoldingRegisters, 0, QVector<quint16>(9)) << 0 << 0 << QVector<quint16>(9) << true;
    QTest::newRow("16, other count") << U(U::HoldingRegisters, 0, QVector<quint16>(2)) << 0 << 0 << QVector<quint16>(9) << false;
    QTest::newRow("16, other start") << U(U::HoldingRegisters, 11, QVector<quint16>(2)) << 0 << 12 << QVector<quint16>(2) << false;
}

void TestRtuLink::answersMustEchoTheirRequest()
{
    QFETCH(QModbusDataUnit, answer);
    QFETCH(int, readCount);
    QFETCH(int, writeStart);
    QFETCH(QVector<quint16>, written);
    QFETCH(bool, ok);
    rtu::Verdict v;
    v.ok = true;
    rtu::judgeAnswer(v, answer, {readCount, writeStart, written});
    QCOMPARE(v.ok, ok);
    QCOMPARE(v.mismatch || v.shortReply, !ok);
}

// A refusal an operation waits for outlives any number of later ends: it is
// never taken for "unanswered".
void TestRtuLink::verdictWaitedForIsNeverPushedOut()
{
    rtu::RequestLedger ledger;
    auto end = [&ledger](QModbusDevice::Error error) {
        auto *reply = new QModbusReply(QModbusReply::Common, 192, &ledger);
        const quint64 id = ledger.follow(reply, 1000, [](QModbusReply *, const rtu::Verdict &) {});
        reply->setError(error, QStringLiteral("refused"));
        return id;
    };
    const quint64 refused = end(QModbusDevice::ProtocolError);
    ledger.keep(refused);
    for (int i = 0; i < 200; ++i)
        end(QModbusDevice::NoError);
    QTRY_COMPARE(ledger.outstandingCount(), 0);
    const auto verdict = ledger.takeVerdict(refused);
    QVERIFY(verdict);
    QCOMPARE(verdict->error, QModbusDevice::ProtocolError);
}

QTEST_GUILESS_MAIN(TestRtuLink)
#include "test_rtu_link.moc"
