#pragma once
// An instrument on the network: SCPI over a raw socket (usually port 5025).

#include "instruments/transport.h"

#include <QTcpSocket>

namespace instruments {

class TcpTransport : public Transport {
    Q_OBJECT
public:
    TcpTransport(const QString &host, quint16 port, QObject *parent = nullptr);
    bool open(QString *why) override;
    void close() override;
    bool isReady() const override;
    bool send(const QByteArray &bytes, bool answerExpected, QString *why) override;
    QByteArray takeReceived() override;

private:
    QTcpSocket m_socket;
    QString m_host;
    quint16 m_port;
};

} // namespace instruments
