// The unattended calibration's outside input: instrument model files,
// procedure files, instrument addresses and a batch's channel maps. The first
// byte picks the reader; what is taken reads back the same, or it is refused
// with a message.

#include "automation/channel_map.h"
#include "automation/run_plan.h"
#include "fuzz_check.h"
#include "instruments/address.h"
#include "instruments/model.h"

#include <QFile>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>

namespace {

void modelFile(const QByteArray &bytes)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("model.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(bytes);
    file.close();
    QString why;
    const auto model = instruments::readModel(path, &why);
    FUZZ_REQUIRE(model.has_value() != !why.isEmpty());
    if (!model)
        return;
    for (const instruments::Range &r : model->ranges) {
        FUZZ_REQUIRE(r.upTo > 0 && r.resolution > 0 && r.percentOfReading >= 0 && r.floor >= 0);
        FUZZ_REQUIRE(instruments::rangeFor(*model, r.function, r.upTo).has_value());
    }
    // A switch's route commands carry the channel list; no line end hides in its form.
    if (model->role == instruments::Role::Switch) {
        FUZZ_REQUIRE(model->ranges.isEmpty() && model->routeClose.text.contains(QLatin1String("{channels}")));
        FUZZ_REQUIRE(!model->channelList.separator.isEmpty());
        const QString list = instruments::channelListText(model->channelList, {QStringLiteral("1")});
        FUZZ_REQUIRE(!list.contains(QLatin1Char('\n')) && !list.contains(QLatin1Char('\r')));
    }
}

void procedure(const QByteArray &bytes)
{
    QString why;
    const auto plan = autocal::planFromText(bytes, why);
    FUZZ_REQUIRE(plan.has_value() != !why.isEmpty());
    if (!plan)
        return;
    FUZZ_REQUIRE(!plan->points.isEmpty() && plan->settling.samples >= 2);
    FUZZ_REQUIRE(qint64(plan->settling.samples) * plan->settling.intervalMs <= plan->settling.timeoutMs);
    FUZZ_REQUIRE(plan->roomSensorLimit > 0 || plan->roomSensorLimitMeasured);
    const auto again = autocal::planFromJson(autocal::planToJson(*plan), why);
    FUZZ_REQUIRE(again && autocal::planToJson(*again) == autocal::planToJson(*plan));
}

void address(const QByteArray &bytes)
{
    QString why;
    const auto a = instruments::parseAddress(QString::fromUtf8(bytes), &why);
    if (!a)
        return;
    const auto again = instruments::parseAddress(instruments::addressText(*a), &why);
    FUZZ_REQUIRE(again && instruments::addressText(*again) == instruments::addressText(*a));
}

void channelMap(const QByteArray &bytes)
{
    QString why;
    const auto map = autocal::channelMapFromJson(QJsonDocument::fromJson(bytes).object(), why);
    FUZZ_REQUIRE(map.has_value() != !why.isEmpty());
    if (!map)
        return;
    FUZZ_REQUIRE(!map->units.isEmpty() && map->units.size() <= autocal::kMostUnits);
    QSet<QString> ports, channels;
    for (const autocal::MapUnit &u : map->units) {
        FUZZ_REQUIRE(!u.port.isEmpty() && !u.serial.isEmpty() && (u.meter.isEmpty() != u.meterChannel.isEmpty()));
        FUZZ_REQUIRE(u.inputIsolated || instruments::isChannelName(u.sourceChannel));
        FUZZ_REQUIRE(!ports.contains(u.port));
        ports.insert(u.port);
        for (const QString &c : {u.sourceChannel, u.meterChannel}) {
            FUZZ_REQUIRE(c.isEmpty() || !channels.contains(c));
            if (!c.isEmpty())
                channels.insert(c);
        }
    }
    const auto again = autocal::channelMapFromJson(autocal::channelMapToJson(*map), why);
    FUZZ_REQUIRE(again && autocal::channelMapToJson(*again) == autocal::channelMapToJson(*map));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1, int(size) - 1);
    switch (data[0] % 4) {
    case 0: modelFile(rest); break;
    case 1: procedure(rest); break;
    case 2: address(rest); break;
    default: channelMap(rest); break;
    }
    return 0;
}
