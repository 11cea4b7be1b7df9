// tcal-cli as a process against the simulator over a virtual line.

#include "config_file.h"
#include "e2e_helpers.h"
#include "simulator_fixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace e2e;

namespace {

struct Run {
    int status;
    QStringList lines;   // standard output
    QString err;
};

sim::Config line(int address = 192, int baud = 9600)
{
    sim::Config c;
    c.address = address;
    c.baud = baud;
    c.lineSpeed = true;
    return c;
}

Run cli(const SimulatorFixture &f, const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(TCAL_CLI_PATH),
            QStringList{"--port", f.toolPort(), "--baud", QString::number(f.config().baud),
                        "--address", QString::number(f.config().address)} + args);
    if (!p.waitForFinished(300000))
        p.kill();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
            QString::fromUtf8(p.readAllStandardError())};
}

// Field names of the diff lines compare prints ("name: device ..., file ...").
QStringList differingFields(const Run &r)
{
    QStringList names;
    for (const QString &l : r.lines) {
        if (l.contains(QStringLiteral(": device ")))
            names << l.section(':', 0, 0);
    }
    return names;
}

// The configured registers of a holding image.
QMap<int, quint16> configured(const std::vector<uint16_t> &image)
{
    QVector<quint16> block(image.begin(), image.end());
    return config::fromHolding(block)->words;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(dir.isValid()); }
    void saveCompareApply();
    void refusedRegisterFailsTheApply();
    void badFileWritesNothing();
    void linkErrors();
    void readCommands();
    void fileFromOneTransmitterMakesAnotherEqual();
    void scanFindsOnlyTheTransmitter();

private:
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

void TestCli::saveCompareApply()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    QCOMPARE(cli(f, {"save", path("a.json")}).status, 0);

    f.sim().setHolding(1, 9000);
    f.sim().setHolding(5, 4);
    f.sim().setHolding(18, 999);
    const Run diff = cli(f, {"compare", path("a.json")});
    QCOMPARE(diff.status, 1);
    QCOMPARE(differingFields(diff), (QStringList{"upperRange", "filter", "tc0mV"}));

    f.sim().clearRequests();
    const Run applied = cli(f, {"apply", path("a.json")});
    QCOMPARE(applied.status, 0);
    QVERIFY2(applied.lines.last().startsWith("verified: 4 register(s)"), qPrintable(applied.lines.join('\n')));
    QCOMPARE(writes(f.sim()), (QStringList{"1=10000", "5=1", "17=0,120", "62=321"}));
    QCOMPARE(cli(f, {"compare", path("a.json")}).status, 0);
    QCOMPARE(configured(f.sim().storedImage()), config::loadFile(path("a.json")).config->words);
}

void TestCli::refusedRegisterFailsTheApply()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    QCOMPARE(cli(f, {"save", path("a.json")}).status, 0);
    f.sim().setHolding(5, 4);
    f.sim().setHolding(6, 1);
    f.sim().setException(16, 5, 2);
    f.sim().setException(6, 5, 2);
    const Run r = cli(f, {"apply", path("a.json")});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.lines.value(r.lines.size() - 1).contains("refused holding 5 (filter)"),
             qPrintable(r.lines.join('\n') + r.err));
    QCOMPARE(f.sim().requestCount(6, 62) + f.sim().requestCount(16, 62), 0);
}

void TestCli::badFileWritesNothing()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    QCOMPARE(cli(f, {"save", path("a.json")}).status, 0);
    QFile file(path("a.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray newer = file.readAll();
    newer.replace("\"formatVersion\": 2", "\"formatVersion\": 9");
    QFile out(path("newer.json"));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(newer) > 0);
    out.close();

    f.sim().clearRequests();
    for (const char *name : {"newer.json", "absent.json"}) {
        const Run r = cli(f, {"apply", path(name)});
        QCOMPARE(r.status, 4);
        QVERIFY(r.err.contains(name));
    }
    QVERIFY2(f.sim().requests().empty(), qPrintable(describe(f.sim().requests())));
}

void TestCli::linkErrors()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    QProcess p;
    p.start(QStringLiteral(TCAL_CLI_PATH), {"--port", path("no-such-port"), "info"});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 3);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains("cannot open"));

    f.sim().setSilent(true);
    Run r = cli(f, {"info"});
    QCOMPARE(r.status, 3);
    QVERIFY2(r.err.contains("no reply from address 192"), qPrintable(r.err));

    f.sim().clearFaults();
    f.sim().setException(3, -1, 2);
    r = cli(f, {"read"});
    QCOMPARE(r.status, 3);
    QVERIFY2(r.err.contains("exception code 2"), qPrintable(r.err));
}

void TestCli::readCommands()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    f.sim().setAppliedMillivolts(10.0);
    f.sim().setWorkMode(2);

    Run r = cli(f, {"dump", "holding"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.lines.size(), 65);
    QCOMPARE(r.lines.at(2), QStringLiteral("1,10000"));

    r = cli(f, {"monitor", "--count", "2", "--interval", "0.2"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.lines.size(), 3);
    QCOMPARE(r.lines.at(0), QStringLiteral("time,measured,room,adc"));
    const QStringList row = r.lines.at(2).split(',');
    QCOMPARE(row.at(3).toInt(), f.sim().adcValue());
    QCOMPARE(row.at(2), QStringLiteral("23.5"));

    r = cli(f, {"info"});
    QCOMPARE(r.status, 0);
    QVERIFY(r.lines.contains("work mode: 2 (thermocouple calibration)"));
    QVERIFY(r.lines.contains(QStringLiteral("ADC: %1").arg(f.sim().adcValue())));
}

// Saved from one transmitter, applied to another at another address: the
// second then compares equal, and keeps it across a power cycle.
void TestCli::fileFromOneTransmitterMakesAnotherEqual()
{
    SimulatorFixture a(line(192));
    SimulatorFixture b(line(17));
    QVERIFY2(a.ok() && b.ok(), qPrintable(a.errorString() + b.errorString()));
    a.sim().setHolding(0, 32);
    a.sim().setHolding(2, quint16(-500));
    a.sim().setHolding(9, 4101);
    a.sim().setHolding(19, 2);
    QCOMPARE(cli(a, {"save", path("a.json"), "--tag", "TT-1"}).status, 0);
    QCOMPARE(cli(b, {"compare", path("a.json")}).status, 1);

    const Run applied = cli(b, {"apply", path("a.json")});
    QCOMPARE(applied.status, 0);
    QCOMPARE(cli(b, {"compare", path("a.json")}).status, 0);
    QVERIFY(b.restartSimulator());
    QCOMPARE(cli(b, {"compare", path("a.json")}).status, 0);
    QCOMPARE(configured(b.sim().storedImage()), configured(a.sim().holdingImage()));
}

// A pty pair carries bytes at any rate, so this finds the address, not the rate.
void TestCli::scanFindsOnlyTheTransmitter()
{
    SimulatorFixture f(line(37, 19200));
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    const Run r = cli(f, {"scan", "--bauds", "19200", "--addresses", "30-45"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.lines, (QStringList{"address,baud", "37,19200"}));
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
