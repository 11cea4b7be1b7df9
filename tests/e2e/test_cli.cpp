// tcal-cli as a process against the simulator over a virtual line.

#include "core/config_file.h"
#include "e2e_helpers.h"
#include "simulator_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>
#include <sys/types.h>
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

// `typed` is what the technician types at the prompts.
Run cli(const SimulatorFixture &f, const QStringList &args, const QByteArray &typed = {})
{
    QProcess p;
    p.start(QStringLiteral(TCAL_CLI_PATH),
            QStringList{"--port", f.toolPort(), "--baud", QString::number(f.config().baud),
                        "--address", QString::number(f.config().address)} + args);
    p.write(typed);
    p.closeWriteChannel();
    if (!p.waitForFinished(300000))
        p.kill();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
            QString::fromUtf8(p.readAllStandardError())};
}

// `from` with some words changed, saved as `to`.
QString edited(const QString &from, const QString &to, const QMap<int, quint16> &words)
{
    config::Configuration c = *config::loadFile(from).config;
    for (auto it = words.cbegin(); it != words.cend(); ++it)
        c.words[it.key()] = it.value();
    QString error;
    return config::saveFile(to, c, &error) ? to : error;
}

QJsonObject json(const Run &r)
{
    return QJsonDocument::fromJson(r.lines.join('\n').toUtf8()).object();
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
    void applyToSeveralAddresses();
    void monitorGoesOnThroughGaps();
    void calibrateFromTheTerminal();
    void calibrateEndsSafely();

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
    const Run applied = cli(f, {"apply", path("a.json"), "--include-calibration"});
    QCOMPARE(applied.status, 0);
    QVERIFY2(applied.err.contains("warning: writing unit calibration as well: roomZeroOffset"), qPrintable(applied.err));
    QVERIFY2(applied.lines.last().startsWith("verified: 4 register(s)"), qPrintable(applied.lines.join('\n')));
    QCOMPARE(writes(f.sim()), (QStringList{"1=10000", "5=1", "17=0,120", "62=321"}));
    QCOMPARE(cli(f, {"compare", path("a.json")}).status, 0);
    QCOMPARE(configured(f.sim().storedImage()), config::loadFile(path("a.json")).config->words);
    // Again: nothing differs, so nothing is written or stored, and neither output claims it was.
    f.sim().clearRequests();
    const Run again = cli(f, {"apply", path("a.json"), "--include-calibration", "--json"});
    QCOMPARE(again.status, 0);
    QCOMPARE(writes(f.sim()), QStringList());
    const QJsonObject result =
        QJsonDocument::fromJson(again.lines.join(QLatin1Char('\n')).toUtf8()).object().value("results").toArray().at(0).toObject();
    QVERIFY2(result.value("verified").toBool() && result.contains("stored") && !result.value("stored").toBool(),
             qPrintable(again.lines.join(QLatin1Char('\n'))));
    QVERIFY2(result.value("summary").toString().startsWith("verified: no field differed, nothing was written or stored"),
             qPrintable(again.lines.join(QLatin1Char('\n'))));
}

