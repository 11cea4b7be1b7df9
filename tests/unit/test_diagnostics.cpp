// Trend ring and span statistics, CSV rows, traffic frames and results,
// remembered-settings rules.

#include "diagnostics/crc_watch.h"
#include "diagnostics/csv_log.h"
#include "diagnostics/traffic.h"
#include "diagnostics/trend_samples.h"
#include "window/settings_record.h"

#include <QtTest>
#include <cmath>

using diag::TrendValue;

namespace {

diag::RingBuffer<diag::TrendSample> samples(const QVector<double> &measured, int capacity = 100)
{
    diag::RingBuffer<diag::TrendSample> ring(capacity);
    for (int i = 0; i < measured.size(); ++i)
        ring.push({1000 * i, measured.at(i), 20.0});
    return ring;
}

} // namespace

class TestDiagnostics : public QObject
{
    Q_OBJECT
private slots:
    void ringKeepsNewestInOrder();
    void spanStatistics();
    void spanStartsAtTime();
    void statisticsSkipMissingValues();
    void decimationKeepsSpike();
    void csvRows_data();
    void csvRows();
    void csvHeaderNamesUnits();
    void unitFromRequests();
    void frames_data();
    void frames();
    void classification();
    void crcDiscardMessage();
    void settingsRules();
};

void TestDiagnostics::ringKeepsNewestInOrder()
{
    diag::RingBuffer<int> ring(3);
    for (int i = 1; i <= 5; ++i)
        ring.push(i);
    QCOMPARE(ring.size(), 3);
    QCOMPARE(ring.at(0), 3);
    QCOMPARE(ring.at(2), 5);
    QCOMPARE(ring.newest(), 5);
}

void TestDiagnostics::spanStatistics()
{
    const auto ring = samples({2, 4, 4, 4, 5, 5, 7, 9});
    const diag::SpanStats s = diag::spanStats(ring, 0, TrendValue::Measured);
    QCOMPARE(s.count, 8);
    QCOMPARE(s.min, 2.0);
    QCOMPARE(s.max, 9.0);
    QCOMPARE(s.mean, 5.0);
    QCOMPARE(s.stddev, 2.0);
    // A settled reading far from zero: no cancellation in the spread.
    const auto settled = samples({1000000.1, 1000000.3, 1000000.1, 1000000.3});
    QVERIFY(std::abs(diag::spanStats(settled, 0, TrendValue::Measured).stddev - 0.1) < 1e-6);
}

void TestDiagnostics::spanStartsAtTime()
{
    // Wrapped ring: samples 5..9 remain, at 5000..9000 ms.
    const auto ring = samples({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 5);
    QCOMPARE(diag::firstSampleFrom(ring, 7000), 2);
    QCOMPARE(diag::firstSampleFrom(ring, 6500), 2);
    QCOMPARE(diag::firstSampleFrom(ring, 99999), 5);
    const diag::SpanStats s = diag::spanStats(ring, 7000, TrendValue::Measured);
    QCOMPARE(s.count, 3);
    QCOMPARE(s.mean, 8.0);
}

void TestDiagnostics::statisticsSkipMissingValues()
{
    const auto ring = samples({1, std::nan(""), 3});
    const diag::SpanStats s = diag::spanStats(ring, 0, TrendValue::Measured);
    QCOMPARE(s.count, 2);
    QCOMPARE(s.mean, 2.0);
    QCOMPARE(diag::spanPoints(ring, 0, TrendValue::Measured, 100).size(), 2);
}

void TestDiagnostics::decimationKeepsSpike()
{
    QVector<double> values(1000, 10.0);
    values[537] = 55.0;
    const auto ring = samples(values, 1000);
    const QVector<QPointF> points = diag::spanPoints(ring, 0, TrendValue::Measured, 100);
    QVERIFY(points.size() <= 110);
    QVERIFY(std::any_of(points.begin(), points.end(),
                        [](const QPointF &p) { return p.y() == 55.0 && p.x() == 537000.0; }));
    for (int i = 1; i < points.size(); ++i)
        QVERIFY(points.at(i).x() > points.at(i - 1).x());
}

void TestDiagnostics::csvRows_data()
{
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("want");
    // Input block: measured 3-4, room 5-6, ADC 7-8, decimals 11, mode 12.
    QTest::newRow("tenths") << QVector<quint16>{0, 0, 0, 0, 1234, 0, 235, 0, 5000, 0, 0, 1, 2}
                            << "OK" << "123.4,23.5,5000,2,OK";
    QTest::newRow("negative hundredths") << QVector<quint16>{0, 0, 0, 0xFFFF, 0xFF38, 0, 2350, 0, 7, 0, 0, 2, 0}
                                         << "OK" << "-2.00,23.50,7,0,OK";
    QTest::newRow("short block: no mode, integers")
        << QVector<quint16>{0, 0, 0, 0, 42, 0, 21, 0, 9} << "OK" << "42,21,9,,OK";
    QTest::newRow("undisplayable code, quoted status")
        << QVector<quint16>{0, 0, 0, 0, 42, 0, 21, 0, 9, 0, 0, 7, 1} << "a, \"b\""
        << ",,9,1,\"a, \"\"b\"\"\"";
}

void TestDiagnostics::csvRows()
{
    QFETCH(QVector<quint16>, words);
    QFETCH(QString, status);
    QFETCH(QString, want);
    const QDateTime time(QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::OffsetFromUTC, 3600);
    QCOMPARE(diag::csvLine(reg::decodeLiveValues(words, time), status),
             QStringLiteral("2026-03-04T05:06:07.089+01:00,") + want);
}

void TestDiagnostics::csvHeaderNamesUnits()
{
    const QString fahrenheit = diag::csvHeader(1, 2);
    QVERIFY(fahrenheit.contains(QStringLiteral("measured temperature (°F; decimal-places code 2)")));
    QVERIFY(fahrenheit.contains(QStringLiteral("room temperature (°C; decimal-places code 2)")));
    QCOMPARE(fahrenheit.split(QLatin1Char(',')).size(), 6);   // names need no quoting
    QVERIFY(diag::csvHeader(std::nullopt, 1).contains(QStringLiteral("unit not read yet")));
}

void TestDiagnostics::unitFromRequests()
{
    const QVector<quint16> block = {0, 1, 2, 3, 4, 5, 1, 7};
    QCOMPARE(diag::unitCodeSeen({3, 192, 0, 64, {}}, block, true), std::optional<int>(1));
    QCOMPARE(diag::unitCodeSeen({3, 192, 0, 64, {}}, block, false), std::nullopt);
    QCOMPARE(diag::unitCodeSeen({16, 192, 0, 9, {0, 0, 0, 0, 0, 0, 0, 0, 0}}, {}, true),
             std::optional<int>(0));
    QCOMPARE(diag::unitCodeSeen({6, 192, 6, 1, {1}}, {}, true), std::optional<int>(1));
    QCOMPARE(diag::unitCodeSeen({6, 192, 50, 1, {1}}, {}, true), std::nullopt);
    QCOMPARE(diag::unitCodeSeen({3, 192, 0, 5, {}}, block.mid(0, 5), true), std::nullopt);
}

void TestDiagnostics::frames_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("server");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<quint16>>("values");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("textbook read") << 3 << 1 << 0 << 10 << QVector<quint16>{}
                                   << QByteArray::fromHex("01030000000AC5CD");
    QTest::newRow("input block") << 4 << 192 << 0 << 13 << QVector<quint16>{}
                                 << QByteArray::fromHex("C0040000000D211E");
    QTest::newRow("single write") << 6 << 192 << 50 << 1 << QVector<quint16>{1}
                                  << QByteArray::fromHex("C00600320001F914");
    QTest::newRow("multiple write") << 16 << 192 << 9 << 2 << QVector<quint16>{1, 2}
                                    << QByteArray::fromHex("C010000900020400010002 1B3B");
}

