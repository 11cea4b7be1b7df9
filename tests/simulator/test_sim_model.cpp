// The simulator's pure parts: live-value model, line timing, CRC, console
// commands and the store file.
#include "console.h"
#include "model.h"
#include "sensor_tables.h"
#include "simulator.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace sim;
using namespace sim::model;

class TestSimModel : public QObject {
    Q_OBJECT

private slots:
    void adcIsLinearAndNeedsThirtyTwoBits();
    void calibrationPointsMapTheAdcBack();
    void temperatureFollowsTypeUnitAndOffset();
    void roomTemperatureUsesOffsetAndGain();
    void inputBlockEncoding();
    void loopCurrentFollowsCommandsAndTrims();
    void lineTimeAtFourThousandEightHundredBaud();
    void crcMatchesKnownFrame();
    void consoleCommandsReachTheSimulator();
    void consoleRejectsNonsense();
    void appliedCelsiusReadsBackThroughEveryType();
    void inputErrorShowsAndTwoPointCalibrationRemovesIt();
    void standardTables_data();
    void standardTables();
    void standardCurvesConvertTheDisplayToo();
    void storeFileRoundTrip();
    void startFailsOnMissingPort();
};

void TestSimModel::adcIsLinearAndNeedsThirtyTwoBits()
{
    QCOMPARE(adcFromMillivolts(0.0), 120);
    QCOMPARE(adcFromMillivolts(50.0), 100120);
    QCOMPARE(adcFromMillivolts(-5.0), -9880);
    QCOMPARE(adcFromOhms(100.0), 100250);
    QCOMPARE(adcFromOhms(200.0), 200250);

    uint16_t hi = 0, lo = 0;
    fromInt32(100120, hi, lo);
    QCOMPARE(hi, uint16_t(1));
    QCOMPARE(lo, uint16_t(34584));
    fromInt32(-200, hi, lo);
    QCOMPARE(hi, uint16_t(65535));
    QCOMPARE(lo, uint16_t(65336));
    QCOMPARE(toInt32(65535, 65336), -200);
    QCOMPARE(toInt32(1, 0), 65536);
}

void TestSimModel::calibrationPointsMapTheAdcBack()
{
    QCOMPARE(millivoltsFromAdc(adcFromMillivolts(25.0), 100120, 120), 25.0);
    QCOMPARE(millivoltsFromAdc(adcFromMillivolts(-3.0), 100120, 120), -3.0);
    QCOMPARE(ohmsFromAdc(adcFromOhms(138.5), 100250, 200250), 138.5);
    // A converter that reads 1 % high is compensated by points captured on it.
    QCOMPARE(millivoltsFromAdc(1010, 50500, 0), 1.0);
    // Equal points must not divide by zero.
    QCOMPARE(millivoltsFromAdc(5000, 700, 700), 0.0);
    QCOMPARE(ohmsFromAdc(5000, 700, 700), 100.0);
}

void TestSimModel::temperatureFollowsTypeUnitAndOffset()
{
    HoldingImage h = defaultHolding();
    const double room = 23.5;
    // Type K: 4 mV at 40 uV/degC plus the cold junction.
    QCOMPARE(measuredTemperature(h, adcFromMillivolts(4.0), room), 123.5);
    QVERIFY(qAbs(measuredTemperature(h, adcFromMillivolts(-0.94), room)) < 1e-9);

    h[6] = 1; // degF
    QVERIFY(qAbs(measuredTemperature(h, adcFromMillivolts(4.0), room) - 254.3) < 1e-9);
    h[6] = 0;
    h[4] = static_cast<uint16_t>(-150); // -1.50
    QVERIFY(qAbs(measuredTemperature(h, adcFromMillivolts(4.0), room) - 122.0) < 1e-9);
    h[4] = 0;

    h[0] = 32; // PT100: no cold junction
    QVERIFY(qAbs(measuredTemperature(h, adcFromOhms(138.5), room) - 100.0) < 1e-9);
    h[0] = 33; // Cu50
    QVERIFY(qAbs(measuredTemperature(h, adcFromOhms(60.7), room) - 50.0) < 1e-9);

    // Points captured at a drifted converter change the reading.
    h[0] = 0;
    fromInt32(200120, h[15], h[16]); // claims 50 mV reads twice as many counts
    QVERIFY(qAbs(measuredTemperature(h, adcFromMillivolts(4.0), 0.0) - 50.0) < 1e-9);

    QVERIFY(isRtd(32) && isRtd(33));
    QVERIFY(!isRtd(0) && !isRtd(9) && !isRtd(34));
}

