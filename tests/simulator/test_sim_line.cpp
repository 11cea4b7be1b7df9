// The simulator on a virtual line, checked with an independent Modbus master
// (mbpoll, built on libmodbus) and through the tcal-sim program.
#include "simulator_fixture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

#include <atomic>
#include <thread>

namespace {

struct Poll {
    bool finished = false;
    int exitCode = -1;
    QString out, err;
    qint64 ms = 0;
    QMap<int, uint16_t> values;
    bool ok() const { return finished && exitCode == 0; }
    QString text() const { return out + err; }
};

// One request from mbpoll. Options follow mbpoll's command line; -0 makes the
// references 0-based like the register map, -1 polls once.
Poll mbpoll(const QString &port, const QStringList &options, const QStringList &writeValues = {},
            const QString &timeoutSeconds = QStringLiteral("3"))
{
    QStringList args{"-m", "rtu", "-0", "-1", "-o", timeoutSeconds};
    args << options << port;
    if (!writeValues.isEmpty())
        args << "--" << writeValues;
    Poll r;
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("mbpoll"), args);
    r.finished = p.waitForStarted(5000) && p.waitForFinished(30000);
    r.ms = t.elapsed();
    if (!r.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    // Words above 32767 come as "42435 (-23101)".
    static const QRegularExpression line(QStringLiteral("^\\[(\\d+)\\]:\\s+(-?\\d+)( \\(-?\\d+\\))?\\s*$"),
                                         QRegularExpression::MultilineOption);
    auto it = line.globalMatch(r.out);
    while (it.hasNext()) {
        const auto m = it.next();
        r.values.insert(m.captured(1).toInt(), static_cast<uint16_t>(m.captured(2).toInt() & 0xFFFF));
    }
    return r;
}

QStringList at(int address = 192, int baud = 4800, const QString &parity = QStringLiteral("none"),
               int stopBits = 1)
{
    return {"-a", QString::number(address), "-b", QString::number(baud), "-P", parity, "-s",
            QString::number(stopBits)};
}

QStringList readInputs(int start, int count)
{
    return at() << "-t" << "3" << "-r" << QString::number(start) << "-c" << QString::number(count);
}

QStringList readHolding(int start, int count)
{
    return at() << "-t" << "4" << "-r" << QString::number(start) << "-c" << QString::number(count);
}

QStringList writeHolding(int start)
{
    return at() << "-t" << "4" << "-r" << QString::number(start);
}

QString dump(const Poll &p)
{
    return QStringLiteral("exit %1 after %2 ms\n%3").arg(p.exitCode).arg(p.ms).arg(p.text());
}

} // namespace

#define FIXTURE(name, config)                                                                     \
    SimulatorFixture name{config};                                                                \
    QVERIFY2(name.ok(), qPrintable(name.errorString()))

class TestSimLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void readsBothBlocks();
    void rejectsWhatTheMapDoesNotHave();
    void workModeIsReportedInInputTwelve();
    void workModeReportCanLag();
    void storeCommandCommitsAndSurvivesRestart();
    void multipleRegisterWriteAndCurrentCommand();
    void silentLeavesTheMasterWaiting();
    void injectedExceptions();
    void shortReadIsDetected();
    void corruptCrcIsRejected();
    void replyDelay();
    void lineSpeedPacesReplies();
    void otherSerialSettingsAndAddress();
    void lostLineAndPromptStop();
    void settersFromAnotherThreadWhileServing();
    void programHelpAndConsole();
    void programTakesBaudFromStoreFile();
};

void TestSimLine::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("mbpoll")).isEmpty())
        QFAIL("mbpoll is not installed");
    if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
        QFAIL("socat is not installed");
}

