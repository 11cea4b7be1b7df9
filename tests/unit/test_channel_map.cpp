// The channel map of a batch: taken whole or refused with a message naming
// the fault, and no two units ever share a line, a relay, a serial number or
// a meter (every field of every pair of units tried).

#include "automation/batch_progress.h"
#include "automation/channel_map.h"
#include "tabs/batch_texts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace autocal;

namespace {

QJsonObject goodMap()
{
    return QJsonDocument::fromJson(R"json({"name": "Tray 3", "units": [
        {"unit": 1, "port": "/dev/ttyUSB0", "tag": "TT-101", "serial": "A1", "source channel": "101",
         "meter channel": "201", "input isolated": true},
        {"unit": 2, "port": "/dev/ttyUSB1", "tag": "TT-102", "serial": "A2", "source channel": "102",
         "meter channel": "202"},
        {"unit": 3, "port": "/dev/ttyUSB2", "tag": "TT-103", "serial": "A3", "input isolated": true,
         "meter": "tcp:192.168.1.40", "meter model": "Generic SCPI meter"}]})json").object();
}

using Change = std::function<void(QJsonObject &)>;

// Sets `key` of unit `index` (0-based) to `value`; undefined removes it.
Change setUnit(int index, const char *key, const QJsonValue &value)
{
    return [=](QJsonObject &root) {
        QJsonArray units = root.value("units").toArray();
        QJsonObject u = units.at(index).toObject();
        if (value.isUndefined())
            u.remove(QLatin1String(key));
        else
            u.insert(QLatin1String(key), value);
        units.replace(index, u);
        root.insert("units", units);
    };
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestChannelMap : public QObject
{
    Q_OBJECT
private slots:
    void takesAGoodMapAndWritesItBack();
    void refusesFaultyMaps_data();
    void refusesFaultyMaps();
    void noTwoUnitsShareAnything();
    void refusesFilesThatAreNoMap();
    void routesTheSourceWhenItCannotBeShared();
    void batchCellsAndProgress();
};

void TestChannelMap::takesAGoodMapAndWritesItBack()
{
    QString why;
    const auto map = channelMapFromJson(goodMap(), why);
    QVERIFY2(map, qPrintable(why));
    QCOMPARE(map->name, QStringLiteral("Tray 3"));
    QCOMPARE(map->units.size(), 3);
    QCOMPARE(map->units[1].serial, QStringLiteral("A2"));
    QVERIFY(!map->units[1].inputIsolated);          // not said: not isolated
    QVERIFY(map->units[2].sourceChannel.isEmpty());
    QCOMPARE(map->units[2].meter, QStringLiteral("tcp:192.168.1.40:5025"));
    QCOMPARE(map->units[2].meterModel, QStringLiteral("Generic SCPI meter"));
    const auto again = channelMapFromJson(channelMapToJson(*map), why);
    QVERIFY2(again, qPrintable(why));
    QCOMPARE(channelMapToJson(*again), channelMapToJson(*map));
}

void TestChannelMap::refusesFaultyMaps_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("named");
    const auto root = [](const char *key, const QJsonValue &v) {
        return Change([=](QJsonObject &o) { o.insert(QLatin1String(key), v); });
    };
    QTest::newRow("unknown key") << root("unist", 1) << "unist";
    QTest::newRow("no units") << root("units", QJsonArray()) << "units";
    QTest::newRow("units not a list") << root("units", "1") << "units";
    QTest::newRow("too many units") << Change([](QJsonObject &o) {
        QJsonArray many;
        for (int i = 1; i <= kMostUnits + 1; ++i)
            many.append(QJsonObject{{"unit", i}, {"port", QStringLiteral("/dev/ttyUSB%1").arg(i)}, {"tag", "T"},
                                    {"serial", QString::number(i)}, {"input isolated", true},
                                    {"meter channel", QString::number(200 + i)}});
        o.insert("units", many);
    }) << "1 to 32";
    QTest::newRow("unit not an object") << root("units", QJsonArray{1}) << "entry 1";
    QTest::newRow("unknown unit key") << setUnit(0, "baud", 9600) << "baud";
    QTest::newRow("unit fractional") << setUnit(0, "unit", 1.5) << "unit";
    QTest::newRow("unit zero") << setUnit(0, "unit", 0) << "unit";
    QTest::newRow("unit as text") << setUnit(0, "unit", "1") << "unit";
    QTest::newRow("no port") << setUnit(1, "port", QJsonValue::Undefined) << "unit 2: \"port\" is missing";
    QTest::newRow("empty serial") << setUnit(1, "serial", "") << "serial";
    QTest::newRow("serial with spaces") << setUnit(1, "serial", " A2") << "serial";
    QTest::newRow("tag with a line end") << setUnit(1, "tag", "TT\n102") << "tag";
    QTest::newRow("no tag") << setUnit(1, "tag", QJsonValue::Undefined) << "tag";
    QTest::newRow("channel range") << setUnit(1, "source channel", "102:104") << "102:104";
    QTest::newRow("channel list") << setUnit(1, "meter channel", "(@202)") << "(@202)";
    QTest::newRow("channel as number") << setUnit(1, "meter channel", 202) << "meter channel";
    QTest::newRow("not isolated, no source channel")
        << setUnit(1, "source channel", QJsonValue::Undefined) << "source channel";
    QTest::newRow("isolated as text") << setUnit(0, "input isolated", "yes") << "input isolated";
    QTest::newRow("no meter at all") << setUnit(2, "meter", QJsonValue::Undefined) << "meter";
    QTest::newRow("both meters") << setUnit(2, "meter channel", "203") << "not both";
    QTest::newRow("bad meter address") << setUnit(2, "meter", "tcp:") << "\"meter\"";
    QTest::newRow("meter address grows past the limit with its default baud")
        << setUnit(2, "meter", QStringLiteral("/dev/") + QString(123, QLatin1Char('x'))) << "longer than 128";
    QTest::newRow("meter model, no own meter") << setUnit(1, "meter model", "Generic SCPI meter") << "meter model";
    QTest::newRow("one channel for both") << setUnit(1, "meter channel", "102") << "both the source and the meter";
}

