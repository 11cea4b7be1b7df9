// The configuration model, its file format, the comparison, the apply
// sequence against an in-memory transmitter, and the write verdict.

#include "procedures/config_apply.h"
#include "core/config_file.h"
#include "core/config_rules.h"
#include "core/write_verdict.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace config;

namespace {

// A holding block with nothing at its default: negative range, degF, an
// Cu50 input, a 32-bit point above 65535 and one below zero.
QVector<quint16> sampleBlock()
{
    QVector<quint16> b(64, 0);
    b[0] = 33;  b[1] = quint16(-500);  b[2] = quint16(-2000);  b[3] = 0xA5C3;
    b[4] = quint16(-125);  b[5] = 3;  b[6] = 1;  b[7] = 250;  b[8] = 12;
    b[9] = 4100;  b[10] = 4090;  b[11] = 4012;  b[12] = 19975;  b[13] = 9600;
    b[15] = 1;  b[16] = 34464;  b[17] = 65535;  b[18] = 65336;
    b[19] = 1;  b[20] = 34714;  b[21] = 3;  b[22] = 3386;
    return b;
}

QJsonObject sampleJson()
{
    return QJsonDocument::fromJson(toJson(*fromHolding(sampleBlock()))).object();
}

QJsonObject withField(QJsonObject root, const QString &name, const QString &member, const QJsonValue &v)
{
    QJsonArray entries = root.value("fields").toArray();
    for (int i = 0; i < entries.size(); ++i) {
        QJsonObject e = entries.at(i).toObject();
        if (e.value("name").toString() == name) {
            if (v.isUndefined())
                e.remove(member);
            else
                e.insert(member, v);
            entries.replace(i, e);
        }
    }
    root.insert("fields", entries);
    return root;
}

QByteArray bytes(const QJsonObject &o) { return QJsonDocument(o).toJson(); }

// An in-memory transmitter: stores what it is sent unless the register is
// refused or deaf (accepted, but never changes).
class MemoryBus : public core::RegisterBus
{
public:
    QVector<quint16> holding = QVector<quint16>(64, 0);
    QSet<int> refused;
    QSet<int> deaf;
    bool refuseMulti = false;   // takes single-register writes only
    QSet<int> once;             // takes one write, refuses every later one
    QStringList log;

    core::BlockReply readBlock(core::Block block) override
    {
        log << QStringLiteral("read");
        return {block == core::Block::Holding ? holding : QVector<quint16>(13, 0), {}};
    }
    core::BusError writeRegisters(int start, const QVector<quint16> &values) override
    {
        log << QStringLiteral("write %1x%2").arg(start).arg(values.size());
        if (refuseMulti && values.size() > 1)
            return {core::BusErrorKind::Exception, QStringLiteral("exception"), 1};
        for (int i = 0; i < values.size(); ++i) {
            if (refused.contains(start + i))
                return {core::BusErrorKind::Exception, QStringLiteral("exception"), 2};
        }
        for (int i = 0; i < values.size(); ++i) {
            if (once.remove(start + i))
                refused.insert(start + i);
        }
        for (int i = 0; i < values.size(); ++i) {
            if (!deaf.contains(start + i))
                holding[start + i] = values.at(i);
        }
        return {};
    }
};

} // namespace

class TestConfiguration : public QObject
{
    Q_OBJECT
private slots:
    void fileRoundTrip();
    void valuesInEngineeringUnits();
    void unknownCodesStayRaw();
    void encode_data();
    void encode();
    void malformedFile_data();
    void malformedFile();
    void olderVersionTakesValues();
    void runsCoverWholeFields();
    void applyWritesOnlyDifferencesThenStores();
    void applyNamesRefusedRegister();
    void applyReportsMismatch();
    void applyJudgedBySingleWrites();
    void refusalRestoresEarlierRuns();
    void rules_data();
    void rules();
    void writeVerdict_data();
    void writeVerdict();
};

