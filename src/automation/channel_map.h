#pragma once
// Where each transmitter of a batch is: its serial line, the switch channels
// that route the calibrator to its input and its loop to the meter (or a meter
// of its own), its tag and serial number. Read from a JSON file and checked
// whole before a batch may use it; plain data, no bus.
//
// {
//   "name": "Tray 3",                         optional
//   "units": [
//     {"unit": 1, "port": "/dev/ttyUSB0", "tag": "TT-101", "serial": "A1234",
//      "source channel": "101",                 the calibrator to this input (optional
//                                               when "input isolated" is true)
//      "meter channel": "201",                  this loop to the meter, or
//      "meter": "tcp:192.168.1.40",             a meter of its own (one of the two)
//      "meter model": "Generic SCPI meter",     its model (optional: the shared meter's)
//      "input isolated": true}                  a thermocouple input isolated from its
//   ]                                           loop may share the millivolt source
// }                                             (optional, default false)

#include <QJsonObject>
#include <QString>
#include <QVector>

#include <optional>

namespace autocal {

struct MapUnit {
    int unit = 0;
    QString port;
    QString tag;
    QString serial;
    QString sourceChannel;    // empty: none
    QString meterChannel;     // empty when the unit has a meter of its own
    QString meter;            // that meter's address, as written back by addressText
    QString meterModel;       // its model's name or file; empty: the shared meter's model
    bool inputIsolated = false;
};

struct ChannelMap {
    QString name;
    QVector<MapUnit> units;
};

constexpr int kMostUnits = 32;

std::optional<ChannelMap> channelMapFromJson(const QJsonObject &object, QString &why);
std::optional<ChannelMap> readChannelMap(const QString &path, QString &why);
QJsonObject channelMapToJson(const ChannelMap &map);

// Whether the calibrator reaches this unit's input only through its source
// channel: always for an RTD (a resistance cannot be shared), and for a
// thermocouple input not isolated from its loop.
bool sourceIsRouted(const MapUnit &unit, bool rtdInput);

} // namespace autocal
