#include "instruments/serial_transport.h"

namespace instruments {

SerialTransport::SerialTransport(const QString &device, qint32 baud, QObject *parent)
    : Transport(parent), m_baud(baud)
{
    m_port.setPortName(device);
    connect(&m_port, &QSerialPort::readyRead, this, &Transport::received);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
}

bool SerialTransport::open(QString *why)
{
    const bool configured = m_port.open(QIODevice::ReadWrite) && m_port.setBaudRate(m_baud)
                            && m_port.setDataBits(QSerialPort::Data8) && m_port.setParity(QSerialPort::NoParity)
                            && m_port.setStopBits(QSerialPort::OneStop)
                            && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        if (why)
            *why = m_port.errorString();
        m_port.close();
        return false;
    }
    m_port.clear();
    emit ready();
    return true;
}

void SerialTransport::close()
{
    m_port.close();
}

bool SerialTransport::isReady() const
{
    return m_port.isOpen();
}

// A serial write only queues the bytes; the port sends them from the event loop.
bool SerialTransport::send(const QByteArray &bytes, bool, QString *why)
{
    if (m_port.write(bytes) == bytes.size())
        return true;
    if (why)
        *why = m_port.errorString();
    return false;
}

QByteArray SerialTransport::takeReceived()
{
    return m_port.readAll();
}

// A pulled adapter ends the port; a single parity or framing fault does not.
void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::ResourceError || error == QSerialPort::DeviceNotFoundError
        || error == QSerialPort::PermissionError) {
        const QString why = m_port.errorString();
        if (m_port.isOpen())
            m_port.close();
        emit failed(why);
    }
}

} // namespace instruments
