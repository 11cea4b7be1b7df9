// The simulated calibration laboratory: the instruments' line protocol, the
// closed loop through the transmitter model, faults, and real exchanges over
// TCP and a pty.
#include "console.h"
#include "model.h"
#include "scpi_server.h"
#include "simulator.h"
#include "virtual_line.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace sim;

namespace {

QString ask(ScpiInstrument &i, const std::string &line)
{
    const auto r = i.handle(line);
    return r ? QString::fromStdString(*r) : QStringLiteral("<none>");
}

QByteArray readLine(QIODevice &d)
{
    QByteArray got;
    for (int i = 0; i < 50 && !got.contains('\n'); ++i) {
        if (!d.waitForReadyRead(100))
            continue;
        got += d.readAll();
    }
    return got;
}

} // namespace

class TestSimScpi : public QObject {
    Q_OBJECT

private slots:
    void unknownHeadersAndBadValuesQueueErrorsInOrder();
    void resetSwitchesTheOutputOffAndKeepsTheQueue();
    void calibratorDrivesTheTransmitterOnlyWhileOn();
    void resistanceReachesAnRtdInput();
    void meterReadsTheLoopCurrentWithinItsSpec();
    void seedMakesTheNoiseRepeat();
    void silentInstrumentNeitherAnswersNorActs();
    void queuedErrorArrivesWithTheNextCommand();
    void driftMovesTheOutputOverTime();
    void consoleCommandsReachTheLab();
    void badAddressesAreRefused();
    void exchangeOverTcpAndNewClientTakesOver();
    void exchangeOverPty();
    void programServesTheLab();
};

void TestSimScpi::unknownHeadersAndBadValuesQueueErrorsInOrder()
{
    Simulator s;
    ScpiLab lab(s);
    auto &src = lab.source();
    QCOMPARE(ask(src, "*idn?"), QStringLiteral("TCAL,SIM-CAL-1,SC-0001,1.0"));
    QCOMPARE(ask(lab.meter(), "*IDN?"), QStringLiteral("TCAL,SIM-DMM-1,SM-0001,1.0"));
    QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("0,\"No error\""));

    QCOMPARE(ask(src, "SOUR:CURR 0.01"), QStringLiteral("<none>"));
    QCOMPARE(ask(src, "SOUR:VOLT 0.2"), QStringLiteral("<none>"));
    QCOMPARE(ask(src, "SOUR:RES abc"), QStringLiteral("<none>"));
    QCOMPARE(ask(src, "SOUR:RES -1"), QStringLiteral("<none>"));
    QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("-113,\"Undefined header\""));
    QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("-222,\"Data out of range\""));
    QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("-104,\"Data type error\""));
    QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("-222,\"Data out of range\""));
    QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("0,\"No error\""));
    // Refused values leave the settings as they were.
    QCOMPARE(ask(src, "SOUR:VOLT?").toDouble(), 0.0);
    QCOMPARE(ask(src, "SOUR:RES?").toDouble(), 0.0);

    ask(lab.meter(), "MEAS:VOLT:DC?");
    QCOMPARE(ask(lab.meter(), "SYST:ERR?"), QStringLiteral("-113,\"Undefined header\""));

    // A full queue keeps its oldest entries and says it overflowed.
    for (size_t i = 0; i < ScpiInstrument::kErrorQueueLimit + 3; ++i)
        ask(src, "NOPE");
    for (size_t i = 0; i + 1 < ScpiInstrument::kErrorQueueLimit; ++i)
        QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("-113,\"Undefined header\""));
    QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("-350,\"Queue overflow\""));
    QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("0,\"No error\""));
}

void TestSimScpi::resetSwitchesTheOutputOffAndKeepsTheQueue()
{
    Simulator s;
    ScpiLab lab(s);
    auto &src = lab.source();
    ask(src, "SOUR:VOLT 0.02");
    ask(src, "OUTP ON");
    ask(src, "BAD");
    QCOMPARE(ask(src, "OUTP?"), QStringLiteral("1"));
    ask(src, "*RST");
    QCOMPARE(ask(src, "OUTP?"), QStringLiteral("0"));
    QCOMPARE(ask(src, "SOUR:VOLT?").toDouble(), 0.0);
    QVERIFY(!lab.sourceState().outputOn);
    QCOMPARE(ask(src, "SYST:ERR?"), QStringLiteral("-113,\"Undefined header\""));
    // The output went off: the thermocouple input sees open terminals.
    QCOMPARE(s.adcValue(), model::adcFromMillivolts(0.0));
}

