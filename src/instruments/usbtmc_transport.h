#pragma once
// An instrument on USB through the Linux usbtmc driver's character device.
// The driver answers a read only when asked, so each expected answer is read
// on a worker thread, bounded by the driver's timeout, and handed back to this
// object's thread; the caller's event loop never stops. Refused on Windows.

#include "instruments/transport.h"

#include <QThread>

#include <memory>

namespace instruments {

class UsbtmcTransport : public Transport {
    Q_OBJECT
public:
    explicit UsbtmcTransport(const QString &device, QObject *parent = nullptr);
    ~UsbtmcTransport() override;
    bool open(QString *why) override;
    void close() override;
    bool isReady() const override;
    bool send(const QByteArray &bytes, bool answerExpected, QString *why) override;
    QByteArray takeReceived() override;
    void setAnswerTimeout(int answerTimeoutMs) override;

private:
    void startRead();
    void finishRead();

    QString m_device;
    int m_fd = -1;
    int m_timeoutMs = 2000;
    std::unique_ptr<QThread> m_reader;
    QByteArray m_received;
};

} // namespace instruments
