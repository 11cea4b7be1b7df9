#include "window/settings_record.h"

#include <QSettings>

namespace prefs {

namespace {
const QString kPort = QStringLiteral("serial/port");
const QString kBaud = QStringLiteral("serial/baud");
const QString kParity = QStringLiteral("serial/parity");
const QString kDataBits = QStringLiteral("serial/dataBits");
const QString kStopBits = QStringLiteral("serial/stopBits");
const QString kAddress = QStringLiteral("device/address");
const QString kLanguage = QStringLiteral("window/language");
const QString kSize = QStringLiteral("window/size");
} // namespace

WindowSettings load(const QSettings &settings)
{
    WindowSettings v;
    v.port = settings.value(kPort).toString();
    v.baud = settings.value(kBaud).toString();
    v.parity = settings.value(kParity).toString();
    v.dataBits = settings.value(kDataBits).toString();
    v.stopBits = settings.value(kStopBits).toString();
    v.address = settings.value(kAddress).toString();
    bool ok = false;
    const int language = settings.value(kLanguage).toInt(&ok);
    v.language = ok ? language : -1;
    v.size = settings.value(kSize).toSize();
    return v;
}

void save(QSettings &settings, const WindowSettings &v)
{
    settings.setValue(kPort, v.port);
    settings.setValue(kBaud, v.baud);
    settings.setValue(kParity, v.parity);
    settings.setValue(kDataBits, v.dataBits);
    settings.setValue(kStopBits, v.stopBits);
    settings.setValue(kAddress, v.address);
    settings.setValue(kLanguage, v.language);
    settings.setValue(kSize, v.size);
    settings.sync();
}

QString pickPort(const QString &saved, const QString &explicitPort, const QStringList &listed)
{
    if (!explicitPort.isEmpty() && listed.contains(explicitPort))
        return explicitPort;
    if (listed.contains(saved))
        return saved;
    return listed.isEmpty() ? QString() : listed.first();
}

QString pickChoice(const QString &saved, const QStringList &options, const QString &current)
{
    return options.contains(saved) ? saved : current;
}

bool validAddress(const QString &text)
{
    bool ok = false;
    const int address = text.trimmed().toInt(&ok, 10);
    return ok && address >= 1 && address <= 247;
}

} // namespace prefs