void TestConfiguration::fileRoundTrip()
{
    Configuration c = *fromHolding(sampleBlock());
    c.identity = {QStringLiteral("TT-101"), QStringLiteral("kiln 2 / 炉"), 37,
                  QDateTime(QDate(2026, 12, 7), QTime(9, 30), Qt::UTC), toolVersion()};
    const Loaded back = fromJson(toJson(c));
    QVERIFY2(back.config, qPrintable(back.error));
    QCOMPARE(back.config->words, c.words);
    QCOMPARE(back.config->holding, c.holding);
    const Identity &id = back.config->identity;
    QVERIFY(id.tag == c.identity.tag && id.description == c.identity.description
            && id.address == 37 && id.date == c.identity.date);
}

void TestConfiguration::valuesInEngineeringUnits()
{
    const QJsonArray entries = sampleJson().value("fields").toArray();
    QMap<QString, QJsonObject> byName;
    for (const QJsonValue &v : entries)
        byName.insert(v.toObject().value("name").toString(), v.toObject());
    QCOMPARE(byName["upperRange"].value("value").toDouble(), -50.0);
    QCOMPARE(byName["upperRange"].value("unit").toString(), QStringLiteral("°F"));
    QCOMPARE(byName["zeroOffset"].value("value").toDouble(), -1.25);
    QCOMPARE(byName["roomGain"].value("value").toDouble(), 1.2);
    QCOMPARE(byName["tc0mV"].value("value").toInt(), -200);
    QCOMPARE(byName["tc0mV"].value("raw").toArray(), (QJsonArray{65535, 65336}));
}

void TestConfiguration::unknownCodesStayRaw()
{
    QVector<quint16> block = sampleBlock();
    block[0] = 77;
    block[6] = 5;
    const Configuration c = *fromHolding(block);
    const QJsonObject root = QJsonDocument::fromJson(toJson(c)).object();
    const QJsonObject first = root.value("fields").toArray().at(0).toObject();
    QVERIFY(first.value("value").isNull());
    QCOMPARE(valueText(fields().front(), {77}), QStringLiteral("code 77 (unknown)"));
    const Loaded back = fromJson(bytes(root));
    QVERIFY2(back.config, qPrintable(back.error));
    QCOMPARE(back.config->words.value(0), quint16(77));
    QCOMPARE(back.config->words.value(6), quint16(5));
}

void TestConfiguration::encode_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QVector<quint16>>("words");   // empty: refused
    QTest::newRow("tenths") << "upperRange" << QJsonValue(850.5) << QVector<quint16>{8505};
    QTest::newRow("one decimal too many") << "upperRange" << QJsonValue(850.55) << QVector<quint16>{};
    QTest::newRow("hundredths") << "zeroOffset" << QJsonValue(-1.25) << QVector<quint16>{65411};
    QTest::newRow("beyond 16 bits") << "zeroOffset" << QJsonValue(327.68) << QVector<quint16>{};
    QTest::newRow("mA") << "measured4mA" << QJsonValue(4.012) << QVector<quint16>{4012};
    QTest::newRow("named code") << "inputType" << QJsonValue("PT100") << QVector<quint16>{32};
    QTest::newRow("unknown name") << "inputType" << QJsonValue("Z") << QVector<quint16>{};
    QTest::newRow("32-bit") << "tc50mV" << QJsonValue(100000) << QVector<quint16>{1, 34464};
    QTest::newRow("negative 32-bit") << "tc0mV" << QJsonValue(-200) << QVector<quint16>{65535, 65336};
}

void TestConfiguration::encode()
{
    QFETCH(QString, field);
    QFETCH(QJsonValue, value);
    QFETCH(QVector<quint16>, words);
    const auto it = std::find_if(fields().begin(), fields().end(),
                                 [&](const FieldDef &f) { return field == QLatin1String(f.key); });
    const auto encoded = config::encode(*it, value);
    QCOMPARE(encoded.value_or(QVector<quint16>{}), words);
}

