#include "instruments/usbtmc_transport.h"

#include <QFile>
#include <QMetaObject>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#if __has_include(<linux/usb/tmc.h>)
#include <linux/usb/tmc.h>
#endif
#endif

namespace instruments {

namespace {
constexpr int kReadChunk = 65536;
}

UsbtmcTransport::UsbtmcTransport(const QString &device, QObject *parent)
    : Transport(parent), m_device(device)
{
}

UsbtmcTransport::~UsbtmcTransport()
{
    close();
}

void UsbtmcTransport::setAnswerTimeout(int answerTimeoutMs)
{
    m_timeoutMs = answerTimeoutMs;
}

bool UsbtmcTransport::isReady() const
{
    return m_fd >= 0;
}

QByteArray UsbtmcTransport::takeReceived()
{
    QByteArray bytes;
    bytes.swap(m_received);
    return bytes;
}

// A read in flight ends within the driver's timeout.
void UsbtmcTransport::finishRead()
{
    if (m_reader) {
        m_reader->wait();
        m_reader.reset();
    }
}

#ifdef Q_OS_WIN

bool UsbtmcTransport::open(QString *why)
{
    if (why)
        *why = QStringLiteral("USBTMC devices are reached only on Linux");
    return false;
}

void UsbtmcTransport::close() {}

bool UsbtmcTransport::send(const QByteArray &, bool, QString *why)
{
    if (why)
        *why = QStringLiteral("USBTMC devices are reached only on Linux");
    return false;
}

void UsbtmcTransport::startRead() {}

#else

bool UsbtmcTransport::open(QString *why)
{
    close();
    m_fd = ::open(QFile::encodeName(m_device).constData(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
#ifdef USBTMC_IOCTL_SET_TIMEOUT
    __u32 timeout = __u32(m_timeoutMs);
    ::ioctl(m_fd, USBTMC_IOCTL_SET_TIMEOUT, &timeout);
#endif
    emit ready();
    return true;
}

void UsbtmcTransport::close()
{
    finishRead();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_received.clear();
}

bool UsbtmcTransport::send(const QByteArray &bytes, bool answerExpected, QString *why)
{
    finishRead();
    qsizetype done = 0;
    while (m_fd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (why)
                *why = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        done += n;
    }
    if (m_fd < 0) {
        if (why)
            *why = QStringLiteral("not open");
        return false;
    }
    if (answerExpected)
        startRead();
    return true;
}

// A driver timeout is left to the instrument's own bound, which says the same.
void UsbtmcTransport::startRead()
{
    const int fd = m_fd;
    m_reader.reset(QThread::create([this, fd] {
        QByteArray buffer(kReadChunk, Qt::Uninitialized);
        ssize_t n;
        do {
            n = ::read(fd, buffer.data(), size_t(buffer.size()));
        } while (n < 0 && errno == EINTR);
        if (n < 0 && errno == ETIMEDOUT)
            return;
        if (n < 0) {
            const QString why = QString::fromLocal8Bit(std::strerror(errno));
            QMetaObject::invokeMethod(this, [this, why] { emit failed(why); }, Qt::QueuedConnection);
            return;
        }
        buffer.truncate(int(n));
        QMetaObject::invokeMethod(this, [this, buffer] {
            m_received += buffer;
            emit received();
        }, Qt::QueuedConnection);
    }));
    m_reader->start();
}

#endif

} // namespace instruments