void TestSimLine::readsBothBlocks()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();

    const Poll in = mbpoll(fx.toolPort(), readInputs(0, 13));
    QVERIFY2(in.ok(), qPrintable(dump(in)));
    QCOMPARE(in.values.size(), 13);
    const auto expectedIn = s.inputImage();
    for (int i = 0; i < 13; ++i)
        QCOMPARE(in.values.value(i), expectedIn[i]);
    // Default image: 4 mV on type K at 23.5 degC ambient, one decimal.
    QCOMPARE((in.values[3] << 16) | in.values[4], 1235);
    QCOMPARE(in.values[6], uint16_t(235));
    QCOMPARE(in.values[8], uint16_t(8120));
    QCOMPARE(in.values[11], uint16_t(1));

    const Poll hold = mbpoll(fx.toolPort(), readHolding(0, 64));
    QVERIFY2(hold.ok(), qPrintable(dump(hold)));
    QCOMPARE(hold.values.size(), 64);
    const auto expectedHold = s.holdingImage();
    for (int i = 0; i < 64; ++i)
        QCOMPARE(hold.values.value(i), expectedHold[i]);
    QCOMPARE(hold.values[3], uint16_t(0xA5C3));
    QCOMPARE(hold.values[13], uint16_t(4800));

    QCOMPARE(s.requestCount(4, 0), 1);
    QCOMPARE(s.requestCount(3, 0), 1);
    const auto log = s.requests();
    QCOMPARE(int(log.size()), 2);
    QCOMPARE(log[0].function, 4);
    QCOMPARE(log[0].count, 13);
    QVERIFY(log[0].answered);
    QCOMPARE(log[1].count, 64);

    // Inputs move with what is applied, and negative values travel as two's complement.
    s.setAppliedMillivolts(-5.0);
    const Poll neg = mbpoll(fx.toolPort(), readInputs(3, 6));
    QVERIFY2(neg.ok(), qPrintable(dump(neg)));
    QCOMPARE(int32_t((uint32_t(neg.values[7]) << 16) | neg.values[8]), -9880);
    QCOMPARE(int32_t((uint32_t(neg.values[3]) << 16) | neg.values[4]), -1015); // -125 + 23.5
    s.setInputOverride(11, uint16_t(3));
    const Poll code = mbpoll(fx.toolPort(), readInputs(11, 1));
    QCOMPARE(code.values.value(11), uint16_t(3));
}

void TestSimLine::rejectsWhatTheMapDoesNotHave()
{
    FIXTURE(fx, sim::Config());
    const Poll coils = mbpoll(fx.toolPort(), at() << "-t" << "0" << "-r" << "0");
    QVERIFY(!coils.ok());
    QVERIFY2(coils.text().contains("Illegal function"), qPrintable(dump(coils)));

    const Poll pastInputs = mbpoll(fx.toolPort(), readInputs(0, 14));
    QVERIFY(!pastInputs.ok());
    QVERIFY2(pastInputs.text().contains("Illegal data address"), qPrintable(dump(pastInputs)));

    const Poll pastHolding = mbpoll(fx.toolPort(), readHolding(60, 5));
    QVERIFY2(pastHolding.text().contains("Illegal data address"), qPrintable(dump(pastHolding)));

    const Poll writePast = mbpoll(fx.toolPort(), writeHolding(64), {"1"});
    QVERIFY2(writePast.text().contains("Illegal data address"), qPrintable(dump(writePast)));

    const auto log = fx.sim().requests();
    QCOMPARE(int(log.size()), 4);
    QCOMPARE(log[0].function, 1);
    QCOMPARE(log[0].exception, 1);
    QCOMPARE(log[1].exception, 2);
    for (const auto &r : log)
        QVERIFY(!r.answered);
}

void TestSimLine::workModeIsReportedInInputTwelve()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    for (int mode : {2, 4, 1, 3}) {
        const Poll w = mbpoll(fx.toolPort(), writeHolding(50), {QString::number(mode)});
        QVERIFY2(w.ok(), qPrintable(dump(w)));
        QCOMPARE(s.workMode(), mode);
        const Poll r = mbpoll(fx.toolPort(), readInputs(0, 13));
        QVERIFY2(r.ok(), qPrintable(dump(r)));
        QCOMPARE(r.values.value(12), uint16_t(mode));
    }
    // Writing 0 leaves the mode; values outside the table are kept but ignored.
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(50), {"0"}).ok());
    QCOMPARE(mbpoll(fx.toolPort(), readInputs(12, 1)).values.value(12), uint16_t(0));
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(50), {"9"}).ok());
    QCOMPARE(s.workMode(), 0);
    QCOMPARE(s.holding(50), uint16_t(9));
}