void TestDiagnostics::frames()
{
    QFETCH(int, function);
    QFETCH(int, server);
    QFETCH(int, start);
    QFETCH(int, count);
    QFETCH(QVector<quint16>, values);
    QFETCH(QByteArray, frame);
    const rtu::RequestDescription request{function, server, start, count, values};
    QCOMPARE(diag::rtuFrame(server, diag::requestPdu(request)), frame);
}

void TestDiagnostics::classification()
{
    using R = diag::Result;
    QCOMPARE(diag::classify(QModbusDevice::NoError, 0, false), R::Ok);
    QCOMPARE(diag::classify(QModbusDevice::ProtocolError, 2, false), R::Exception);
    QCOMPARE(diag::classify(QModbusDevice::ProtocolError, 0, false), R::Other);
    QCOMPARE(diag::classify(QModbusDevice::TimeoutError, 0, false), R::Timeout);
    QCOMPARE(diag::classify(QModbusDevice::TimeoutError, 0, true), R::Crc);
    QCOMPARE(diag::classify(QModbusDevice::ReplyAbortedError, 0, true), R::Aborted);
    QCOMPARE(diag::classify(QModbusDevice::ConnectionError, 0, false), R::Other);
}

void TestDiagnostics::crcDiscardMessage()
{
    QVERIFY(diag::CrcWatch::isCrcDiscard(
        "qt.modbus", "(RTU client) Discarding response with wrong CRC, received: 1 , calculated CRC: 2"));
    QVERIFY(!diag::CrcWatch::isCrcDiscard("default", "Discarding response with wrong CRC"));
    QVERIFY(!diag::CrcWatch::isCrcDiscard("qt.modbus", "(RTU client) Receive timeout: \"\""));
    QVERIFY(!diag::CrcWatch::isCrcDiscard(nullptr, "Discarding response with wrong CRC"));
}

void TestDiagnostics::settingsRules()
{
    const QStringList listed = {"/dev/ttyS0", "/dev/ttyUSB1", "/tmp/demo/tool"};
    QCOMPARE(prefs::pickPort("/dev/ttyUSB1", {}, listed), QString("/dev/ttyUSB1"));
    QCOMPARE(prefs::pickPort("/dev/ttyUSB9", {}, listed), QString("/dev/ttyS0"));
    QCOMPARE(prefs::pickPort("/dev/ttyUSB9", {}, {}), QString());
    // An explicit port beats the remembered one, listed or gone.
    QCOMPARE(prefs::pickPort("/dev/ttyUSB1", "/tmp/demo/tool", listed), QString("/tmp/demo/tool"));
    QCOMPARE(prefs::pickPort("/tmp/old/tool", "/tmp/demo/tool", listed), QString("/tmp/demo/tool"));
    QCOMPARE(prefs::pickPort({}, "/tmp/demo/tool", listed), QString("/tmp/demo/tool"));
    QCOMPARE(prefs::pickChoice("9600", {"4800", "9600"}, "4800"), QString("9600"));
    QCOMPARE(prefs::pickChoice("12345", {"4800", "9600"}, "4800"), QString("4800"));
    QVERIFY(prefs::validAddress(" 247"));
    QVERIFY(!prefs::validAddress("0"));
    QVERIFY(!prefs::validAddress("248"));
    QVERIFY(!prefs::validAddress("1x"));
}

QTEST_APPLESS_MAIN(TestDiagnostics)
#include "test_diagnostics.moc"