void TestCli::refusedRegisterFailsTheApply()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    QCOMPARE(cli(f, {"save", path("a.json")}).status, 0);
    f.sim().setHolding(1, 9000);
    f.sim().setHolding(5, 4);
    f.sim().setHolding(6, 1);
    const std::vector<uint16_t> ram = f.sim().holdingImage();
    const std::vector<uint16_t> stored = f.sim().storedImage();
    f.sim().setException(16, 5, 2);
    f.sim().setException(6, 5, 2);
    const Run r = cli(f, {"apply", path("a.json")});
    QCOMPARE(r.status, 3);
    QVERIFY2(r.lines.value(r.lines.size() - 1)
                 .contains("refused holding 5 (filter); the values read at the start were written back"),
             qPrintable(r.lines.join('\n') + r.err));
    QCOMPARE(f.sim().requestCount(6, 62) + f.sim().requestCount(16, 62), 0);
    QVERIFY(f.sim().holdingImage() == ram);
    QVERIFY(f.sim().storedImage() == stored);
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

    // Values the transmitter cannot use, each refused before the port opens.
    const QList<QPair<QMap<int, quint16>, QString>> invalid = {
        {{{13, 1234}}, "baudRate: value 1234"}, {{{5, 0}}, "filter: value 0"},
        {{{8, 0}}, "roomGain: value 0.0"}, {{{2, 12000}}, "lowerRange: value 1200.0"}};
    QStringList names{"newer.json", "absent.json"};
    for (const auto &bad : invalid) {
        names << QStringLiteral("bad%1.json").arg(names.size());
        QCOMPARE(edited(path("a.json"), path(qPrintable(names.last())), bad.first), path(qPrintable(names.last())));
    }
    f.sim().clearRequests();
    for (int i = 0; i < names.size(); ++i) {
        const Run r = cli(f, {"apply", dir.filePath(names.at(i))});
        QCOMPARE(r.status, 4);
        QVERIFY(r.err.contains(names.at(i)));
        if (i >= 2)
            QVERIFY2(r.err.contains(invalid.at(i - 2).second), qPrintable(r.err));
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

    // A typo is a usage error, never "different": `compare || apply` must not apply.
    Run r = cli(f, {"compare", path("a.json"), "--adress", "5"});
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains("adress"), qPrintable(r.err));

    f.sim().setSilent(true);
    r = cli(f, {"info", "--json"});
    QCOMPARE(r.status, 3);
    QCOMPARE(json(r).value("error").toObject().value("code").toInt(), 3);
    QVERIFY(json(r).value("error").toObject().value("message").toString().contains("no reply from address 192"));
    r = cli(f, {"monitor", "--count", "2", "--interval", "0.1", "--retries", "0"});
    QCOMPARE(r.status, 3);
    QCOMPARE(r.lines.size(), 3);
    QVERIFY2(r.lines.at(2).endsWith(",,,") && r.err.contains("2 of 2 read(s) failed"), qPrintable(r.err));

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
    const QDateTime time = QDateTime::fromString(row.at(0), Qt::ISODateWithMs);
    QVERIFY2(time.isValid() && time.timeSpec() != Qt::LocalTime, qPrintable(row.at(0)));
    QCOMPARE(row.at(2), QStringLiteral("23.5"));

    r = cli(f, {"dump", "input", "--json"});
    QCOMPARE(r.status, 0);
    QCOMPARE(json(r).value("registers").toArray().size(), 13);
    QCOMPARE(json(r).value("registers").toArray().at(12).toInt(), 2);

    r = cli(f, {"info"});
    QCOMPARE(r.status, 0);
    QVERIFY(r.lines.contains("work mode: 2 (thermocouple calibration)"));
    QVERIFY(r.lines.contains(QStringLiteral("ADC: %1").arg(f.sim().adcValue())));
}

// Saved from one transmitter, applied to another at another address: the
// settings go and stay across a power cycle; the second unit's own
// calibration stays unless both flags ask for the first unit's.
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
    QCOMPARE(config::loadFile(path("a.json")).config->identity.address, 192);
    QCOMPARE(cli(b, {"compare", path("a.json")}).status, 1);
    const std::vector<uint16_t> own = b.sim().holdingImage();

    const Run applied = cli(b, {"apply", path("a.json")});
    QCOMPARE(applied.status, 0);
    const Run compared = cli(b, {"compare", path("a.json"), "--json"});
    QCOMPARE(compared.status, 0);
    QCOMPARE(json(compared).value("calibrationDiffering").toInt(), 2);
    const QJsonObject lower = json(compared).value("settings").toArray().at(2).toObject();
    QCOMPARE(lower.value("name").toString(), QStringLiteral("lowerRange"));
    QCOMPARE(lower.value("deviceValue").toVariant(), QVariant(-50.0));
    QVERIFY(b.restartSimulator());
    QCOMPARE(cli(b, {"compare", path("a.json")}).status, 0);
    for (int r : {9, 10, 11, 12, 15, 16, 17, 18, 19, 20, 21, 22, 7, 8})
        QCOMPARE(b.sim().storedImage()[size_t(r)], own[size_t(r)]);

    b.sim().clearRequests();
    const Run refused = cli(b, {"apply", path("a.json"), "--include-calibration"});
    QCOMPARE(refused.status, 2);
    QVERIFY2(refused.err.contains("--other-unit"), qPrintable(refused.err));
    QVERIFY(b.sim().requests().empty());
    QCOMPARE(cli(b, {"apply", path("a.json"), "--include-calibration", "--other-unit"}).status, 0);
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

// One verdict an address; a silent one does not stop the others, and the
// exit status is the worst of them.
void TestCli::applyToSeveralAddresses()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    QCOMPARE(cli(f, {"save", path("a.json")}).status, 0);
    f.sim().setHolding(5, 4);
    const Run r = cli(f, {"apply", path("a.json"), "--address", "17,192,18", "--timeout", "600", "--json"});
    QCOMPARE(r.status, 3);
    const QJsonArray results = json(r).value("results").toArray();
    QCOMPARE(results.size(), 3);
    QCOMPARE(results.at(0).toObject().value("outcome").toString(), QStringLiteral("read failed"));
    QCOMPARE(results.at(1).toObject().value("outcome").toString(), QStringLiteral("verified"));
    QCOMPARE(results.at(2).toObject().value("exitStatus").toInt(), 3);
    QCOMPARE(f.sim().storedImage()[5], uint16_t(1));
}

