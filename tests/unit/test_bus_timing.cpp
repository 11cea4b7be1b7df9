// Timing bounds derived from the baud rate, and the serial-setting tables.

#include "bus_timing.h"
#include "port_list.h"
#include "serial_settings.h"

#include <QtTest>

class TestBusTiming : public QObject
{
    Q_OBJECT
private slots:
    void bounds_data();
    void bounds();
    void resultWaitOutlastsResponseTimeout();
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