void TestConfiguration::malformedFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");
    const QJsonObject good = sampleJson();
    QJsonObject newer = good;
    newer.insert("formatVersion", kFormatVersion + 1);
    QJsonObject other = good;
    other.insert("format", "something else");
    QJsonObject missing = good;
    QJsonArray entries = missing.value("fields").toArray();
    entries.removeAt(4);
    missing.insert("fields", entries);
    QJsonObject twice = good;
    entries = twice.value("fields").toArray();
    entries.append(entries.at(0));
    twice.insert("fields", entries);

    QTest::newRow("not JSON") << QByteArray("{\"format\": ") << "not JSON";
    QTest::newRow("other format") << bytes(other) << "not a TCal";
    QTest::newRow("newer version") << bytes(newer) << "format version 3";
    QTest::newRow("field missing") << bytes(missing) << "filter is missing";
    QTest::newRow("field twice") << bytes(twice) << "appears twice";
    QTest::newRow("unknown field") << bytes(withField(good, "filter", "name", "filtre")) << "unknown field";
    QTest::newRow("moved register") << bytes(withField(good, "filter", "register", 6)) << "register 6";
    QTest::newRow("raw too large") << bytes(withField(good, "filter", "raw", QJsonArray{70000})) << "raw must";
    QTest::newRow("nothing to write") << bytes(withField(withField(good, "inputType", "raw", QJsonValue::Undefined),
                                                         "inputType", "value", QJsonValue::Null))
                                      << "neither raw words nor a value";
    QTest::newRow("value against raw") << bytes(withField(good, "filter", "value", 4)) << "does not match";
    QTest::newRow("value not exact") << bytes(withField(good, "upperRange", "value", 1.25)) << "no exact";
    QJsonObject block = good;
    block.insert("holding", QJsonArray{0, 10000, "serial"});
    QTest::newRow("holding not words") << bytes(block) << "holding must be";
}

void TestConfiguration::malformedFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    const Loaded loaded = fromJson(file);
    QVERIFY(!loaded.config);
    QVERIFY2(loaded.error.contains(reason), qPrintable(loaded.error));
}

// Version 1 wrote values without raw words: they are encoded, and a value
// with no exact register value refuses the file.
void TestConfiguration::olderVersionTakesValues()
{
    QJsonObject v1 = sampleJson();
    v1.insert("formatVersion", 1);
    QJsonArray entries;
    for (const QJsonValue &v : v1.value("fields").toArray()) {
        QJsonObject e = v.toObject();
        e.remove("raw");
        entries << e;
    }
    v1.insert("fields", entries);
    v1 = withField(v1, "upperRange", "value", 600.5);
    const Loaded loaded = fromJson(bytes(v1));
    QVERIFY2(loaded.config, qPrintable(loaded.error));
    QVector<quint16> want = sampleBlock();
    want[1] = 6005;
    for (auto it = loaded.config->words.cbegin(); it != loaded.config->words.cend(); ++it)
        QCOMPARE(it.value(), want.at(it.key()));
    QVERIFY(!fromJson(bytes(withField(v1, "inputType", "value", QJsonValue::Null))).config);
    // The same rule in the current version, for a value edited by hand.
    QJsonObject edited = withField(sampleJson(), "upperRange", "raw", QJsonValue::Undefined);
    edited = withField(edited, "upperRange", "value", 600.5);
    const Loaded byHand = fromJson(bytes(edited));
    QVERIFY2(byHand.config, qPrintable(byHand.error));
    QCOMPARE(byHand.config->words.value(1), quint16(6005));
}

void TestConfiguration::runsCoverWholeFields()
{
    const Configuration device = *fromHolding(sampleBlock());
    QVector<quint16> changed = sampleBlock();
    changed[5] = 4;       // filter and unit: one run
    changed[6] = 0;
    changed[16] = 1;      // low word of the 50 mV point: the point goes whole
    const QVector<WriteRun> runs = differingRuns(device, *fromHolding(changed));
    QCOMPARE(runs.size(), 2);
    QCOMPARE(runs[0].start, 5);
    QCOMPARE(runs[0].words, (QVector<quint16>{4, 0}));
    QCOMPARE(runs[1].start, 15);
    QCOMPARE(runs[1].words, (QVector<quint16>{1, 1}));
    QCOMPARE(differingCount(compare(device, *fromHolding(changed))), 3);
}

