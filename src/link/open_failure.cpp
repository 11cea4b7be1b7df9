#include "link/open_failure.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

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

#ifdef Q_OS_WIN

int openError(const QString &)
{
    return 0;   // Windows says nothing about permissions here; the generic notice stands
}

QString owningGroup(const QString &)
{
    return {};
}

#else

int openError(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

QString owningGroup(const QString &path)
{
    return QFileInfo(path).group();
}

#endif

} // namespace ports
