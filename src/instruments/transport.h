#pragma once
// The byte pipe under an instrument: serial, TCP or USBTMC. The instrument
// frames lines and waits; a transport only opens, sends and hands over bytes,
// and never blocks the thread it lives on for longer than a write.

#include "instruments/address.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace instruments {

class Transport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Starts opening; false with *why when that fails at once. ready() follows,
    // at once or later (a TCP connection), or failed().
    virtual bool open(QString *why) = 0;
    virtual void close() = 0;
    virtual bool isReady() const = 0;
    // answerExpected: a device that is asked for each answer (USBTMC) asks now.
    virtual bool send(const QByteArray &bytes, bool answerExpected, QString *why) = 0;
    virtual QByteArray takeReceived() = 0;
    // answerTimeoutMs bounds one answer; a transport that reads with a
    // driver timeout uses it.
    virtual void setAnswerTimeout(int answerTimeoutMs) { Q_UNUSED(answerTimeoutMs) }

signals:
    void ready();
    void received();
    void failed(const QString &why);
};

std::unique_ptr<Transport> makeTransport(const Address &address);

} // namespace instruments
