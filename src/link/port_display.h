#pragma once
// How a serial port reads in the port list. Pure: the facts come from the
// system (src/link/port_list.cpp), the text is made here.

#include <QList>
#include <QString>

namespace ports {

struct PortInfo {
    QString location;       // what the master opens: /dev/ttyUSB0, a socat pty, COM3
    QString description;    // "FT232R USB UART"
    QString manufacturer;   // "FTDI"
    QString serialNumber;   // "A10K3XYZ"
    QString byIdName;       // file name under /dev/serial/by-id, stable across replugging
};

// A link under /dev/serial/by-id: its file name and where it points (as read,
// usually relative such as "../../ttyUSB0").
struct ByIdLink {
    QString name;
    QString target;
};

inline const char kByIdDir[] = "/dev/serial/by-id";

// The absolute path a by-id link points to, without touching the file system.
QString resolveByIdTarget(const QString &target);

// The by-id name of `location`: the first (by name) link pointing at it, or empty.
QString byIdNameFor(const QString &location, const QList<ByIdLink> &links);

// The location alone when the system knows nothing more (a pty, a virtual
// line), else "location — description · manufacturer · SN serial · by-id name".
QString displayText(const PortInfo &port);

} // namespace ports
