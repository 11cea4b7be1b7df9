// Reference instruments: address syntax, model files, ranges, and real SCPI
// exchanges over TCP with a small fake instrument in the test itself.
#include "instruments/address.h"
#include "instruments/instrument.h"
#include "instruments/model.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace instruments;

namespace {

// Answers like a bench instrument: *IDN?, SYST:ERR? from a queue,
// MEAS:CURR:DC?; a command in `rejected` queues its error. Lines end in \r\n,
// as many instruments send them.
class FakeInstrument : public QObject {
public:
    FakeInstrument()
    {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [this, peer] {
                while (peer->canReadLine())
                    answer(peer, QString::fromUtf8(peer->readLine()).trimmed());
            });
        });
    }
    QString address() const { return QStringLiteral("tcp:127.0.0.1:%1").arg(server.serverPort()); }

    QTcpServer server;
    QStringList lines;
    QString identity = QStringLiteral("Acme,CAL-1,42,1.0");
    QString current = QStringLiteral("+1.23456E-02");
    QHash<QString, QStringList> rejected;
    QStringList errors;
    bool silent = false;

private:
    void answer(QTcpSocket *peer, const QString &line)
    {
        lines << line;
        if (silent)
            return;
        const auto reply = [peer](const QString &text) { peer->write(text.toUtf8() + "\r\n"); };
        if (line == QLatin1String("*IDN?"))
            reply(identity);
        else if (line == QLatin1String("SYST:ERR?"))
            reply(errors.isEmpty() ? QStringLiteral("+0,\"No error\"") : errors.takeFirst());
        else if (line == QLatin1String("MEAS:CURR:DC?"))
            reply(current);
        else if (line == QLatin1String("MEAS:TEMP?"))
            reply(QStringLiteral("+2.3420E+01"));
        else if (line == QLatin1String("MEAS:HUM?"))
            reply(QStringLiteral("45.6"));
        else
            errors << rejected.value(line.section(QLatin1Char(' '), 0, 0));
    }
};

Model builtIn(const QString &name)
{
    QString why;
    const std::optional<Model> model = findModel(name, &why);
    if (!model)
        qFatal("%s", qPrintable(why));
    return *model;
}

QJsonObject goodCalibrator()
{
    return QJsonDocument::fromJson(R"({"name": "Test calibrator", "role": "calibrator",
        "identity": "^Acme,", "terminator": "\n", "timeout ms": 500,
        "commands": {"identify": "*IDN?", "reset": "*RST", "error query": "SYST:ERR?",
                     "source millivolts": {"text": "SOUR:VOLT {value}", "scale": 0.001},
                     "source ohms": "SOUR:RES {value}", "output on": "OUTP ON", "output off": "OUTP OFF"},
        "ranges": [{"function": "mV", "up to": 100, "% of reading": 0.01, "floor": 0.005, "resolution": 0.001},
                   {"function": "ohm", "up to": 400, "% of reading": 0.01, "floor": 0.01, "resolution": 0.001,
                    "stated at k=2": true}]})").object();
}

QJsonObject goodSwitch()
{
    return QJsonDocument::fromJson(R"json({"name": "Test switch", "role": "switch", "identity": "^Acme,",
        "settle ms": 30, "channel list": {"prefix": "(@", "separator": ",", "suffix": ")"},
        "commands": {"identify": "*IDN?", "reset": "*RST", "error query": "SYST:ERR?",
                     "route close": "ROUT:CLOS {channels}", "route open": "ROUT:OPEN {channels}",
                     "route open all": "ROUT:OPEN:ALL"}})json").object();
}

using Change = std::function<void(QJsonObject &)>;

void setCommand(QJsonObject &root, const QString &key, const QJsonValue &value)
{
    QJsonObject commands = root.value(QStringLiteral("commands")).toObject();
    if (value.isUndefined())
        commands.remove(key);
    else
        commands.insert(key, value);
    root.insert(QStringLiteral("commands"), commands);
}

