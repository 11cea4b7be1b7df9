#pragma once
// The list of serial ports the operator can pick from.

#include "link/port_display.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace ports {

// Failure texts of the Windows serial-port table reader; they end up in the
// list and fail to open, which is how the operator notices.
inline const char kCannotOpenTable[] = "Cannot open regedit!";
inline const char kNoEntry[] = "nokey";

// Ports in the order the system enumerates them. On Windows: the registry's
// serial-port table. Elsewhere: every port's system location (/dev/ttyUSB0 ...)
// with what the system knows of it, then the paths named in TCAL_EXTRA_PORTS
// (colon-separated), which is how virtual lines such as socat pty pairs get
// into the list, then the port named by TCAL_PORT when it is not listed yet.
QList<PortInfo> availablePortInfos();

// The locations of availablePortInfos().
QStringList availablePorts();

// The port to preselect at start: TCAL_PORT (set by `tcal --port` as well).
QString preferredPort();

// Paths of a TCAL_EXTRA_PORTS value; empty parts are skipped.
QStringList extraPorts(const QString &variable);

#ifdef Q_OS_WIN
// Entry `index` of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: its name for "key",
// its data for "value", an empty string for anything else.
QString readSerialCommEntry(int index, const QString &which);
#endif

} // namespace ports
