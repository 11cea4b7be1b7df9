// Register map encodings and code tables.

#include "core/live_values.h"
#include "core/registers.h"

#include <QtTest>

class TestRegisters : public QObject
{
    Q_OBJECT
private slots:
    void join32_data();
    void join32();
    void shortBlockReadsZero();
    void scaledTexts_data();
    void scaledTexts();
    void temperatureText_data();
    void temperatureText();
    void inputTypeTable();
    void unitAndIndexTables();
    void roomOffset_data();
    void roomOffset();
};

void TestRegisters::join32_data()
{
    QTest::addColumn<quint16>("high");
    QTest::addColumn<quint16>("low");
    QTest::addColumn<qint32>("want");
    QTest::newRow("negative -200") << quint16(65535) << quint16(65336) << -200;
    QTest::newRow("carry into high word") << quint16(1) << quint16(0) << 65536;
    QTest::newRow("100000") << quint16(1) << quint16(34464) << 100000;
    QTest::newRow("minus one") << quint16(65535) << quint16(65535) << -1;
    QTest::newRow("131072") << quint16(2) << quint16(0) << 131072;
    QTest::newRow("70000") << quint16(1) << quint16(4464) << 70000;
}

void TestRegisters::join32()
{
    QFETCH(quint16, high);
    QFETCH(quint16, low);
    QFETCH(qint32, want);
    QCOMPARE(reg::join32(high, low), want);
    QCOMPARE(reg::value32({0, high, low}, 1), want);
}

void TestRegisters::shortBlockReadsZero()
{
    QVector<quint16> block(16, 0);
    block[15] = 3;
    // 50 mV point has its high word only; 0 mV point is missing entirely.
    QCOMPARE(reg::value32(block, 15), 3 * 65536);
    QCOMPARE(reg::value32(block, 17), 0);
    QCOMPARE(reg::word(block, 64), quint16(0));
    QCOMPARE(reg::word(block, -1), quint16(0));
}

void TestRegisters::scaledTexts_data()
{
    QTest::addColumn<quint16>("word");
    QTest::addColumn<QString>("tenths");
    QTest::addColumn<QString>("hundredths");
    QTest::newRow("-5") << quint16(65531) << "-0.5" << "-0.05";
    QTest::newRow("1234") << quint16(1234) << "123.4" << "12.34";
    QTest::newRow("1500") << quint16(1500) << "150.0" << "15.00";
    QTest::newRow("-200") << quint16(65336) << "-20.0" << "-2.00";
    QTest::newRow("-25") << quint16(65511) << "-2.5" << "-0.25";
    QTest::newRow("zero") << quint16(0) << "0.0" << "0.00";
    QTest::newRow("most negative") << quint16(32768) << "-3276.8" << "-327.68";
}

void TestRegisters::scaledTexts()
{
    QFETCH(quint16, word);
    QFETCH(QString, tenths);
    QFETCH(QString, hundredths);
    QCOMPARE(reg::tenthsText(word), tenths);
    QCOMPARE(reg::hundredthsText(word), hundredths);
}

void TestRegisters::temperatureText_data()
{
    QTest::addColumn<qint32>("raw");
    QTest::addColumn<bool>("haveCode");
    QTest::addColumn<quint16>("code");
    QTest::addColumn<QString>("want");
    QTest::newRow("tenths") << 235 << true << quint16(1) << "23.5";
    QTest::newRow("hundredths negative") << -100 << true << quint16(2) << "-1.00";
    QTest::newRow("whole") << 235 << true << quint16(0) << "235";
    QTest::newRow("unknown code") << 235 << true << quint16(3) << "";
    QTest::newRow("short reply") << 235 << false << quint16(1) << "235";
    QTest::newRow("negative tenths") << -200 << true << quint16(1) << "-20.0";
    QTest::newRow("large") << 123456789 << true << quint16(2) << "1234567.89";
}

void TestRegisters::temperatureText()
{
    QFETCH(qint32, raw);
    QFETCH(bool, haveCode);
    QFETCH(quint16, code);
    QFETCH(QString, want);
    QCOMPARE(reg::temperatureText(raw, haveCode, code), want);
}

void TestRegisters::inputTypeTable()
{
    const QList<quint16> codes = {0, 32, 33, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int i = 0; i < codes.size(); ++i) {
        QCOMPARE(reg::inputTypeIndex(codes[i]), std::optional<int>(i));
        QCOMPARE(reg::inputTypeCode(i), std::optional<quint16>(codes[i]));
    }
    QCOMPARE(reg::inputTypeIndex(7), std::optional<int>(9));   // "T"
    QVERIFY(!reg::inputTypeIndex(10));
    QVERIFY(!reg::inputTypeIndex(12));
    QVERIFY(!reg::inputTypeIndex(34));
    QVERIFY(!reg::inputTypeCode(-1));
    QVERIFY(!reg::inputTypeCode(12));
}

void TestRegisters::unitAndIndexTables()
{
    QCOMPARE(reg::unitIndex(1), std::optional<int>(1));
    QVERIFY(!reg::unitIndex(5));
    QVERIFY(!reg::unitCode(-1));
    QCOMPARE(reg::unitCode(0), std::optional<quint16>(0));
    QCOMPARE(reg::filterIndex(3), 2);
    QCOMPARE(reg::roomGainIndex(10), 5);
    QCOMPARE(reg::roomGainIndex(20), 15);
    QCOMPARE(reg::roomGainIndex(12), 7);
    QCOMPARE(reg::roomGainValue(15), quint16(20));
}

// The room offset must make the display read the reference at every decimal
// code the display can show; anything else is refused rather than guessed.
void TestRegisters::roomOffset_data()
{
    QTest::addColumn<bool>("haveCode");
    QTest::addColumn<int>("code");
    QTest::addColumn<qint64>("target");    // hundredths
    QTest::addColumn<qint32>("reading");   // raw, scaled by the code
    QTest::addColumn<qint64>("want");      // -1: refused
    QTest::newRow("tenths 23.5 -> 25.5") << true << 1 << qint64(2550) << 235 << qint64(200);
    QTest::newRow("hundredths 23.50 -> 25.30") << true << 2 << qint64(2530) << 2350 << qint64(180);
    QTest::newRow("whole 23 -> 25") << true << 0 << qint64(2500) << 23 << qint64(200);
    QTest::newRow("short reply: whole") << false << 7 << qint64(2500) << 23 << qint64(200);
    QTest::newRow("negative reading") << true << 1 << qint64(-350) << -50 << qint64(150);
    QTest::newRow("code 3 refused") << true << 3 << qint64(2550) << 23500 << qint64(-1);
    QTest::newRow("unknown code refused") << true << 9 << qint64(2550) << 235 << qint64(-1);
    QTest::newRow("beyond the register") << true << 2 << qint64(-32768) << 2000 << qint64(-1);
    QTest::newRow("lowest that fits") << true << 2 << qint64(-32768) << 0 << qint64(-32768);
}

void TestRegisters::roomOffset()
{
    QFETCH(bool, haveCode);
    QFETCH(int, code);
    QFETCH(qint64, target);
    QFETCH(qint32, reading);
    QFETCH(qint64, want);
    const auto got = reg::roomOffsetHundredths(target, reading,
                                               reg::temperatureDivisor(haveCode, quint16(code)));
    QCOMPARE(got.value_or(-1), want);
}

QTEST_APPLESS_MAIN(TestRegisters)
#include "test_registers.moc"