void TestSimLine::workModeReportCanLag()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    s.setModeReportDelay(2);
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(50), {"2"}).ok());
    QCOMPARE(s.workMode(), 2);
    QCOMPARE(s.input(12), uint16_t(0));
    // Holding reads do not count, only input-block reads.
    QVERIFY(mbpoll(fx.toolPort(), readHolding(0, 64)).ok());
    QCOMPARE(mbpoll(fx.toolPort(), readInputs(0, 13)).values.value(12), uint16_t(0));
    QCOMPARE(mbpoll(fx.toolPort(), readInputs(0, 13)).values.value(12), uint16_t(0));
    QCOMPARE(mbpoll(fx.toolPort(), readInputs(0, 13)).values.value(12), uint16_t(2));
    QCOMPARE(s.reportedMode(), 2);
}

void TestSimLine::storeCommandCommitsAndSurvivesRestart()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    const auto factory = s.storedImage();
    QCOMPARE(factory[1], uint16_t(10000));

    QVERIFY(mbpoll(fx.toolPort(), writeHolding(1), {"5000"}).ok());
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(13), {"9600"}).ok());
    QCOMPARE(s.holding(1), uint16_t(5000));
    QCOMPARE(s.storedImage()[1], uint16_t(10000)); // not committed yet

    const Poll store = mbpoll(fx.toolPort(), writeHolding(62), {"321"});
    QVERIFY2(store.ok(), qPrintable(dump(store)));
    QCOMPARE(s.storedImage()[1], uint16_t(5000));
    QCOMPARE(s.storedImage()[13], uint16_t(9600));

    // Any other value is refused and commits nothing.
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(1), {"6000"}).ok());
    const Poll refused = mbpoll(fx.toolPort(), writeHolding(62), {"320"});
    QVERIFY(!refused.ok());
    QVERIFY2(refused.text().contains("Illegal data value"), qPrintable(dump(refused)));
    QCOMPARE(s.storedImage()[1], uint16_t(5000));
    QCOMPARE(s.holding(62), uint16_t(321));
    const Poll refusedMany = mbpoll(fx.toolPort(), writeHolding(61), {"0", "1"});
    QVERIFY2(refusedMany.text().contains("Illegal data value"), qPrintable(dump(refusedMany)));
    QCOMPARE(s.storedImage()[1], uint16_t(5000));

    // Power cycle: the stored image comes back, the uncommitted 6000 does not,
    // and the device now talks at its stored rate.
    QVERIFY2(fx.restartSimulator(true), qPrintable(fx.errorString()));
    QCOMPARE(fx.config().baud, 9600);
    QCOMPARE(s.holding(1), uint16_t(5000));
    const Poll after = mbpoll(fx.toolPort(), QStringList() << at(192, 9600) << "-t" << "4" << "-r" << "0" << "-c" << "64");
    QVERIFY2(after.ok(), qPrintable(dump(after)));
    QCOMPARE(after.values.value(1), uint16_t(5000));
    QCOMPARE(after.values.value(13), uint16_t(9600));
    QCOMPARE(after.values.value(62), uint16_t(0));
}

void TestSimLine::multipleRegisterWriteAndCurrentCommand()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    const Poll w = mbpoll(fx.toolPort(), writeHolding(15), {"1", "34464"});
    QVERIFY2(w.ok(), qPrintable(dump(w)));
    QCOMPARE(s.holding(15), uint16_t(1));
    QCOMPARE(s.holding(16), uint16_t(34464));
    QCOMPARE(s.requestCount(16, 15), 1);
    const auto last = s.requests().back();
    QCOMPARE(last.count, 2);
    QCOMPARE(last.values, (std::vector<uint16_t>{1, 34464}));

    // The current-output command reads back, and in mode 4 drives the loop.
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(50), {"4"}).ok());
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(51), {"1"}).ok());
    QCOMPARE(mbpoll(fx.toolPort(), readHolding(51, 1)).values.value(51), uint16_t(1));
    QVERIFY(qAbs(s.loopCurrentMa() - 4.012) < 1e-6);
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(51), {"2"}).ok());
    QVERIFY(qAbs(s.loopCurrentMa() - 19.975) < 1e-6);
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(9), {"4196"}).ok());
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(51), {"3"}).ok());
    QVERIFY(qAbs(s.loopCurrentMa() - 4.1) < 1e-6);
    QCOMPARE(mbpoll(fx.toolPort(), readInputs(9, 1)).values.value(9), uint16_t(4196));
}

