#include "link/port_list.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QSettings>
#include <qt_windows.h>
#else
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#endif

namespace ports {

QStringList extraPorts(const QString &variable)
{
    return variable.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString preferredPort()
{
    return qEnvironmentVariable("TCAL_PORT");
}

QStringList availablePorts()
{
    QStringList list;
    for (const PortInfo &port : availablePortInfos())
        list.append(port.location);
    return list;
}

#ifdef Q_OS_WIN

QString readSerialCommEntry(int index, const QString &which)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key)
        != ERROR_SUCCESS)
        return QString::fromLatin1(kCannotOpenTable);

    wchar_t name[256];
    BYTE data[256];
    DWORD nameSize = 256;
    DWORD dataSize = 256;
    DWORD type = 0;
    QString result;
    if (RegEnumValueW(key, DWORD(index), name, &nameSize, nullptr, &type, data, &dataSize)
        != ERROR_SUCCESS) {
        result = QString::fromLatin1(kNoEntry);
    } else {
        // Low byte of each UTF-16 unit; zero bytes of the data skipped, so a
        // UTF-16 "COM3" reads as COM3.
        QString keyText;
        for (DWORD i = 0; i < nameSize; ++i)
            keyText.append(QChar(uchar(name[i] & 0xFF)));
        QString valueText;
        for (DWORD i = 0; i < dataSize; ++i) {
            if (data[i] != 0)
                valueText.append(QChar(uchar(data[i])));
        }
        if (which == QLatin1String("key"))
            result = keyText;
        else if (which == QLatin1String("value"))
            result = valueText;
    }
    RegCloseKey(key);
    return result;
}

QList<PortInfo> availablePortInfos()
{
    QSettings table(QStringLiteral("HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"),
                    QSettings::NativeFormat);
    const int count = table.allKeys().size();
    QList<PortInfo> list;
    for (int i = 0; i < count; ++i)
        list.append(PortInfo{readSerialCommEntry(i, QStringLiteral("value")), {}, {}, {}, {}});
    return list;
}

#else

namespace {

QList<ByIdLink> readByIdLinks()
{
    QList<ByIdLink> links;
    const QDir dir(QString::fromLatin1(kByIdDir));
    for (const QFileInfo &entry : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (entry.isSymLink())
            links.append({entry.fileName(), QFile::symLinkTarget(entry.filePath())});
    }
    return links;
}

} // namespace

QList<PortInfo> availablePortInfos()
{
    const QList<ByIdLink> links = readByIdLinks();
    QList<PortInfo> list;
    QStringList locations;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        const QString location = info.systemLocation();
        list.append({location, info.description(), info.manufacturer(), info.serialNumber(),
                     byIdNameFor(location, links)});
        locations.append(location);
    }
    QStringList named = extraPorts(qEnvironmentVariable("TCAL_EXTRA_PORTS"));
    if (!preferredPort().isEmpty() && !locations.contains(preferredPort())
        && !named.contains(preferredPort()))
        named.append(preferredPort());
    for (const QString &path : named)
        list.append({path, {}, {}, {}, {}});
    return list;
}

#endif

} // namespace ports