void setFirstRange(QJsonObject &root, const QString &key, const QJsonValue &value)
{
    QJsonArray ranges = root.value(QStringLiteral("ranges")).toArray();
    QJsonObject first = ranges.at(0).toObject();
    first.insert(key, value);
    ranges.replace(0, first);
    root.insert(QStringLiteral("ranges"), ranges);
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestInstruments : public QObject {
    Q_OBJECT

    QTemporaryDir m_data;

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_data.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    }

    // Opened on the fake instrument; fails the test when it cannot be.
    std::unique_ptr<Instrument> openOn(const FakeInstrument &fake, Model model)
    {
        const std::optional<Address> address = parseAddress(fake.address(), nullptr);
        auto instrument = std::make_unique<Instrument>(model, *address);
        if (!instrument->open())
            qFatal("%s", qPrintable(instrument->lastError()));
        return instrument;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_data.isValid());
        qputenv("XDG_DATA_HOME", m_data.filePath(QStringLiteral("xdg")).toUtf8());
    }

    void parsesAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("where");   // path or host
        QTest::addColumn<int>("number");      // baud or port
        const int serial = int(Address::Kind::Serial), tcp = int(Address::Kind::Tcp);
        QTest::newRow("device") << "/dev/ttyUSB0" << serial << "/dev/ttyUSB0" << 9600;
        QTest::newRow("device and baud") << " /dev/ttyUSB0:19200 " << serial << "/dev/ttyUSB0" << 19200;
        QTest::newRow("windows port") << "COM3:9600" << serial << "COM3" << 9600;
        QTest::newRow("by-path name keeps its colons")
            << "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0" << serial
            << "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0" << 9600;
        QTest::newRow("host") << "tcp:meter.lab" << tcp << "meter.lab" << 5025;
        QTest::newRow("host and port") << "TCP:10.1.2.3:5555" << tcp << "10.1.2.3" << 5555;
        QTest::newRow("ipv6") << "tcp:[::1]:5025" << tcp << "::1" << 5025;
#ifndef Q_OS_WIN
        QTest::newRow("usbtmc") << "usbtmc:/dev/usbtmc0" << int(Address::Kind::Usbtmc) << "/dev/usbtmc0" << 0;