void TestChannelMap::refusesFaultyMaps()
{
    QFETCH(Change, change);
    QFETCH(QString, named);
    QString why;
    QVERIFY(channelMapFromJson(goodMap(), why));   // the fault alone makes the difference
    QJsonObject faulty = goodMap();
    change(faulty);
    QVERIFY(!channelMapFromJson(faulty, why));
    QVERIFY2(why.contains(named), qPrintable(why));
}

// Every field that must be distinct, copied from every unit into every other.
void TestChannelMap::noTwoUnitsShareAnything()
{
    const char *const fields[] = {"unit", "port", "serial", "source channel", "meter channel", "meter"};
    // Four units, each with everything: two through the switch, two with meters of their own.
    QJsonObject root = goodMap();
    QJsonArray units = root.value("units").toArray();
    units.replace(2, QJsonObject{{"unit", 3}, {"port", "/dev/ttyUSB2"}, {"tag", "TT-103"}, {"serial", "A3"},
                                 {"source channel", "103"}, {"meter", "tcp:192.168.1.40"}});
    units.append(QJsonObject{{"unit", 4}, {"port", "/dev/ttyUSB3"}, {"tag", "TT-104"}, {"serial", "A4"},
                             {"source channel", "104"}, {"meter", "tcp:192.168.1.41"}});
    root.insert("units", units);
    QString why;
    QVERIFY2(channelMapFromJson(root, why), qPrintable(why));
    int tried = 0, taken = 0;
    for (const char *field : fields) {
        for (int from = 0; from < units.size(); ++from) {
            for (int to = 0; to < units.size(); ++to) {
                const QJsonValue value = units.at(from).toObject().value(QLatin1String(field));
                if (from == to || value.isUndefined() || units.at(to).toObject().value(QLatin1String(field)).isUndefined())
                    continue;
                QJsonObject copy = root;
                setUnit(to, field, value)(copy);
                ++tried;
                if (channelMapFromJson(copy, why)) {
                    ++taken;
                    qWarning("taken: unit %d's %s copied into unit %d", from + 1, field, to + 1);
                } else if (!why.contains(QLatin1String("share"))) {
                    ++taken;
                    qWarning("refused for another reason: %s", qPrintable(why));
                }
            }
        }
    }
    // A source channel reused as another unit's meter channel is one relay for two jobs as well.
    for (int from = 0; from < 2; ++from)
        for (int to = 0; to < 2; ++to) {
            if (from == to)
                continue;
            QJsonObject copy = root;
            setUnit(to, "meter channel", units.at(from).toObject().value("source channel"))(copy);
            ++tried;
            taken += channelMapFromJson(copy, why) ? 1 : 0;
        }
    qInfo("channel map: %d shared fields tried, %d taken", tried, taken);
    QCOMPARE(tried, 4 * 12 + 2 + 2 + 2);   // four fields every unit has, two only two have, the cross-use
    QCOMPARE(taken, 0);
}