void TestSimLine::silentLeavesTheMasterWaiting()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    s.setSilent(true);
    const Poll r = mbpoll(fx.toolPort(), readInputs(0, 13), {}, "0.5");
    QVERIFY(!r.ok());
    QVERIFY2(r.text().contains("timed out"), qPrintable(dump(r)));
    const Poll w = mbpoll(fx.toolPort(), writeHolding(50), {"2"}, "0.5");
    QVERIFY(!w.ok());
    QCOMPARE(s.workMode(), 0); // a silent device heard nothing
    QCOMPARE(s.requestCount(4), 1);
    QVERIFY(!s.requests().front().answered);

    s.setSilent(false);
    QVERIFY(mbpoll(fx.toolPort(), readInputs(0, 13)).ok());
}

void TestSimLine::injectedExceptions()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    s.setException(4, -1, 4);
    const Poll in = mbpoll(fx.toolPort(), readInputs(0, 13));
    QVERIFY(!in.ok());
    QVERIFY2(in.text().contains("Slave device or server failure"), qPrintable(dump(in)));
    QVERIFY(mbpoll(fx.toolPort(), readHolding(0, 64)).ok());

    // Bound to one register: only requests that cover it fail.
    s.clearExceptions();
    s.setException(3, 13, 2);
    QVERIFY(mbpoll(fx.toolPort(), readHolding(0, 10)).ok());
    const Poll covered = mbpoll(fx.toolPort(), readHolding(0, 64));
    QVERIFY2(covered.text().contains("Illegal data address"), qPrintable(dump(covered)));
    QVERIFY(mbpoll(fx.toolPort(), readInputs(0, 13)).ok());

    // A refused write changes nothing.
    s.setException(6, -1, 3);
    const Poll w = mbpoll(fx.toolPort(), writeHolding(1), {"1234"});
    QVERIFY2(w.text().contains("Illegal data value"), qPrintable(dump(w)));
    QCOMPARE(s.holding(1), uint16_t(10000));
    QCOMPARE(s.requests().back().exception, 3);

    s.clearExceptions();
    QVERIFY(mbpoll(fx.toolPort(), readHolding(0, 64)).ok());
    QVERIFY(mbpoll(fx.toolPort(), writeHolding(1), {"1234"}).ok());
    QCOMPARE(s.holding(1), uint16_t(1234));
}

void TestSimLine::shortReadIsDetected()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    s.setShortRead(5);
    const Poll r = mbpoll(fx.toolPort(), readInputs(0, 13));
    QVERIFY2(!r.ok() && r.values.isEmpty(), qPrintable(dump(r)));
    QVERIFY2(r.text().contains("Invalid data"), qPrintable(dump(r)));
    // Requests no longer than the short count are whole.
    const Poll small = mbpoll(fx.toolPort(), readInputs(3, 5));
    QVERIFY2(small.ok(), qPrintable(dump(small)));
    QCOMPARE(small.values.size(), 5);
    s.setShortRead(0);
    QVERIFY(mbpoll(fx.toolPort(), readInputs(0, 13)).ok());
}

void TestSimLine::corruptCrcIsRejected()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    s.setCorruptCrc(true);
    const Poll r = mbpoll(fx.toolPort(), readHolding(0, 64));
    QVERIFY(!r.ok());
    QVERIFY2(r.text().contains("Invalid CRC"), qPrintable(dump(r)));
    const Poll w = mbpoll(fx.toolPort(), writeHolding(7), {"61"});
    QVERIFY2(w.text().contains("Invalid CRC"), qPrintable(dump(w)));
    QCOMPARE(s.holding(7), uint16_t(61)); // the device acted, only the reply is damaged
    s.setCorruptCrc(false);
    QVERIFY(mbpoll(fx.toolPort(), readHolding(0, 64)).ok());
}