void TestSimScpi::calibratorDrivesTheTransmitterOnlyWhileOn()
{
    Simulator s; // type K, range 0..1000 degC, straight lines, 23.5 degC ambient
    ScpiLab lab(s);
    lab.setSeed(7);
    const double before = s.measuredTemperature();
    ask(lab.source(), "SOUR:VOLT 0.01");
    QCOMPARE(s.measuredTemperature(), before);
    ask(lab.source(), "OUTP ON");
    // 10 mV at 40 uV/degC above the cold junction; the calibrator may be off
    // by 0.01 % + 0.005 mV (plus a few sigma of noise).
    const double tolerance = (0.01e-2 * 10.0 + 0.005 + 4 * 0.0005) / 0.040;
    QVERIFY2(std::fabs(s.measuredTemperature() - (10.0 / 0.040 + 23.5)) < tolerance,
             qPrintable(QString::number(s.measuredTemperature())));
    QVERIFY(std::fabs(lab.sourceState().applied - 10.0) < 0.008);
    QVERIFY(lab.sourceState().applied != 10.0); // the reference has an error of its own

    ask(lab.source(), "SOUR:VOLT -0.005");
    QVERIFY(std::fabs(s.measuredTemperature() - (-5.0 / 0.040 + 23.5)) < tolerance);
    ask(lab.source(), "OUTP OFF");
    QCOMPARE(s.adcValue(), model::adcFromMillivolts(0.0));
}

void TestSimScpi::resistanceReachesAnRtdInput()
{
    Simulator s;
    s.setHolding(0, 32); // PT100
    ScpiLab lab(s);
    ask(lab.source(), "SOUR:RES 138.5");
    ask(lab.source(), "OUTP ON");
    // (138.5 - 100) / 0.385 = 100 degC; 0.01 % + 0.01 ohm plus noise.
    const double tolerance = (0.01e-2 * 138.5 + 0.01 + 4 * 0.002) / 0.385;
    QVERIFY(std::fabs(s.measuredTemperature() - 100.0) < tolerance);
    ask(lab.source(), "OUTP OFF");
    QVERIFY(s.measuredTemperature() > 1000.0); // an open RTD reads far upscale
}

void TestSimScpi::meterReadsTheLoopCurrentWithinItsSpec()
{
    Simulator s;
    ScpiLab lab(s);
    for (double mv : {0.0, 10.0, 30.0}) {
        s.setAppliedMillivolts(mv);
        const double truth = s.loopCurrentMa();
        QCOMPARE(ask(lab.meter(), "CONF:CURR:DC"), QStringLiteral("<none>"));
        for (int i = 0; i < 20; ++i) {
            bool ok = false;
            const double amps = ask(lab.meter(), "MEAS:CURR:DC?").toDouble(&ok);
            QVERIFY(ok);
            // 0.01 % of reading + 0.001 mA, and the noise on top.
            QVERIFY2(std::fabs(amps * 1000.0 - truth) < 0.01e-2 * truth + 0.001 + 4 * 0.0003,
                     qPrintable(QString("%1 A for %2 mA").arg(amps, 0, 'g', 10).arg(truth)));
        }
    }
    QCOMPARE(ask(lab.meter(), "SYST:ERR?"), QStringLiteral("0,\"No error\""));
}

void TestSimScpi::seedMakesTheNoiseRepeat()
{
    Simulator s;
    ScpiLab a(s), b(s);
    a.setSeed(42);
    b.setSeed(42);
    QStringList first, second;
    for (int i = 0; i < 5; ++i) {
        first << ask(a.meter(), "MEAS:CURR:DC?");
        second << ask(b.meter(), "MEAS:CURR:DC?");
    }
    QCOMPARE(first, second);
    QVERIFY(QSet<QString>(first.begin(), first.end()).size() > 1); // noise, not a constant
}

