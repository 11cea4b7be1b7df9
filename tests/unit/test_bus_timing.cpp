// Timing bounds derived from the baud rate, and the serial-setting tables.

#include "link/bus_timing.h"
#include "link/port_list.h"
#include "link/serial_settings.h"

#include <QtTest>

class TestBusTiming : public QObject
{
    Q_OBJECT
private slots:
    void bounds_data();
    void bounds();
    void resultWaitOutlastsResponseTimeout();
    void lineBudget_data();
    void lineBudget();
    void budgetsCoverTheLongestExchange();
    void parity();
    void stopBits();
    void extraPorts();
};

void TestBusTiming::bounds_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("preWait");
    QTest::addColumn<int>("resultWait");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("poll");
    QTest::newRow("1200") << 1200 << 1066 << 13 << 45 << 1466 << 1566;
    QTest::newRow("2400") << 2400 << 533 << 8 << 34 << 933 << 1033;
    QTest::newRow("4800") << 4800 << 266 << 5 << 29 << 666 << 766;
    QTest::newRow("9600") << 9600 << 133 << 4 << 26 << 533 << 633;
}

void TestBusTiming::bounds()
{
    QFETCH(int, baud);
    QFETCH(int, unit);
    QFETCH(int, preWait);
    QFETCH(int, resultWait);
    QFETCH(int, timeout);
    QFETCH(int, poll);
    QCOMPARE(bus::unitMs(baud), unit);
    QCOMPARE(bus::preWaitChecks(baud), preWait);
    QCOMPARE(bus::resultWaitChecks(baud), resultWait);
    QCOMPARE(bus::responseTimeoutMs(baud), timeout);
    QCOMPARE(bus::pollPeriodMs(baud), poll);
}

void TestBusTiming::resultWaitOutlastsResponseTimeout()
{
    // A silent transmitter must end an operation's wait through the reply's
    // timeout, not through the count.
    for (int baud : {1200, 2400, 4800, 9600, 19200, 115200})
        QVERIFY2(bus::resultWaitChecks(baud) * bus::kResultWaitStepMs > bus::responseTimeoutMs(baud),
                 qPrintable(QString::number(baud)));
    QCOMPARE(bus::unitMs(0), 0);   // unparsable rate: no division by zero
}

void TestBusTiming::lineBudget_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<bool>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("exchange");   // hand-computed: 148 characters + 50 ms turnaround
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("preWait");
    QTest::addColumn<int>("resultWait");
    QTest::addColumn<int>("poll");
    // 12 bits a character, 10 ms: 1480 ms on the wire; the unit's 1466 ms is too short.
    QTest::newRow("1200 8E2") << 1200 << true << 2 << 1530 << 1730 << 17 << 50 << 1830;
    // 11 bits, 4.583 ms: 678.3 ms; the unit-derived bounds already cover it.
    QTest::newRow("2400 8O1") << 2400 << true << 1 << 729 << 933 << 9 << 34 << 1033;
    // 10 bits, 2.083 ms: 308.3 ms.
    QTest::newRow("4800 8N1") << 4800 << false << 1 << 359 << 666 << 5 << 29 << 766;
    QTest::newRow("9600 8E2") << 9600 << true << 2 << 235 << 533 << 4 << 26 << 633;
}

void TestBusTiming::lineBudget()
{
    QFETCH(int, baud);
    QFETCH(bool, parity);
    QFETCH(int, stopBits);
    QFETCH(int, exchange);
    const bus::SerialFormat format{baud, 8, parity, stopBits};
    QCOMPARE(bus::longestExchangeMs(format), exchange);
    const bus::LineBudget b = bus::lineBudget(format);
    QTEST(b.responseTimeoutMs, "timeout");
    QTEST(b.preWaitChecks, "preWait");
    QTEST(b.resultWaitChecks, "resultWait");
    QTEST(b.pollPeriodMs, "poll");
    QCOMPARE(b.commandChecks, std::max(bus::kCommandBudget, b.preWaitChecks));
}

void TestBusTiming::budgetsCoverTheLongestExchange()
{
    for (int baud : {1200, 2400, 4800, 9600, 19200, 115200}) {
        for (bool parity : {false, true}) {
            for (int stop : {1, 2}) {
                const bus::SerialFormat f{baud, 8, parity, stop};
                const bus::LineBudget b = bus::lineBudget(f);
                const int exchange = bus::longestExchangeMs(f);
                const QByteArray row = QByteArray::number(baud) + (parity ? "E" : "N") + QByteArray::number(stop);
                QVERIFY2(b.responseTimeoutMs >= exchange + bus::kTimeoutMarginMs, row);
                QVERIFY2(b.preWaitChecks * bus::kPreWaitStepMs >= exchange, row);
                QVERIFY2(b.commandChecks * bus::kPreWaitStepMs >= exchange, row);
                QVERIFY2(b.resultWaitChecks * bus::kResultWaitStepMs > b.responseTimeoutMs, row);
                QVERIFY2(b.responseTimeoutMs >= bus::responseTimeoutMs(baud), row);
            }
        }
    }
}

void TestBusTiming::parity()
{
    QCOMPARE(serial::parityFromText("None"), QSerialPort::NoParity);
    QCOMPARE(serial::parityFromText("Odd"), QSerialPort::OddParity);
    QCOMPARE(serial::parityFromText("Event"), QSerialPort::EvenParity);
    QCOMPARE(serial::parityFromText("Mark"), QSerialPort::MarkParity);
    QCOMPARE(serial::parityFromText("Space"), QSerialPort::SpaceParity);
    QCOMPARE(serial::parityFromText("none"), QSerialPort::MarkParity);   // case-sensitive
    QCOMPARE(serial::parityFromText("Even"), QSerialPort::MarkParity);
}

void TestBusTiming::stopBits()
{
    QCOMPARE(serial::stopBitsFromText("1"), QSerialPort::OneStop);
    QCOMPARE(serial::stopBitsFromText("1.5"), QSerialPort::OneAndHalfStop);
    QCOMPARE(serial::stopBitsFromText("2"), QSerialPort::TwoStop);
    QCOMPARE(serial::stopBitsFromText(""), QSerialPort::OneAndHalfStop);
}

void TestBusTiming::extraPorts()
{
    QCOMPARE(ports::extraPorts("/tmp/a:/tmp/b"), QStringList({"/tmp/a", "/tmp/b"}));
    QCOMPARE(ports::extraPorts("::/tmp/a:"), QStringList({"/tmp/a"}));
    QVERIFY(ports::extraPorts("").isEmpty());
    qputenv("TCAL_EXTRA_PORTS", "/tmp/tcal-x:/tmp/tcal-y");
    const QStringList list = ports::availablePorts();
    QVERIFY(list.size() >= 2);
    QCOMPARE(list.mid(list.size() - 2), QStringList({"/tmp/tcal-x", "/tmp/tcal-y"}));
}

QTEST_APPLESS_MAIN(TestBusTiming)
#include "test_bus_timing.moc"
