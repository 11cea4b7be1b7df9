#include "platform/device_file.h"

#include <QFile>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#if __has_include(<linux/usb/tmc.h>)
#include <linux/usb/tmc.h>
#endif
#endif

namespace platform {

#if defined(Q_OS_UNIX)

namespace {
QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

int deviceOpenError(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

int openDevice(const QString &path, int answerTimeoutMs, QString *why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (why)
            *why = lastError();
        return -1;
    }
#ifdef USBTMC_IOCTL_SET_TIMEOUT
    __u32 timeout = __u32(answerTimeoutMs);
    ::ioctl(fd, USBTMC_IOCTL_SET_TIMEOUT, &timeout);
#else
    (void)answerTimeoutMs;
#endif
    return fd;
}

void closeDevice(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

bool writeDevice(int handle, const QByteArray &bytes, QString *why)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(handle, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (why)
                *why = lastError();
            return false;
        }
        done += n;
    }
    return true;
}

DeviceRead readDevice(int handle, QByteArray &buffer, QString *why)
{
    ssize_t n;
    do {
        n = ::read(handle, buffer.data(), size_t(buffer.size()));
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno == ETIMEDOUT)
        return DeviceRead::TimedOut;
    if (n < 0) {
        if (why)
            *why = lastError();
        return DeviceRead::Failed;
    }
    buffer.truncate(int(n));
    return DeviceRead::Got;
}

#else

// Only Linux's usbtmc driver is reached; elsewhere the system says nothing of permissions.
namespace {
const char kOnlyLinux[] = "USBTMC devices are reached only on Linux";
}

int deviceOpenError(const QString &)
{
    return 0;
}

int openDevice(const QString &, int, QString *why)
{
    if (why)
        *why = QLatin1String(kOnlyLinux);
    return -1;
}

void closeDevice(int) {}

bool writeDevice(int, const QByteArray &, QString *why)
{
    if (why)
        *why = QLatin1String(kOnlyLinux);
    return false;
}

DeviceRead readDevice(int, QByteArray &, QString *why)
{
    if (why)
        *why = QLatin1String(kOnlyLinux);
    return DeviceRead::Failed;
}

#endif

} // namespace platform