void TestSimScpi::silentInstrumentNeitherAnswersNorActs()
{
    Simulator s;
    ScpiLab lab(s);
    lab.setSilent(Instrument::Source, true);
    QCOMPARE(ask(lab.source(), "*IDN?"), QStringLiteral("<none>"));
    ask(lab.source(), "SOUR:VOLT 0.01");
    ask(lab.source(), "OUTP ON");
    QVERIFY(!lab.sourceState().outputOn);
    QVERIFY(ask(lab.meter(), "MEAS:CURR:DC?") != QStringLiteral("<none>"));
    lab.clearFaults();
    QCOMPARE(ask(lab.source(), "OUTP?"), QStringLiteral("0"));
}

void TestSimScpi::queuedErrorArrivesWithTheNextCommand()
{
    Simulator s;
    ScpiLab lab(s);
    lab.queueError(Instrument::Meter, -300);
    QCOMPARE(lab.meter().errorCount(), size_t(0));
    QVERIFY(ask(lab.meter(), "MEAS:CURR:DC?").toDouble() > 0.003);
    QCOMPARE(ask(lab.meter(), "SYST:ERR?"), QStringLiteral("-300,\"Device-specific error\""));
    QCOMPARE(ask(lab.meter(), "SYST:ERR?"), QStringLiteral("0,\"No error\""));
}

void TestSimScpi::driftMovesTheOutputOverTime()
{
    Simulator s;
    ScpiLab lab(s);
    double now = 1000.0;
    lab.source().setClock([&now] { return now; });
    ask(lab.source(), "SOUR:VOLT 0.01");
    ask(lab.source(), "OUTP ON");
    const double still = lab.sourceState().applied;
    lab.setDrift(0.6); // mV per minute
    now += 30.0;
    lab.source().tick();
    QVERIFY(std::fabs(lab.sourceState().applied - still - 0.3) < 1e-9);
    QVERIFY(std::fabs(s.adcValue() - model::adcFromMillivolts(still + 0.3)) <= 1);
    lab.setDrift(0.0);
    QCOMPARE(lab.sourceState().applied, still);
}

void TestSimScpi::consoleCommandsReachTheLab()
{
    Simulator s;
    ScpiLab lab(s);
    QCOMPARE(runConsoleCommand(s, "scpi silent meter on", nullptr, &lab), std::string("ok\n"));
    QVERIFY(lab.meter().silent());
    QCOMPARE(runConsoleCommand(s, "scpi drift 1.5", nullptr, &lab), std::string("ok\n"));
    QCOMPARE(lab.sourceState().driftPerMinute, 1.5);
    QCOMPARE(runConsoleCommand(s, "scpi error source -222", nullptr, &lab), std::string("ok\n"));
    ask(lab.source(), "OUTP?");
    QCOMPARE(lab.source().errorCount(), size_t(1));
    QCOMPARE(runConsoleCommand(s, "scpi clear", nullptr, &lab), std::string("ok\n"));
    QVERIFY(!lab.meter().silent());
    QCOMPARE(lab.sourceState().driftPerMinute, 0.0);
    QVERIFY(runConsoleCommand(s, "scpi", nullptr, &lab).find("calibrator not served") != std::string::npos);
    for (const char *bad : {"scpi silent dmm on", "scpi drift fast", "scpi error meter x", "scpi error meter 0"})
        QVERIFY2(runConsoleCommand(s, bad, nullptr, &lab).rfind("? ", 0) == 0, bad);
    QVERIFY(runConsoleCommand(s, "scpi clear").find("--scpi") != std::string::npos);
}

void TestSimScpi::badAddressesAreRefused()
{
    Simulator s;
    ScpiLab lab(s);
    std::string why;
    for (const char *address : {"tcp:10.0.0.1:5025", "tcp:127.0.0.1:", "tcp:127.0.0.1:50x", "tcp:127.0.0.1:70000", ""}) {
        why.clear();
        QVERIFY2(!lab.serve(address, &why), address);
        QVERIFY(!why.empty());
    }
    QVERIFY(!lab.serve("/nonexistent-folder/lab", &why));
    QVERIFY(!lab.serving());
    QVERIFY(lab.serve("tcp:127.0.0.1:0", &why));
    QVERIFY(!lab.serve("tcp:127.0.0.1:0", &why));
    QVERIFY(lab.serving());
}