// A silent spell is a line with empty values; the monitor goes on and stops on
// SIGTERM (as on Ctrl-C) with a count of the failures, exit 0 as reads were answered.
void TestCli::monitorGoesOnThroughGaps()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    QProcess p;
    QStringList lines;
    const auto readLines = [&] {
        lines += QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        return lines;
    };
    p.start(QStringLiteral(TCAL_CLI_PATH), {"--port", f.toolPort(), "--baud", "9600", "--retries", "0",
                                            "monitor", "--interval", "0.1"});
    QTRY_VERIFY_WITH_TIMEOUT(readLines().size() >= 3, 20000);
    f.sim().setSilent(true);
    QTRY_VERIFY_WITH_TIMEOUT(readLines().last().endsWith(",,,"), 20000);
    f.sim().setSilent(false);
    QTRY_VERIFY_WITH_TIMEOUT(!readLines().last().endsWith(",,,"), 20000);
    p.terminate();
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QRegularExpression(" [1-9][0-9]* of [0-9]+ read\\(s\\) failed")));
}

// The calibration procedures from a terminal: readings given or typed, each
// run ending with the verified store or a refusal that leaves the points as they were.
void TestCli::calibrateFromTheTerminal()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    sim::Simulator &sim = f.sim();
    const Run current = cli(f, {"calibrate", "current", "--at-4ma", "4.021", "--at-20ma", "19.999", "--json"});
    QCOMPARE(current.status, 0);
    QCOMPARE(json(current).value("stored").toBool(), true);
    QCOMPARE(sim.storedImage()[11], uint16_t(4021));
    QCOMPARE(sim.storedImage()[12], uint16_t(19999));
    QCOMPARE(sim.workMode(), 0);

    const Run typo = cli(f, {"calibrate", "current"}, "4.030\nabc\n");
    QCOMPARE(typo.status, 2);
    QVERIFY2(typo.err.contains("nothing was stored"), qPrintable(typo.err));
    QCOMPARE(sim.holding(11), uint16_t(4021));
    QCOMPARE(sim.storedImage()[11], uint16_t(4021));

    sim.setAppliedMillivolts(20.0);
    const Run input = cli(f, {"calibrate", "input", "thermocouple"}, "\n\n");
    QCOMPARE(input.status, 0);
    const QVector<quint16> adc{sim.input(7), sim.input(8)};
    for (int point : {15, 17})
        QCOMPARE((QVector<quint16>{sim.storedImage()[point], sim.storedImage()[point + 1]}), adc);
    QCOMPARE(sim.workMode(), 0);
    QCOMPARE(cli(f, {"calibrate", "input", "ntc"}).status, 2);
}

// End of input, Ctrl-C and SIGTERM in the middle of a calibration: what was
// captured goes back, the mode is left, and the exit status says it was not stored.
void TestCli::calibrateEndsSafely()
{
    SimulatorFixture f(line());
    QVERIFY2(f.ok(), qPrintable(f.errorString()));
    sim::Simulator &sim = f.sim();
    const std::vector<uint16_t> stored = sim.storedImage();
    auto settled = [&] {
        const std::vector<uint16_t> ram = sim.holdingImage();
        for (int r : {11, 12, 15, 16, 17, 18})
            if (ram[size_t(r)] != stored[size_t(r)] || sim.storedImage()[size_t(r)] != stored[size_t(r)])
                return false;
        return sim.workMode() == 0;
    };
    sim.setAppliedMillivolts(30.0);   // not the stored point
    const Run eof = cli(f, {"calibrate", "input", "thermocouple"}, "\n");
    QCOMPARE(eof.status, 2);
    QVERIFY2(eof.err.contains("nothing was stored: the old values are back"), qPrintable(eof.err));
    QVERIFY(settled());

    for (int signal : {SIGINT, SIGTERM}) {
        QProcess p;
        p.start(QStringLiteral(TCAL_CLI_PATH),
                QStringList{"--port", f.toolPort(), "--baud", QString::number(f.config().baud), "--address",
                            QString::number(f.config().address), "calibrate", "input", "thermocouple"});
        p.write("\n");   // the 50 mV point is captured; the 0 mV prompt waits
        QTRY_VERIFY_WITH_TIMEOUT(sim.holding(15) != stored[15] || sim.holding(16) != stored[16], 20000);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 3);
        QVERIFY(settled());
    }

    // Stopped while the output is driven at 4 mA: mode 4 is left.
    QProcess p;
    p.start(QStringLiteral(TCAL_CLI_PATH),
            QStringList{"--port", f.toolPort(), "--baud", QString::number(f.config().baud), "--address",
                        QString::number(f.config().address), "calibrate", "current"});
    QTRY_COMPARE_WITH_TIMEOUT(sim.workMode(), 4, 20000);
    p.terminate();
    QVERIFY(p.waitForFinished(20000));
    QVERIFY(settled());
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