void TestSimModel::roomTemperatureUsesOffsetAndGain()
{
    QCOMPARE(roomCelsius(23.5, 0, 10), 23.5);
    QVERIFY(qAbs(roomCelsius(23.5, 61, 12) - 28.81) < 1e-9);
    QVERIFY(qAbs(roomCelsius(25.0, 65486, 10) - 24.5) < 1e-9); // -0.50
    QCOMPARE(roomCelsius(-5.0, 0, 10), -5.0);
}

void TestSimModel::inputBlockEncoding()
{
    HoldingImage h = defaultHolding();
    Environment env;
    env.millivolts = 4.0;
    env.ambient = -20.0;
    env.decimalCode = 1;
    env.reportedMode = 3;
    InputImage in = evaluateInputs(h, env);
    QCOMPARE(toInt32(in[3], in[4]), 800);   // 100 - 20 = 80.0
    QCOMPARE(in[5], uint16_t(65535));       // room -20.0 -> -200
    QCOMPARE(in[6], uint16_t(65336));
    QCOMPARE(toInt32(in[7], in[8]), 8120);
    QCOMPARE(in[9], uint16_t(0));
    QCOMPARE(in[11], uint16_t(1));
    QCOMPARE(in[12], uint16_t(3));
    QCOMPARE(in[0], uint16_t(0));
    QCOMPARE(in[10], uint16_t(0));

    env.decimalCode = 2;
    in = evaluateInputs(h, env);
    QCOMPARE(toInt32(in[3], in[4]), 8000);
    QCOMPARE(toInt32(in[5], in[6]), -2000);
    env.decimalCode = 0;
    in = evaluateInputs(h, env);
    QCOMPARE(toInt32(in[3], in[4]), 80);

    // A big thermocouple voltage: the ADC word pair carries more than 16 bits.
    env.millivolts = 50.0;
    in = evaluateInputs(h, env);
    QCOMPARE(in[7], uint16_t(1));
    QCOMPARE(in[8], uint16_t(34584));

    h[9] = 4200;
    h[10] = 3900;
    h[51] = 3;
    QCOMPARE(evaluateInputs(h, env)[9], uint16_t(4200));
    h[51] = 4;
    QCOMPARE(evaluateInputs(h, env)[9], uint16_t(3900));
    h[51] = 1;
    QCOMPARE(evaluateInputs(h, env)[9], uint16_t(0));

    QCOMPARE(scaled(-0.05, 1), -1); // rounds away from zero at .5
    QCOMPARE(scaled(1.234, 3), 1234);
    QCOMPARE(scaled(1e12, 2), std::numeric_limits<int32_t>::max());
}

void TestSimModel::loopCurrentFollowsCommandsAndTrims()
{
    HoldingImage h = defaultHolding();
    const auto near = [](double a, double b) { return qAbs(a - b) < 1e-6; };
    h[51] = 1;
    QVERIFY(near(loopCurrentMa(h, 4, 0), 4.012));
    h[51] = 2;
    QVERIFY(near(loopCurrentMa(h, 4, 0), 19.975));
    h[51] = 3;
    QVERIFY(near(loopCurrentMa(h, 4, 0), 4.0)); // corrected, neutral trim
    h[9] = 4196;
    QVERIFY(near(loopCurrentMa(h, 4, 0), 4.1));
    h[51] = 4;
    h[10] = 3996;
    QVERIFY(near(loopCurrentMa(h, 4, 0), 19.9));

    // Outside mode 4 the commands do not drive the output: the range does.
    HoldingImage d = defaultHolding();
    d[51] = 1;
    QVERIFY(near(loopCurrentMa(d, 0, 500.0), 12.0));
    QVERIFY(near(loopCurrentMa(d, 2, 0.0), 4.0));
    QVERIFY(near(loopCurrentMa(d, 0, 5000.0), 20.5));
    QVERIFY(near(loopCurrentMa(d, 0, -500.0), 3.8));

    // Without believable measured points the output keeps its own error.
    d[11] = 0;
    d[12] = 0;
    QVERIFY(near(loopCurrentMa(d, 0, 0.0), 4.012));
}

