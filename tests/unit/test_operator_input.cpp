// Operator numbers become exactly the register value they mean, or nothing.

#include "core/operator_input.h"

#include <QtTest>

class TestOperatorInput : public QObject
{
    Q_OBJECT
private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void limitTexts();
};

void TestOperatorInput::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("scale");
    QTest::addColumn<qint64>("want");
    QTest::newRow("0.29 not truncated") << "0.29" << 100 << qint64(29);
    QTest::newRow("25.3 hundredths") << "25.3" << 100 << qint64(2530);
    QTest::newRow("100 tenths") << "100" << 10 << qint64(1000);
    QTest::newRow("100. tenths") << "100." << 10 << qint64(1000);
    QTest::newRow("1. is one, not a tenth") << "1." << 10 << qint64(10);
    QTest::newRow("100.5") << "100.5" << 10 << qint64(1005);
    QTest::newRow("-1.5 hundredths") << "-1.5" << 100 << qint64(-150);
    QTest::newRow("-20.0") << "-20.0" << 10 << qint64(-200);
    QTest::newRow("4.001 mA") << "4.001" << 1000 << qint64(4001);
    QTest::newRow("19.999 mA") << "19.999" << 1000 << qint64(19999);
    QTest::newRow("rounds half up") << "0.295" << 100 << qint64(30);
    QTest::newRow("rounds negative away") << "-0.295" << 100 << qint64(-30);
    QTest::newRow("rounds down") << "100.54" << 10 << qint64(1005);
    QTest::newRow("leading dot") << ".5" << 100 << qint64(50);
    QTest::newRow("plus sign and blanks") << " +2.5 " << 10 << qint64(25);
    QTest::newRow("upper limit") << "3000.0" << 10 << qint64(30000);
    QTest::newRow("lower limit") << "-300" << 10 << qint64(-3000);
    QTest::newRow("hundredths min") << "-327.68" << 100 << qint64(-32768);
    QTest::newRow("meter max") << "65.535" << 1000 << qint64(65535);
}

void TestOperatorInput::accepted()
{
    QFETCH(QString, text);
    QFETCH(int, scale);
    QFETCH(qint64, want);
    const input::Range wide{-1000000, 1000000};
    QCOMPARE(input::scaled(text, scale, wide), std::optional<qint64>(want));
}

void TestOperatorInput::refused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("scale");
    QTest::addColumn<qint64>("min");
    QTest::addColumn<qint64>("max");
    const auto t = input::kRangeLimitTenths;
    const auto h = input::kSignedHundredths;
    const auto m = input::kMicroamperes;
    QTest::newRow("empty") << "" << 10 << t.min << t.max;
    QTest::newRow("blank") << "   " << 10 << t.min << t.max;
    QTest::newRow("letters") << "abc" << 10 << t.min << t.max;
    QTest::newRow("trailing junk") << "12a" << 10 << t.min << t.max;
    QTest::newRow("exponent") << "1e3" << 10 << t.min << t.max;
    QTest::newRow("decimal comma") << "1,5" << 100 << h.min << h.max;
    QTest::newRow("lone sign") << "-" << 10 << t.min << t.max;
    QTest::newRow("lone dot") << "." << 10 << t.min << t.max;
    QTest::newRow("two dots") << "1.2.3" << 10 << t.min << t.max;
    QTest::newRow("above range") << "3000.1" << 10 << t.min << t.max;
    QTest::newRow("below range") << "-300.1" << 10 << t.min << t.max;
    QTest::newRow("would wrap") << "327.68" << 100 << h.min << h.max;
    QTest::newRow("negative current") << "-0.001" << 1000 << m.min << m.max;
    QTest::newRow("70 mA") << "70" << 1000 << m.min << m.max;
    QTest::newRow("huge") << "99999999999999999999" << 10 << t.min << t.max;
}

void TestOperatorInput::refused()
{
    QFETCH(QString, text);
    QFETCH(int, scale);
    QFETCH(qint64, min);
    QFETCH(qint64, max);
    QVERIFY(!input::scaled(text, scale, {min, max}));
}

void TestOperatorInput::limitTexts()
{
    QCOMPARE(input::limitText(-3000, 10), QString("-300.0"));
    QCOMPARE(input::limitText(30000, 10), QString("3000.0"));
    QCOMPARE(input::limitText(-32768, 100), QString("-327.68"));
    QCOMPARE(input::limitText(65535, 1000), QString("65.535"));
    QCOMPARE(input::limitText(5, 100), QString("0.05"));
    QCOMPARE(input::toWord(-150), quint16(65386));
    QCOMPARE(input::toWord(-32768), quint16(32768));
}

QTEST_APPLESS_MAIN(TestOperatorInput)
#include "test_operator_input.moc"