void TestChannelMap::refusesFilesThatAreNoMap()
{
    QTemporaryDir dir;
    const auto write = [&](const QByteArray &bytes) {
        QFile f(dir.filePath("map.json"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
        return f.fileName();
    };
    QString why;
    QVERIFY(!readChannelMap(write("{\"units\": ["), why));
    QVERIFY2(why.contains("not JSON"), qPrintable(why));
    QVERIFY(!readChannelMap(write("[]"), why));
    QVERIFY(why.contains("not a JSON object"));
    QVERIFY(!readChannelMap(dir.filePath("absent.json"), why));
    QVERIFY(!readChannelMap(write(QByteArray(300 * 1024, ' ')), why));
    QVERIFY(why.contains("larger"));
    QVERIFY2(readChannelMap(write(QJsonDocument(goodMap()).toJson()), why), qPrintable(why));
}

void TestChannelMap::routesTheSourceWhenItCannotBeShared()
{
    MapUnit isolated, wired;
    isolated.inputIsolated = true;
    QVERIFY(!sourceIsRouted(isolated, false));
    QVERIFY(sourceIsRouted(isolated, true));
    QVERIFY(sourceIsRouted(wired, false));
    QVERIFY(sourceIsRouted(wired, true));
}

// A Batch view's cell is its point's decision (a conditional pass is no pass,
// U >= T cannot pass); the batch's work counts a unit that ended as done, and
// the time left follows the pace so far.
void TestChannelMap::batchCellsAndProgress()
{
    record::Header header;   // 0..100 degC, +-0.5 degC, guarded acceptance
    record::Point p;
    p.reference = 50.0;
    QCOMPARE(cellState(p, header), CellState::NotMeasured);
    p.status = record::Point::Status::Recorded;
    const struct { double error, u; CellState want; } cases[] = {
        {0.2, 0.1, CellState::Pass}, {-0.2, 0.1, CellState::Pass}, {0.45, 0.1, CellState::Fail},
        {0.8, 0.1, CellState::Fail}, {0.1, 0.5, CellState::CannotPass}, {-0.3, 0.6, CellState::CannotPass}};
    for (const auto &c : cases) {
        p.reading = p.reference + c.error;
        p.uncertainty = record::PointUncertainty{};
        p.uncertainty->expanded = c.u;
        QVERIFY2(cellState(p, header) == c.want, qPrintable(QStringLiteral("error %1, U %2").arg(c.error).arg(c.u)));
    }

    // The view's texts: every row in all three languages, the Chinese ones not left in English.
    for (int row = 0; row < int(batchtext::Text::Count); ++row) {
        const auto t = [row](int language) { return batchtext::text(batchtext::Text(row), language); };
        QVERIFY2(!t(0).isEmpty() && !t(1).isEmpty() && !t(2).isEmpty() && t(0) != t(2), qPrintable(t(2)));
    }
    QCOMPARE(batchtext::stateText(CellState::CannotPass, 2), QStringLiteral("cannot pass"));

    BatchProgress progress;   // two units, two points: 2 x (2 + 2 + 4) steps
    progress.reset({1, 2}, 2);
    QCOMPARE(progress.remainingMs(1000), std::nullopt);
    progress.setCell(1, record::Stage::AsFound, 0, CellState::Fail);
    progress.setCell(3, record::Stage::AsFound, 0, CellState::Pass);   // no such unit
    progress.setCell(1, record::Stage::AsFound, 2, CellState::Pass);   // no such point
    QCOMPARE(progress.fraction(), 1.0 / 16);
    QCOMPARE(progress.remainingMs(1000), std::optional<qint64>(15000));
    QCOMPARE(progress.cell(1, record::Stage::AsFound, 0), CellState::Fail);
    progress.unitEnded(2);
    progress.adjustmentStepDone(1);
    QCOMPARE(progress.fraction(), 10.0 / 16);
    progress.adjustmentOver();
    progress.setCell(1, record::Stage::AsFound, 1, CellState::Pass);
    progress.setCell(1, record::Stage::AsLeft, 0, CellState::Pass);
    progress.setCell(1, record::Stage::AsLeft, 1, CellState::Pass);
    QCOMPARE(progress.fraction(), 1.0);
    QCOMPARE(progress.remainingMs(5000), std::optional<qint64>(0));
}

QTEST_GUILESS_MAIN(TestChannelMap)
#include "test_channel_map.moc"