void TestSimModel::lineTimeAtFourThousandEightHundredBaud()
{
    QCOMPARE(requestLength(3, 64), 8);
    QCOMPARE(replyLength(3, 64), 133);
    QCOMPARE(replyLength(4, 13), 31);
    QCOMPARE(replyLength(6, 1), 8);
    QCOMPARE(replyLength(16, 2), 8);
    QCOMPARE(requestLength(16, 2), 13);
    const double t = lineTimeMs(8, 133, 4800);
    QVERIFY2(t > 280 && t < 350, qPrintable(QString::number(t)));
    QVERIFY(qAbs(t - (8 + 133 + 7) * 11 * 1000.0 / 4800) < 1e-9);
    QVERIFY(qAbs(lineTimeMs(8, 133, 9600) - t / 2) < 1e-9);
    QCOMPARE(lineTimeMs(8, 8, 0), 0.0);
}

void TestSimModel::crcMatchesKnownFrame()
{
    const uint8_t frame[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    QCOMPARE(crc16(frame, 6), uint16_t(0xCDC5));
    const uint8_t withCrc[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
    QCOMPARE(crc16(withCrc, 8), uint16_t(0)); // a frame with its CRC checks to 0
}

void TestSimModel::consoleCommandsReachTheSimulator()
{
    Simulator s;
    bool quit = false;
    QCOMPARE(QString::fromStdString(runConsoleCommand(s, "set mv 25.0", &quit)), QString("ok\n"));
    QCOMPARE(s.adcValue(), adcFromMillivolts(25.0));
    runConsoleCommand(s, "set ambient 20");
    QCOMPARE(s.roomTemperature(), 20.0);
    runConsoleCommand(s, "set holding 0 32");
    runConsoleCommand(s, "set ohm 138.5");
    QCOMPARE(s.holding(0), uint16_t(32));
    QVERIFY(qAbs(s.measuredTemperature() - 100.0) < 1e-9);
    runConsoleCommand(s, "set holding 4 -150");
    QCOMPARE(s.holding(4), uint16_t(65386));
    runConsoleCommand(s, "set decimals 2");
    QCOMPARE(s.input(11), uint16_t(2));
    runConsoleCommand(s, "set input 3 65535");
    QCOMPARE(s.input(3), uint16_t(65535));
    runConsoleCommand(s, "set input 3 off");
    QCOMPARE(s.input(3), uint16_t(0));
    runConsoleCommand(s, "set mode 4");
    QCOMPARE(s.workMode(), 4);
    QCOMPARE(s.input(12), uint16_t(4));

    QVERIFY(s.describeFaults().find("silent off") != std::string::npos);
    runConsoleCommand(s, "fault silent on");
    runConsoleCommand(s, "fault crc on");
    runConsoleCommand(s, "fault delay 800");
    runConsoleCommand(s, "fault short 5");
    runConsoleCommand(s, "fault exception 16 2");
    runConsoleCommand(s, "fault exception any 4 13");
    const std::string f = s.describeFaults();
    QVERIFY(f.find("silent on") != std::string::npos);
    QVERIFY(f.find("crc on") != std::string::npos);
    QVERIFY(f.find("delay 800 ms") != std::string::npos);
    QVERIFY(f.find("short 5") != std::string::npos);
    QVERIFY(f.find("exception function 16 register any code 2") != std::string::npos);
    QVERIFY(f.find("exception function any register 13 code 4") != std::string::npos);
    runConsoleCommand(s, "fault off");
    const std::string g = s.describeFaults();
    QVERIFY(g.find("silent off") != std::string::npos);
    QVERIFY(g.find("exception") == std::string::npos);
    QVERIFY(g.find("delay 0 ms") != std::string::npos);

    QVERIFY(runConsoleCommand(s, "show holding").find(" 13:  4800") != std::string::npos);
    QVERIFY(runConsoleCommand(s, "help").find("fault silent") != std::string::npos);
    QVERIFY(!quit);
    runConsoleCommand(s, "quit", &quit);
    QVERIFY(quit);
}

void TestSimModel::consoleRejectsNonsense()
{
    Simulator s;
    const auto before = s.holdingImage();
    for (const char *bad : {"set mv abc", "set holding 64 1", "set holding 1 70000", "fault delay -1",
                            "fault silent maybe", "fault exception 16", "set mode 9", "frobnicate", "show nothing",
                            "set degc abc", "set error", "set error gain", "set error gain x",
                            "set error tilt 1", "set error gain 1 offset"})
        QVERIFY2(runConsoleCommand(s, bad).rfind("?", 0) == 0, bad);
    QVERIFY(s.holdingImage() == before);
    QCOMPARE(runConsoleCommand(s, "   "), std::string());
}

void TestSimModel::appliedCelsiusReadsBackThroughEveryType()
{
    Simulator s;
    s.setAmbient(21.0);
    for (uint16_t type : {uint16_t(0), uint16_t(7), uint16_t(32), uint16_t(33)}) {
        s.setHolding(0, type);
        for (double celsius : {-40.0, 0.0, 150.0, 600.0}) {
            runConsoleCommand(s, "set degc " + std::to_string(celsius));
            QVERIFY2(qAbs(s.measuredTemperature() - celsius) < 0.002, qPrintable(QString::number(type)));
        }
    }
    s.setHolding(6, 1);   // degF
    QVERIFY(qAbs(s.measuredTemperature() - (600.0 * 9 / 5 + 32)) < 0.004);
    QVERIFY(runConsoleCommand(s, "show state").find("applied 600.000 degC") != std::string::npos);
    s.setHolding(0, 32);
    runConsoleCommand(s, "set ohm 138.5");   // a plain signal takes over again
    QVERIFY(!s.appliedCelsius());
    QVERIFY(qAbs(s.measuredTemperature() - (100.0 * 9 / 5 + 32)) < 1e-6);
}

void TestSimModel::inputErrorShowsAndTwoPointCalibrationRemovesIt()
{
    Simulator s;
    s.setAmbient(23.5);
    runConsoleCommand(s, "set error gain 1.02 offset 0.05");
    QCOMPARE(s.inputError().gain, 1.02);
    runConsoleCommand(s, "set degc 400");
    // 40 uV/degC with the cold junction at ambient.
    const double wantTc = 23.5 + (1.02 * (400 - 23.5) * 0.040 + 0.05) / 0.040;
    QVERIFY(qAbs(s.measuredTemperature() - wantTc) < 0.0125);   // one ADC count
    s.setHolding(0, 32);
    const double wantPt = (1.02 * (100 + 0.385 * 400) + 0.05 - 100) / 0.385;
    QVERIFY(qAbs(s.measuredTemperature() - wantPt) < 0.002);

    // The transmitter's own 100/200 ohm points, captured through the same input stage.
    uint16_t h = 0, l = 0;
    for (auto [ohm, reg] : {std::pair{100.0, 19}, std::pair{200.0, 21}}) {
        s.setAppliedOhms(ohm);
        fromInt32(s.adcValue(), h, l);
        s.setHolding(reg, h);
        s.setHolding(reg + 1, l);
    }
    s.setAppliedCelsius(400);
    QVERIFY(qAbs(s.measuredTemperature() - 400.0) < 0.01);
    runConsoleCommand(s, "set error off");
    QCOMPARE(s.inputError().offset, 0.0);
}

void TestSimModel::standardTables_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("celsius");
    QTest::addColumn<double>("mv");
    // Values of the published ITS-90 tables, three decimals.
    QTest::newRow("K -100") << 0 << -100.0 << -3.554;
    QTest::newRow("K 100") << 0 << 100.0 << 4.096;
    QTest::newRow("K 1000") << 0 << 1000.0 << 41.276;
    QTest::newRow("S 1000") << 1 << 1000.0 << 9.587;
    QTest::newRow("R 500") << 2 << 500.0 << 4.471;
    QTest::newRow("B 1500") << 3 << 1500.0 << 10.099;
    QTest::newRow("N 1000") << 4 << 1000.0 << 36.256;
    QTest::newRow("E -100") << 5 << -100.0 << -5.237;
    QTest::newRow("J 500") << 6 << 500.0 << 27.393;
    QTest::newRow("T 400") << 7 << 400.0 << 20.872;
}

void TestSimModel::standardTables()
{
    QFETCH(int, type);
    QFETCH(double, celsius);
    QFETCH(double, mv);
    const auto emf = tables::emfMv(uint16_t(type), celsius);
    QVERIFY(emf);
    QVERIFY2(qAbs(*emf - mv) <= 0.0005, qPrintable(QString::number(*emf, 'f', 4)));
    QVERIFY(qAbs(*tables::celsiusFromEmf(uint16_t(type), *emf) - celsius) < 1e-6);
}

void TestSimModel::standardCurvesConvertTheDisplayToo()
{
    QVERIFY(qAbs(tables::pt100Ohms(100.0) - 138.5055) < 1e-4);
    QVERIFY(qAbs(tables::pt100Ohms(-100.0) - 60.2558) < 1e-4);
    // Cu50 by the copper table's cubic, as the tool computes it: 39.24 ohm at -50 degC, 82.13 at 150.
    for (const auto &row : {std::pair<double, double>{-50, 39.24}, {0, 50.0}, {100, 71.40}, {150, 82.13}}) {
        QVERIFY(qAbs(tables::cu50Ohms(row.first) - row.second) <= 0.006);
        QVERIFY(qAbs(tables::cu50Celsius(row.second) - row.first) < 0.03);
    }
    QVERIFY(!tables::emfMv(8, 500.0));   // no table for WRe5-26: it keeps its line
    QVERIFY(!tables::celsiusFromEmf(7, 21.0));   // beyond type T's 400 degC
    Simulator s;
    s.setAmbient(23.5);
    runConsoleCommand(s, "set mv 19.705");   // E_K(500) - E_K(23.5) = 20.644 - 0.940
    QVERIFY(qAbs(s.measuredTemperature() - 500.0) > 5.0);   // the line is far off
    QCOMPARE(runConsoleCommand(s, "curves standard"), std::string("ok\n"));
    QVERIFY(qAbs(s.measuredTemperature() - 500.0) < 0.03);
    for (uint16_t type : {uint16_t(0), uint16_t(6), uint16_t(32), uint16_t(33), uint16_t(8)}) {
        s.setHolding(0, type);
        s.setAppliedCelsius(350.0);
        QVERIFY2(qAbs(s.measuredTemperature() - 350.0) < 0.02, qPrintable(QString::number(type)));
    }
    s.setHolding(0, 32);
    s.setAppliedOhms(138.5055);
    QVERIFY(qAbs(s.measuredTemperature() - 100.0) < 0.005);   // 1 mohm ADC steps
    QVERIFY(runConsoleCommand(s, "show state").find("curves standard") != std::string::npos);
    QVERIFY(runConsoleCommand(s, "curves bent").rfind("?", 0) == 0);
}

void TestSimModel::storeFileRoundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string path = dir.filePath("store.txt").toStdString();
    HoldingImage h = defaultHolding();
    h[13] = 9600;
    h[3] = 0xFFFF;
    QVERIFY(Simulator::saveStoreFile(path, h));
    HoldingImage back{};
    QVERIFY(Simulator::loadStoreFile(path, back));
    QVERIFY(back == h);
    QCOMPARE(Simulator::storedBaud(path), 9600);
    QCOMPARE(Simulator::storedBaud(dir.filePath("missing").toStdString()), 0);
    QVERIFY(!Simulator::loadStoreFile(dir.filePath("missing").toStdString(), back));
}

void TestSimModel::startFailsOnMissingPort()
{
    Simulator s;
    Config c;
    c.port = "/nonexistent/tty";
    QVERIFY(!s.start(c));
    QVERIFY(!s.running());
    QVERIFY(s.lastError().find("/nonexistent/tty") != std::string::npos);
}

QTEST_GUILESS_MAIN(TestSimModel)
#include "test_sim_model.moc"