#endif
    }
    void parsesAddresses()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, where);
        QFETCH(int, number);
        QString why;
        const std::optional<Address> address = parseAddress(text, &why);
        QVERIFY2(address, qPrintable(why));
        QCOMPARE(int(address->kind), kind);
        if (address->kind == Address::Kind::Tcp) {
            QCOMPARE(address->host, where);
            QCOMPARE(int(address->port), number);
        } else {
            QCOMPARE(address->path, where);
            if (address->kind == Address::Kind::Serial)
                QCOMPARE(address->baud, number);
        }
        const std::optional<Address> again = parseAddress(addressText(*address), &why);
        QVERIFY2(again, qPrintable(why));
        QCOMPARE(addressText(*again), addressText(*address));
        QCOMPARE(again->path + again->host, address->path + address->host);
    }

    void refusesAddresses_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text : {"", "  ", "tcp:", "tcp::5025", "tcp:host:", "tcp:host:0", "tcp:host:65536",
                                 "tcp:host:port", "tcp:a:b:c", "tcp:[::1", "tcp:[::1]x", "tcp:[[\"]", "tcp:a b", "tcp:[host]", "usbtmc:",
                                 "/dev/ttyUSB0:0", "/dev/ttyUSB0:10", "COM3:99999999999", ":9600",
                                 "gpib:/dev/gpib0", "tcp", "USBTMC"})
            QTest::newRow(text) << QString::fromLatin1(text);
    }
    void refusesAddresses()
    {
        QFETCH(QString, text);
        QString why;
        QVERIFY(!parseAddress(text, &why));
        QVERIFY(!why.isEmpty());
    }

    void refusesFaultyModels_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("named");   // what the message must point at
        const auto root = [](const char *key, QJsonValue v) {
            return Change([=](QJsonObject &o) { o.insert(QLatin1String(key), v); });
        };
        QTest::newRow("unknown key") << root("colour", "blue") << "colour";
        QTest::newRow("unknown role") << root("role", "source") << "role";
        QTest::newRow("bad regex") << root("identity", "^Acme(") << "identity";
        QTest::newRow("timeout not a number") << root("timeout ms", "fast") << "timeout ms";
        QTest::newRow("timeout fractional") << root("timeout ms", 1.5) << "timeout ms";
        QTest::newRow("no name") << Change([](QJsonObject &o) { o.remove(QStringLiteral("name")); }) << "name";
        QTest::newRow("unknown command")
            << Change([](QJsonObject &o) { setCommand(o, QStringLiteral("measure volts"), "MEAS?"); })
            << "measure volts";
        QTest::newRow("missing command")
            << Change([](QJsonObject &o) { setCommand(o, QStringLiteral("source ohms"), QJsonValue::Undefined); })
            << "source ohms";
        QTest::newRow("meter without measure")
            << Change([](QJsonObject &o) { o.insert(QStringLiteral("role"), "meter"); }) << "measure current";
        QTest::newRow("source without {value}")
            << Change([](QJsonObject &o) { setCommand(o, QStringLiteral("source ohms"), "SOUR:RES"); })
            << "{value}";
        QTest::newRow("zero scale")
            << Change([](QJsonObject &o) {
                   setCommand(o, QStringLiteral("source millivolts"),
                              QJsonObject{{"text", "SOUR:VOLT {value}"}, {"scale", 0}});
               })
            << "scale";
        QTest::newRow("negative range")
            << Change([](QJsonObject &o) { setFirstRange(o, QStringLiteral("up to"), -100); }) << "up to";
        QTest::newRow("floor as text")
            << Change([](QJsonObject &o) { setFirstRange(o, QStringLiteral("floor"), "0.005"); }) << "floor";
        QTest::newRow("unknown function")
            << Change([](QJsonObject &o) { setFirstRange(o, QStringLiteral("function"), "V"); }) << "\"V\"";
        QTest::newRow("unknown range key")
            << Change([](QJsonObject &o) { setFirstRange(o, QStringLiteral("accuracy"), 1); }) << "accuracy";
        QTest::newRow("excitation effect on mV")
            << Change([](QJsonObject &o) { setFirstRange(o, QStringLiteral("excitation effect"), 0.01); }) << "excitation effect";
        QTest::newRow("reference band reversed")
            << Change([](QJsonObject &o) {
                   setFirstRange(o, QStringLiteral("% of reading per degC"), 0.001);
                   setFirstRange(o, QStringLiteral("reference degC"), QJsonArray{28, 18});
               })
            << "reference degC";
        QTest::newRow("no mV range")
            << Change([](QJsonObject &o) { setFirstRange(o, QStringLiteral("function"), "ohm"); }) << "mV";
        QTest::newRow("environment without measure temperature")
            << Change([](QJsonObject &o) { o.insert(QStringLiteral("role"), "environment"); }) << "measure temperature";
        QTest::newRow("environment without a degC range")
            << Change([](QJsonObject &o) {
                   o.insert(QStringLiteral("role"), "environment");
                   setCommand(o, QStringLiteral("measure temperature"), "MEAS:TEMP?");
               })
            << "degC";
    }
    void refusesFaultyModels()
    {
        QFETCH(Change, change);
        QFETCH(QString, named);
        QString why;
        const QString good = writeFile(QStringLiteral("good.json"), QJsonDocument(goodCalibrator()).toJson());
        QVERIFY2(readModel(good, &why), qPrintable(why));   // the fault alone makes the difference
        QJsonObject faulty = goodCalibrator();
        change(faulty);
        const QString path = writeFile(QStringLiteral("faulty.json"), QJsonDocument(faulty).toJson());
        QVERIFY(!readModel(path, &why));
        QVERIFY2(why.contains(named), qPrintable(why));
    }

    // A switch's own keys, each fault on its own against a good switch model.
    void refusesFaultySwitchModels_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("named");
        const auto root = [](const char *key, QJsonValue v) {
            return Change([=](QJsonObject &o) { o.insert(QLatin1String(key), v); });
        };
        const auto cmd = [](const char *key, QJsonValue v) {
            return Change([=](QJsonObject &o) { setCommand(o, QLatin1String(key), v); });
        };
        QTest::newRow("close without channels") << cmd("route close", "ROUT:CLOS") << "{channels}";
        QTest::newRow("open with a value") << cmd("route open", "ROUT:OPEN {channels} {value}") << "{value}";
        QTest::newRow("open all with channels") << cmd("route open all", "ROUT:OPEN {channels}") << "route open all";
        QTest::newRow("no route open") << cmd("route open", QJsonValue::Undefined) << "route open";
        QTest::newRow("settle negative") << root("settle ms", -1) << "settle ms";
        QTest::newRow("settle too long") << root("settle ms", 10001) << "settle ms";
        QTest::newRow("settle fractional") << root("settle ms", 2.5) << "settle ms";
        QTest::newRow("a range") << root("ranges", QJsonArray{QJsonObject{{"function", "mA"}, {"up to", 1},
                                                                          {"% of reading", 0}, {"floor", 0},
                                                                          {"resolution", 1}}})
                                 << "no ranges";
        QTest::newRow("empty separator") << root("channel list", QJsonObject{{"separator", ""}}) << "separator";
        QTest::newRow("line end in suffix") << root("channel list", QJsonObject{{"suffix", ")\n"}}) << "suffix";
        QTest::newRow("unknown list key") << root("channel list", QJsonObject{{"range", ":"}}) << "range";
        QTest::newRow("list not an object") << root("channel list", "(@,)") << "channel list";
        QTest::newRow("settle on a meter")
            << Change([](QJsonObject &o) {
                   o.insert(QStringLiteral("role"), "meter");
                   setCommand(o, QStringLiteral("measure current"), "MEAS:CURR:DC?");
                   o.insert(QStringLiteral("ranges"), QJsonArray{QJsonObject{{"function", "mA"}, {"up to", 30},
                                                                             {"% of reading", 0}, {"floor", 0},
                                                                             {"resolution", 1}}});
               })
            << "only a switch";
    }
    void refusesFaultySwitchModels()
    {
        QFETCH(Change, change);
        QFETCH(QString, named);
        QString why;
        const QString good = writeFile(QStringLiteral("switch.json"), QJsonDocument(goodSwitch()).toJson());
        const std::optional<Model> model = readModel(good, &why);
        QVERIFY2(model, qPrintable(why));
        QCOMPARE(model->role, Role::Switch);
        QVERIFY(model->ranges.isEmpty());
        QJsonObject faulty = goodSwitch();
        change(faulty);
        QVERIFY(!readModel(writeFile(QStringLiteral("faulty-switch.json"), QJsonDocument(faulty).toJson()), &why));
        QVERIFY2(why.contains(named), qPrintable(why));
    }

    void namesChannelsAndWritesTheirList_data()
    {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<bool>("taken");
        QTest::newRow("scanner") << "101" << true;
        QTest::newRow("matrix") << "1!2!3" << true;
        QTest::newRow("sixteen") << QString(16, QLatin1Char('9')) << true;
        QTest::newRow("seventeen") << QString(17, QLatin1Char('9')) << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("range") << "101:105" << false;
        QTest::newRow("list") << "101,102" << false;
        QTest::newRow("list form") << "(@101)" << false;
        QTest::newRow("space") << "10 1" << false;
        QTest::newRow("line end") << "101\n*RST" << false;
    }
    void namesChannelsAndWritesTheirList()
    {
        QFETCH(QString, channel);
        QFETCH(bool, taken);
        QCOMPARE(isChannelName(channel), taken);
        QCOMPARE(channelListText(ChannelListForm{}, {"101", "202"}), QStringLiteral("(@101,202)"));
        QCOMPARE(channelListText(ChannelListForm{"", " ", ""}, {"A1", "B2"}), QStringLiteral("A1 B2"));
    }

    // Close waits the settle time; a bad channel name sends nothing; without
    // "route open all" the known channels are opened by name.
    void drivesASwitch()
    {
        FakeInstrument fake;
        QString why;
        std::optional<Model> model =
            readModel(writeFile(QStringLiteral("drive-switch.json"), QJsonDocument(goodSwitch()).toJson()), &why);
        QVERIFY2(model, qPrintable(why));
        auto sw = openOn(fake, *model);
        QElapsedTimer clock;
        clock.start();
        QVERIFY2(sw->routeClose({"101", "201"}), qPrintable(sw->lastError()));
        QVERIFY(clock.elapsed() >= 28);
        QVERIFY(!sw->routeClose({"101", "102:104"}));
        QVERIFY(sw->lastError().contains(QLatin1String("102:104")));
        QVERIFY(!sw->routeOpen({}));
        QVERIFY2(sw->routeOpen({"101"}), qPrintable(sw->lastError()));
        QVERIFY2(sw->routeOpenAll({"101", "201"}), qPrintable(sw->lastError()));
        model->routeOpenAll = Command{};
        auto plain = openOn(fake, *model);
        QVERIFY2(plain->routeOpenAll({"101", "201"}), qPrintable(plain->lastError()));
        fake.rejected.insert(QStringLiteral("ROUT:CLOS"), {QStringLiteral("-222,\"Data out of range\"")});
        QVERIFY(!plain->routeClose({"999"}));
        QVERIFY(plain->lastError().contains(QLatin1String("ROUT:CLOS (@999)")));
        const QStringList expected{"ROUT:CLOS (@101,201)", "SYST:ERR?", "ROUT:OPEN (@101)", "SYST:ERR?",
                                   "ROUT:OPEN:ALL",        "SYST:ERR?", "ROUT:OPEN (@101,201)", "SYST:ERR?",
                                   "ROUT:CLOS (@999)",     "SYST:ERR?", "SYST:ERR?"};
        QCOMPARE(fake.lines, expected);
        QCOMPARE(builtIn(QStringLiteral("Generic SCPI switch")).routeClose.text, QStringLiteral("ROUT:CLOS {channels}"));
    }

    void refusesFilesThatAreNoModel()
    {
        QString why;
        QVERIFY(!readModel(writeFile(QStringLiteral("cut.json"), "{\"name\": \"x\", "), &why));
        QVERIFY(why.contains(QLatin1String("not JSON")));
        QVERIFY(!readModel(writeFile(QStringLiteral("list.json"), "[1, 2]"), &why));
        QVERIFY(!readModel(m_data.filePath(QStringLiteral("absent.json")), &why));
    }

    void picksTheSmallestRangeHoldingTheValue()
    {
        Model model;
        for (double upTo : {100.0, 10.0, 1000.0})
            model.ranges << Range{QStringLiteral("mV"), upTo, 0.01, 0.005, 0.001, false};
        const auto upTo = [&](double value) {
            const std::optional<Range> r = rangeFor(model, QStringLiteral("mV"), value);
            return r ? r->upTo : -1.0;
        };
        QCOMPARE(upTo(5), 10.0);
        QCOMPARE(upTo(10), 10.0);
        QCOMPARE(upTo(10.001), 100.0);
        QCOMPARE(upTo(-50), 100.0);
        QCOMPARE(upTo(1000.5), -1.0);
        QVERIFY(!rangeFor(model, QStringLiteral("ohm"), 1));
    }

    // The built-in models carry the command sets the simulated laboratory answers.
    void findsBuiltInAndLaboratoryModels()
    {
        const Model calibrator = builtIn(QStringLiteral("Generic SCPI calibrator"));
        QCOMPARE(calibrator.sourceMillivolts.text, QStringLiteral("SOUR:VOLT {value}"));
        QCOMPARE(calibrator.sourceMillivolts.scale, 0.001);
        QCOMPARE(builtIn(QStringLiteral("generic scpi meter")).measureCurrent.scale, 1000.0);

        QDir().mkpath(m_data.filePath(QStringLiteral("xdg/tcal/instruments")));
        QJsonObject own = goodCalibrator();
        own.insert(QStringLiteral("name"), QStringLiteral("Bench calibrator"));
        writeFile(QStringLiteral("xdg/tcal/instruments/bench.json"), QJsonDocument(own).toJson());
        writeFile(QStringLiteral("xdg/tcal/instruments/broken.json"), "{");
        QStringList problems;
        QStringList names;
        for (const Model &model : availableModels(&problems))
            names << model.name;
        QVERIFY(names.contains(QStringLiteral("Bench calibrator")));
        QVERIFY(names.contains(QStringLiteral("Generic SCPI meter")));
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems.first().contains(QLatin1String("broken.json")));
        QString why;
        QVERIFY2(findModel(QStringLiteral("Bench Calibrator"), &why), qPrintable(why));
        QVERIFY(!findModel(QStringLiteral("Nonesuch 9000"), &why));
        QVERIFY(why.contains(QLatin1String("Bench calibrator")));   // the message lists what there is
    }

    void drivesInstrumentsOverTcp()
    {
        FakeInstrument fake;
        auto calibrator = openOn(fake, builtIn(QStringLiteral("Generic SCPI calibrator")));
        QSignalSpy exchanged(calibrator.get(), &Instrument::exchanged);
        QCOMPARE(calibrator->identify().value_or(QString()), fake.identity);
        QCOMPARE(calibrator->identity(), fake.identity);
        QVERIFY2(calibrator->sourceMillivolts(12.345), qPrintable(calibrator->lastError()));
        QVERIFY2(calibrator->sourceOhms(138.5), qPrintable(calibrator->lastError()));
        QVERIFY2(calibrator->setOutput(true), qPrintable(calibrator->lastError()));
        // Out of every range: refused before anything is sent.
        QVERIFY(!calibrator->sourceMillivolts(150));
        QVERIFY(calibrator->reset());
        const QStringList expected{"*IDN?", "SYST:ERR?", "SOUR:VOLT 0.012345", "SYST:ERR?", "SOUR:RES 138.5",
                                   "SYST:ERR?", "OUTP ON", "SYST:ERR?", "*RST", "SYST:ERR?"};
        QCOMPARE(fake.lines, expected);
        QCOMPARE(exchanged.size(), expected.size());
        QCOMPARE(exchanged.first().at(1).toString(), fake.identity);   // \r\n trimmed

        auto meter = openOn(fake, builtIn(QStringLiteral("Generic SCPI meter")));
        const std::optional<double> current = meter->measureCurrentMa();
        QVERIFY2(current, qPrintable(meter->lastError()));
        QCOMPARE(*current, 12.3456);
        QVERIFY(!meter->measureTemperature() && meter->lastError().contains("measure temperature"));   // not its role

        const Model thermohygrometer = builtIn(QStringLiteral("Generic SCPI thermohygrometer"));
        QCOMPARE(thermohygrometer.role, Role::Environment);
        auto environment = openOn(fake, thermohygrometer);
        QCOMPARE(environment->measureTemperature().value_or(0), 23.42);
        QCOMPARE(environment->measureHumidity().value_or(0), 45.6);
        QVERIFY(rangeFor(thermohygrometer, "degC", 23.42) && rangeFor(thermohygrometer, "degC", 23.42)->floor == 0.2);
    }

    void anErrorInTheQueueFailsTheCommand()
    {
        FakeInstrument fake;
        fake.rejected.insert(QStringLiteral("SOUR:VOLT"), {QStringLiteral("-222,\"Data out of range\""),
                                                           QStringLiteral("-221,\"Settings conflict\"")});
        auto calibrator = openOn(fake, builtIn(QStringLiteral("Generic SCPI calibrator")));
        QVERIFY(!calibrator->sourceMillivolts(50));
        const QString error = calibrator->lastError();
        QVERIFY2(error.contains(QLatin1String("-222")) && error.contains(QLatin1String("Data out of range"))
                     && error.contains(QLatin1String("SOUR:VOLT 0.05")),
                 qPrintable(error));
        // The rest of the queue was read away: the next command stands on its own.
        QVERIFY2(calibrator->sourceOhms(100), qPrintable(calibrator->lastError()));
    }

    void aSilentPeerTimesOut()
    {
        FakeInstrument fake;
        fake.silent = true;
        Model model = builtIn(QStringLiteral("Generic SCPI meter"));
        model.timeoutMs = 300;
        auto meter = openOn(fake, model);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!meter->identify());
        QCOMPARE(meter->lastError(), QStringLiteral("no answer within 300 ms to *IDN?"));
        QVERIFY(clock.elapsed() >= 290 && clock.elapsed() < 3000);
        QCOMPARE(fake.lines, QStringList{"*IDN?"});   // the peer got it; the wait ran the server meanwhile
    }

    void anotherInstrumentsIdentityIsRefused()
    {
        FakeInstrument fake;
        fake.identity = QStringLiteral("PUMP CONTROLLER V2");
        auto meter = openOn(fake, builtIn(QStringLiteral("Generic SCPI meter")));
        QVERIFY(!meter->identify());
        QCOMPARE(meter->identity(), fake.identity);
        QVERIFY2(meter->lastError().contains(QLatin1String("does not match")), qPrintable(meter->lastError()));
    }

    void cancelAbortsTheWaitUntilOpenedAgain()
    {
        FakeInstrument fake;
        fake.silent = true;
        Model model = builtIn(QStringLiteral("Generic SCPI meter"));
        model.timeoutMs = 20000;
        auto meter = openOn(fake, model);
        QTimer::singleShot(100, meter.get(), [&] { meter->cancel(); });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!meter->measureCurrentMa());
        QCOMPARE(meter->lastError(), QStringLiteral("aborted"));
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(!meter->reset());
        QCOMPARE(meter->lastError(), QStringLiteral("aborted"));
        fake.silent = false;
        QVERIFY2(meter->open(), qPrintable(meter->lastError()));
        QVERIFY2(meter->measureCurrentMa(), qPrintable(meter->lastError()));
    }

    void aClosedPortIsReported()
    {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        const quint16 port = closed.serverPort();
        closed.close();
        Instrument meter(builtIn(QStringLiteral("Generic SCPI meter")),
                         *parseAddress(QStringLiteral("tcp:127.0.0.1:%1").arg(port), nullptr));
        QVERIFY(!meter.open());
        QVERIFY2(meter.lastError().startsWith(QLatin1String("cannot open tcp:127.0.0.1:")),
                 qPrintable(meter.lastError()));
    }
};

QTEST_GUILESS_MAIN(TestInstruments)
#include "test_instruments.moc"