void TestConfiguration::applyWritesOnlyDifferencesThenStores()
{
    MemoryBus bus;
    bus.holding = sampleBlock();
    QVector<quint16> target = sampleBlock();
    target[1] = 9000;
    const ApplyReport report = applyConfiguration(bus, *fromHolding(target));
    QVERIFY2(report.verified(), qPrintable(applySummary(report, 2)));
    QCOMPARE(bus.log, (QStringList{"read", "write 1x1", "read", "write 62x1", "read"}));
    QCOMPARE(bus.holding.at(62), quint16(321));
    QCOMPARE(report.registersWritten, 1);
    QVERIFY(report.storeSent);
    // Applied again, nothing differs: nothing is written or stored, and the report says so.
    bus.log.clear();
    const ApplyReport again = applyConfiguration(bus, *fromHolding(target));
    QVERIFY(again.verified() && !again.storeSent && again.registersWritten == 0);
    QCOMPARE(bus.log, (QStringList{"read", "read"}));
    for (int language = 0; language < 3; ++language)
        QVERIFY2(applySummary(again, language) != applySummary(report, language).replace("1", "0"),
                 qPrintable(applySummary(again, language)));
    QCOMPARE(applySummary(again, 2), QStringLiteral("verified: no field differed, nothing was written or stored, "
                                                     "every field reads back as in the file"));
}

void TestConfiguration::applyNamesRefusedRegister()
{
    MemoryBus bus;
    bus.refused = {6};
    QVector<quint16> target(64, 0);
    target[5] = 4;
    target[6] = 1;
    const ApplyReport report = applyConfiguration(bus, *fromHolding(target));
    QCOMPARE(report.outcome, ApplyOutcome::WriteRefused);
    QCOMPARE(report.refused, QVector<int>{6});
    QVERIFY(!bus.log.contains("write 62x1"));
    QVERIFY(applySummary(report, 2).contains("holding 6 (unit)"));
}

void TestConfiguration::applyReportsMismatch()
{
    MemoryBus bus;
    bus.deaf = {5};
    QVector<quint16> target(64, 0);
    target[5] = 4;
    const ApplyReport report = applyConfiguration(bus, *fromHolding(target));
    QCOMPARE(report.outcome, ApplyOutcome::Mismatch);
    QVERIFY(!bus.log.contains("write 62x1"));
    QVERIFY2(applySummary(report, 2).startsWith("not verified: these fields read back different: filter; "),
             qPrintable(applySummary(report, 2)));
}

// A run refused whole and then taken register by register is a correct write.
void TestConfiguration::applyJudgedBySingleWrites()
{
    MemoryBus bus;
    bus.refuseMulti = true;
    QVector<quint16> target(64, 0);
    target[5] = 4;
    target[6] = 1;
    const ApplyReport report = applyConfiguration(bus, *fromHolding(target));
    QVERIFY2(report.verified(), qPrintable(applySummary(report, 2)));
    QCOMPARE(bus.holding.mid(5, 2), (QVector<quint16>{4, 1}));
    QCOMPARE(bus.holding.at(62), quint16(321));
}

void TestConfiguration::refusalRestoresEarlierRuns()
{
    MemoryBus bus;
    bus.holding = sampleBlock();
    bus.refused = {13};
    QVector<quint16> target = sampleBlock();
    target[1] = 9000;
    target[13] = 2400;
    const ApplyReport report = applyConfiguration(bus, *fromHolding(target));
    QCOMPARE(report.outcome, ApplyOutcome::WriteRefused);
    QCOMPARE(report.restore, RestoreOutcome::Restored);
    QCOMPARE(bus.holding, sampleBlock());
    QVERIFY(!bus.log.contains("write 62x1"));
    QVERIFY(applySummary(report, 2).endsWith("nothing was stored"));

    bus.refused.clear();
    bus.deaf = {13};   // takes the write, keeps its old value
    const ApplyReport deaf = applyConfiguration(bus, *fromHolding(target));
    QCOMPARE(deaf.outcome, ApplyOutcome::Mismatch);
    QCOMPARE(deaf.restore, RestoreOutcome::Restored);
    QCOMPARE(bus.holding, sampleBlock());

    // A register that will not take its first value back is named, and
    // nothing claims that nothing was stored.
    bus.deaf.clear();
    bus.refused = {13};
    bus.once = {1};
    const ApplyReport stuck = applyConfiguration(bus, *fromHolding(target));
    QCOMPARE(stuck.restore, RestoreOutcome::Incomplete);
    QCOMPARE(stuck.unrestored, QVector<int>{1});
    QVERIFY2(applySummary(stuck, 2).endsWith("could not be restored and hold what was read back: holding 1 (upperRange)"),
             qPrintable(applySummary(stuck, 2)));
}

