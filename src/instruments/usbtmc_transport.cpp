#include "instruments/usbtmc_transport.h"

#include "platform/device_file.h"

#include <QMetaObject>

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

bool UsbtmcTransport::open(QString *why)
{
    close();
    m_fd = platform::openDevice(m_device, m_timeoutMs, why);
    if (m_fd < 0)
        return false;
    emit ready();
    return true;
}

void UsbtmcTransport::close()
{
    finishRead();
    platform::closeDevice(m_fd);
    m_fd = -1;
    m_received.clear();
}

bool UsbtmcTransport::send(const QByteArray &bytes, bool answerExpected, QString *why)
{
    finishRead();
    if (m_fd < 0) {
        if (why)
            *why = QStringLiteral("not open");
        return false;
    }
    if (!platform::writeDevice(m_fd, bytes, why))
        return false;
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
        QString why;
        const platform::DeviceRead read = platform::readDevice(fd, buffer, &why);
        if (read == platform::DeviceRead::TimedOut)
            return;
        if (read == platform::DeviceRead::Failed) {
            QMetaObject::invokeMethod(this, [this, why] { emit failed(why); }, Qt::QueuedConnection);
            return;
        }
        QMetaObject::invokeMethod(this, [this, buffer] {
            m_received += buffer;
            emit received();
        }, Qt::QueuedConnection);
    }));
    m_reader->start();
}

} // namespace instruments
