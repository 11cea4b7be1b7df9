#pragma once
// What the window remembers between runs, read from and written to QSettings,
// and the rules for taking a remembered value back. No widgets.

#include <QSize>
#include <QString>
#include <QStringList>

class QSettings;

namespace prefs {

struct WindowSettings {
    QString port;
    QString baud;
    QString parity;
    QString dataBits;
    QString stopBits;
    QString address;
    int language = -1;   // -1: none remembered
    QSize size;          // invalid: none remembered
};

WindowSettings load(const QSettings &settings);
void save(QSettings &settings, const WindowSettings &values);

// The port to start on, among the `listed` locations: the one named
// explicitly (--port, TCAL_PORT) when listed, else the remembered one when
// still listed, else the first listed (empty when the list is).
QString pickPort(const QString &saved, const QString &explicitPort, const QStringList &listed);
// `saved` when it is one of `options`, otherwise `current`.
QString pickChoice(const QString &saved, const QStringList &options, const QString &current);
// A Modbus RTU device address: 1..247.
bool validAddress(const QString &text);

} // namespace prefs