void TestConfiguration::rules_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("broken");   // empty: the value may be written
    QTest::newRow("sample") << 5 << 3 << "";
    QTest::newRow("baud 1234") << 13 << 1234 << "baudRate: value 1234 must be one of 1200, 2400, 4800, 9600";
    QTest::newRow("baud 1200") << 13 << 1200 << "";
    QTest::newRow("filter 0") << 5 << 0 << "filter: value 0 must be one of 1, 2";
    QTest::newRow("room gain 0") << 8 << 0 << "roomGain: value 0.0 must be one of 0.5, 0.6";
    QTest::newRow("lower above upper") << 2 << 0 << "lowerRange: value 0.0 must be below the upper range -50.0";
    QTest::newRow("range beyond the window") << 1 << 30010 << "upperRange: value 3001.0 must be from -300.0 to 3000.0";
    QTest::newRow("unknown input type") << 0 << 77 << "inputType: value code 77 (unknown) must be a code this tool knows";
    QTest::newRow("unknown unit") << 6 << 9 << "unit: value code 9 (unknown)";
}

// Rules are checked on the words a file would write; a code the tool has no
// name for passes when the file's block recorded it from a transmitter.
void TestConfiguration::rules()
{
    QFETCH(int, address);
    QFETCH(int, word);
    QFETCH(QString, broken);
    Configuration c = *fromHolding(sampleBlock());
    c.words[address] = quint16(word);
    QStringList texts;
    for (const Violation &v : violations(c))
        texts << violationText(v);
    QCOMPARE(texts.size(), broken.isEmpty() ? 0 : 1);
    if (!broken.isEmpty())
        QVERIFY2(texts.first().startsWith("field " + broken), qPrintable(texts.first()));
    c.holding[address] = quint16(word);
    if (address == 0 || address == 6)
        QVERIFY(violations(c).isEmpty());
}

void TestConfiguration::writeVerdict_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QVector<quint16>>("written");
    QTest::addColumn<QVector<quint16>>("readBack");
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("differing");
    QTest::addColumn<QString>("text");
    const QVector<quint16> block = {7, 8, 9, 10};
    QTest::newRow("equal") << 1 << QVector<quint16>{8, 9} << block << 2 << -1 << "verified";
    QTest::newRow("equal zh") << 1 << QVector<quint16>{8, 9} << block << 0 << -1 << "已校验";
    QTest::newRow("second differs") << 1 << QVector<quint16>{8, 5} << block << 2 << 2
                                    << "register 2 differs: wrote 5, read 9";
    QTest::newRow("not read back") << 3 << QVector<quint16>{10, 11} << block << 1 << 4
                                   << "暫存器 4 未讀回";
}

void TestConfiguration::writeVerdict()
{
    QFETCH(int, start);
    QFETCH(QVector<quint16>, written);
    QFETCH(QVector<quint16>, readBack);
    QFETCH(int, language);
    QFETCH(int, differing);
    QFETCH(QString, text);
    const verify::WriteVerdict v = verify::verifyWrite(start, written, readBack, language);
    QCOMPARE(v.verified, differing < 0);
    QCOMPARE(v.differingRegister, differing);
    QCOMPARE(v.text, text);
}

QTEST_GUILESS_MAIN(TestConfiguration)
#include "test_configuration.moc"
