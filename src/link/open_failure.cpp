#include "link/open_failure.h"

#include "platform/device_file.h"

#include <QFileInfo>

#include <cerrno>

namespace ports {

OpenFailure classifyOpenError(int error)
{
    return error == EACCES || error == EPERM ? OpenFailure::Permission : OpenFailure::Other;
}

QString groupToJoin(const QString &owningGroup)
{
    if (owningGroup.isEmpty() || owningGroup == QLatin1String("root"))
        return QStringLiteral("dialout");
    return owningGroup;
}

int openError(const QString &path)
{
    return platform::deviceOpenError(path);   // where the system says nothing, the generic notice stands
}

QString owningGroup(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path)
    return {};
#else
    return QFileInfo(path).group();
#endif
}

} // namespace ports
