#pragma once
// Where an instrument is reached, in one text syntax for the command line,
// run files and settings alike.

#include <QString>
#include <QtGlobal>

#include <optional>

namespace instruments {

struct Address {
    enum class Kind { Serial, Tcp, Usbtmc };
    Kind kind = Kind::Serial;
    QString path;        // serial device or usbtmc device
    QString host;
    quint16 port = 5025;
    qint32 baud = 9600;
};

// "/dev/ttyUSB0", "/dev/ttyUSB0:19200", "COM3:9600", "tcp:HOST", "tcp:HOST:PORT",
// "tcp:[::1]:PORT", "usbtmc:/dev/usbtmc0". Refused (nullopt, *why set) otherwise.
std::optional<Address> parseAddress(const QString &text, QString *why);
// The text parseAddress reads back to the same address; serial always names its baud.
QString addressText(const Address &address);

} // namespace instruments
