#include "instruments/tcp_transport.h"

namespace instruments {

TcpTransport::TcpTransport(const QString &host, quint16 port, QObject *parent)
    : Transport(parent), m_host(host), m_port(port)
{
    connect(&m_socket, &QTcpSocket::connected, this, &Transport::ready);
    connect(&m_socket, &QTcpSocket::readyRead, this, &Transport::received);
    connect(&m_socket, &QAbstractSocket::errorOccurred, this, [this] {
        const QString why = m_socket.errorString();
        m_socket.abort();
        emit failed(why);
    });
}

bool TcpTransport::open(QString *)
{
    m_socket.abort();
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket.connectToHost(m_host, m_port);
    return true;
}

void TcpTransport::close()
{
    m_socket.abort();
}

bool TcpTransport::isReady() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

bool TcpTransport::send(const QByteArray &bytes, bool, QString *why)
{
    if (isReady() && m_socket.write(bytes) == bytes.size())
        return true;
    if (why)
        *why = isReady() ? m_socket.errorString() : QStringLiteral("not connected");
    return false;
}

QByteArray TcpTransport::takeReceived()
{
    return m_socket.readAll();
}

} // namespace instruments