void TestSimLine::replyDelay()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    s.setReplyDelayMs(1500);
    const Poll early = mbpoll(fx.toolPort(), readInputs(0, 13), {}, "0.5");
    QVERIFY2(!early.ok() && early.text().contains("timed out"), qPrintable(dump(early)));
    // The late reply from above may still be in the line; a fresh line avoids it.
    FIXTURE(fx2, sim::Config());
    fx2.sim().setReplyDelayMs(700);
    const Poll patient = mbpoll(fx2.toolPort(), readInputs(0, 13), {}, "5");
    QVERIFY2(patient.ok(), qPrintable(dump(patient)));
    QVERIFY2(patient.ms >= 700, qPrintable(dump(patient)));
}

void TestSimLine::lineSpeedPacesReplies()
{
    sim::Config c;
    c.lineSpeed = true;
    FIXTURE(fx, c);
    const Poll r = mbpoll(fx.toolPort(), readHolding(0, 64));
    QVERIFY2(r.ok(), qPrintable(dump(r)));
    // At least the time the frames take on a real 4800-baud line.
    QVERIFY2(r.ms >= 330, qPrintable(dump(r)));
    fx.sim().setLineSpeed(false);
    fx.sim().setReplyDelayMs(0);
    QVERIFY(mbpoll(fx.toolPort(), readHolding(0, 64)).ok());
}

void TestSimLine::otherSerialSettingsAndAddress()
{
    sim::Config c;
    c.baud = 9600;
    c.parity = 'E';
    c.stopBits = 2;
    c.address = 17;
    FIXTURE(fx, c);
    const Poll r = mbpoll(fx.toolPort(), at(17, 9600, "even", 2) << "-t" << "3" << "-r" << "0" << "-c" << "13");
    QVERIFY2(r.ok(), qPrintable(dump(r)));
    QCOMPARE(r.values.size(), 13);
    // Frames for another server address go unanswered and unlogged.
    const Poll other = mbpoll(fx.toolPort(), at(192, 9600, "even", 2) << "-t" << "3" << "-r" << "0", {}, "0.5");
    QVERIFY2(!other.ok() && other.text().contains("timed out"), qPrintable(dump(other)));
    QCOMPARE(int(fx.sim().requests().size()), 1);
}

void TestSimLine::lostLineAndPromptStop()
{
    FIXTURE(fx, sim::Config());
    QVERIFY(mbpoll(fx.toolPort(), readInputs(0, 13)).ok());
    const pid_t socat = fx.line().pid();
    fx.line().kill();
    QVERIFY(!QFileInfo::exists(fx.toolPort()));
    QVERIFY(!fx.line().isAlive());
    QVERIFY(::kill(socat, 0) != 0); // reaped, not a zombie
    QVERIFY(fx.sim().running());

    QVERIFY2(fx.restoreLine(), qPrintable(fx.errorString()));
    QVERIFY(mbpoll(fx.toolPort(), readInputs(0, 13)).ok());

    // Stopping while a long reply delay runs must not wait for it.
    fx.sim().setReplyDelayMs(20000);
    QProcess p;
    p.start(QStringLiteral("mbpoll"), QStringList{"-m", "rtu", "-0", "-1", "-o", "10"} << readInputs(0, 13)
                                                                                        << fx.toolPort());
    QVERIFY(p.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(fx.sim().requestCount(4) == 2, 10000);
    QElapsedTimer t;
    t.start();
    fx.sim().stop();
    QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!fx.sim().running());
    p.kill();
    p.waitForFinished(5000);
}

void TestSimLine::settersFromAnotherThreadWhileServing()
{
    FIXTURE(fx, sim::Config());
    auto &s = fx.sim();
    std::atomic<bool> done{false};
    std::thread hammer([&] {
        for (int i = 0; !done; ++i) {
            s.setAppliedMillivolts(i % 50);
            s.setHolding(40, static_cast<uint16_t>(i));
            s.setInputOverride(10, static_cast<uint16_t>(i));
            (void)s.inputImage();
            (void)s.requests();
        }
    });
    bool allOk = true;
    for (int i = 0; i < 5; ++i)
        allOk = allOk && mbpoll(fx.toolPort(), readInputs(0, 13)).ok() && mbpoll(fx.toolPort(), readHolding(0, 64)).ok();
    done = true;
    hammer.join();
    QVERIFY(allOk);
    QCOMPARE(s.requestCount(4), 5);
    QCOMPARE(s.requestCount(3), 5);
}