void TestSimScpi::exchangeOverTcpAndNewClientTakesOver()
{
    Simulator s;
    ScpiLab lab(s);
    std::string why;
    QVERIFY2(lab.serve("tcp:127.0.0.1:0", &why), why.c_str());
    const quint16 port = static_cast<quint16>(lab.port(Instrument::Source));
    QVERIFY(port != 0 && lab.port(Instrument::Meter) != 0);

    QTcpSocket first;
    first.connectToHost(QStringLiteral("127.0.0.1"), port);
    QVERIFY(first.waitForConnected(3000));
    first.write("SOUR:VOLT 0.02\r\nOUTP ON\r\nOUTP?\r\n");
    QCOMPARE(readLine(first), QByteArray("1\n"));
    QVERIFY(std::fabs(lab.sourceState().applied - 20.0) < 0.01);

    QTcpSocket second;
    second.connectToHost(QStringLiteral("127.0.0.1"), port);
    QVERIFY(second.waitForConnected(3000));
    second.write("*IDN?\n");
    QCOMPARE(readLine(second), QByteArray("TCAL,SIM-CAL-1,SC-0001,1.0\n"));
    QTRY_COMPARE(first.state(), QAbstractSocket::UnconnectedState);
}

void TestSimScpi::exchangeOverPty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString base = dir.filePath(QStringLiteral("lab"));
    Simulator s;
    ScpiLab lab(s);
    std::string why;
    QVERIFY2(lab.serve(base.toStdString(), &why), why.c_str());
    QCOMPARE(QString::fromStdString(lab.address(Instrument::Meter)), base + ".meter");

    QSerialPort meter(base + ".meter");
    QVERIFY2(meter.open(QIODevice::ReadWrite), qPrintable(meter.errorString()));
    meter.write("MEAS:CURR:DC?\n");
    const QByteArray reply = readLine(meter);
    QVERIFY2(reply.endsWith('\n') && !reply.contains('?'), reply.constData()); // no echo
    QVERIFY(std::fabs(reply.trimmed().toDouble() * 1000.0 - s.loopCurrentMa()) < 0.01);
    meter.close();

    lab.stop();
    QVERIFY(!QFileInfo(base + ".source").isSymLink());
    QVERIFY(!QFileInfo(base + ".meter").isSymLink());
}

void TestSimScpi::programServesTheLab()
{
    VirtualLine line;
    QVERIFY2(line.ok(), qPrintable(line.errorString()));
    const QString base = line.directory() + "/lab";
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TCAL_SIM_PATH),
            {"--port", line.simulatorEnd(), "--no-drift", "--no-line-speed", "--scpi", base});
    QVERIFY(p.waitForStarted(5000));
    QString out;
    const auto waitFor = [&](const QString &what) {
        QElapsedTimer t;
        t.start();
        while (!out.contains(what) && t.elapsed() < 10000) {
            p.waitForReadyRead(100);
            out += QString::fromLocal8Bit(p.readAll());
        }
        return out.contains(what);
    };
    QVERIFY2(waitFor("meter on " + base + ".meter"), qPrintable(out));

    QSerialPort source(base + ".source");
    QVERIFY2(source.open(QIODevice::ReadWrite), qPrintable(source.errorString()));
    source.write("SOUR:VOLT 0.01\r\nOUTP ON\r\nOUTP?\r\n");
    QCOMPARE(readLine(source), QByteArray("1\n"));
    out.clear();
    p.write("show state\nscpi silent source on\n");
    QVERIFY2(waitFor("ok\n"), qPrintable(out));
    QVERIFY2(out.contains("temperature 273."), qPrintable(out)); // 10 mV / 0.040 + 23.5
    source.write("*IDN?\n");
    QVERIFY(!source.waitForReadyRead(500));

    p.write("quit\n");
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(!QFileInfo(base + ".source").isSymLink());
}

QTEST_GUILESS_MAIN(TestSimScpi)
#include "test_sim_scpi.moc"
