#include "link/port_display.h"

#include <QDir>
#include <QStringList>

#include <algorithm>

namespace ports {

QString resolveByIdTarget(const QString &target)
{
    if (QDir::isAbsolutePath(target))
        return QDir::cleanPath(target);
    return QDir::cleanPath(QLatin1String(kByIdDir) + QLatin1Char('/') + target);
}

QString byIdNameFor(const QString &location, const QList<ByIdLink> &links)
{
    QStringList names;
    for (const ByIdLink &link : links) {
        if (resolveByIdTarget(link.target) == QDir::cleanPath(location))
            names.append(link.name);
    }
    std::sort(names.begin(), names.end());
    return names.isEmpty() ? QString() : names.first();
}

QString displayText(const PortInfo &port)
{
    QStringList facts;
    if (!port.description.isEmpty())
        facts.append(port.description);
    // Many adapters repeat the maker in the description ("FTDI FT232R").
    if (!port.manufacturer.isEmpty()
        && !port.description.contains(port.manufacturer, Qt::CaseInsensitive))
        facts.append(port.manufacturer);
    if (!port.serialNumber.isEmpty())
        facts.append(QStringLiteral("SN ") + port.serialNumber);
    if (!port.byIdName.isEmpty())
        facts.append(port.byIdName);
    if (facts.isEmpty())
        return port.location;
    return port.location + QStringLiteral(" — ") + facts.join(QStringLiteral(" · "));
}

} // namespace ports
