#pragma once
// An instrument on a serial port, 8N1 without flow control.

#include "instruments/transport.h"

#include <QSerialPort>

namespace instruments {

class SerialTransport : public Transport {
    Q_OBJECT
public:
    SerialTransport(const QString &device, qint32 baud, QObject *parent = nullptr);
    bool open(QString *why) override;
    void close() override;
    bool isReady() const override;
    bool send(const QByteArray &bytes, bool answerExpected, QString *why) override;
    QByteArray takeReceived() override;

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    qint32 m_baud;
};

} // namespace instruments