void TestSimLine::programHelpAndConsole()
{
    QProcess help;
    help.start(QStringLiteral(TCAL_SIM_PATH), {"--help"});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(help.readAllStandardOutput());
    for (const char *opt : {"--port", "--baud", "--parity", "--data-bits", "--stop-bits", "--address", "--store",
                            "--no-line-speed", "--no-drift"})
        QVERIFY2(text.contains(opt), opt);

    QProcess bad;
    bad.start(QStringLiteral(TCAL_SIM_PATH), {"--parity", "X", "--port", "/dev/null"});
    QVERIFY(bad.waitForFinished(10000));
    QVERIFY(bad.exitCode() != 0);

    VirtualLine line;
    QVERIFY2(line.ok(), qPrintable(line.errorString()));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TCAL_SIM_PATH), {"--port", line.simulatorEnd(), "--no-drift", "--no-line-speed"});
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
    QVERIFY2(waitFor("help"), qPrintable(out));
    out.clear();
    p.write("set mv 25.0\nset ambient 20\n");
    QVERIFY2(waitFor("ok\nok\n"), qPrintable(out));
    const Poll r = mbpoll(line.toolEnd(), readInputs(0, 13));
    QVERIFY2(r.ok(), qPrintable(dump(r)));
    QCOMPARE(int32_t((uint32_t(r.values[3]) << 16) | r.values[4]), 6450); // 625 + 20 degC, tenths

    out.clear();
    p.write("fault silent on\n");
    QVERIFY2(waitFor("ok\n"), qPrintable(out));
    QVERIFY(!mbpoll(line.toolEnd(), readInputs(0, 13), {}, "0.5").ok());
    out.clear();
    p.write("fault off\nshow holding\n");
    QVERIFY2(waitFor(" 13:  4800"), qPrintable(out));
    QVERIFY(mbpoll(line.toolEnd(), readInputs(0, 13)).ok());

    p.write("quit\n");
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
}

void TestSimLine::programTakesBaudFromStoreFile()
{
    VirtualLine line;
    QVERIFY2(line.ok(), qPrintable(line.errorString()));
    sim::HoldingImage h = sim::model::defaultHolding();
    h[13] = 9600;
    h[1] = 7777;
    const QString store = line.directory() + "/store.txt";
    QVERIFY(sim::Simulator::saveStoreFile(store.toStdString(), h));

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TCAL_SIM_PATH), {"--port", line.simulatorEnd(), "--store", store, "--no-drift"});
    QVERIFY(p.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(p.bytesAvailable() > 0 || p.state() != QProcess::Running, 10000);
    p.waitForReadyRead(1000);
    const QString banner = QString::fromLocal8Bit(p.readAll());
    QVERIFY2(banner.contains("at 9600"), qPrintable(banner));
    const Poll r = mbpoll(line.toolEnd(), QStringList() << at(192, 9600) << "-t" << "4" << "-r" << "1");
    QVERIFY2(r.ok(), qPrintable(dump(r)));
    QCOMPARE(r.values.value(1), uint16_t(7777));

    // SIGTERM ends it cleanly.
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);

    // An explicit --baud wins over the stored one.
    QProcess q;
    q.setProcessChannelMode(QProcess::MergedChannels);
    q.start(QStringLiteral(TCAL_SIM_PATH), {"--port", line.simulatorEnd(), "--store", store, "--baud", "2400"});
    QVERIFY(q.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(q.bytesAvailable() > 0 || q.state() != QProcess::Running, 10000);
    q.waitForReadyRead(1000);
    QVERIFY(QString::fromLocal8Bit(q.readAll()).contains("at 2400"));
    q.terminate();
    QVERIFY(q.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(TestSimLine)
#include "test_sim_line.moc"
