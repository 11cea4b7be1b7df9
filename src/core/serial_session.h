#pragma once
// A synchronous Modbus RTU link for tools without a window: each request waits
// for its own reply in a local event loop, bounded by the master's timeout.

#include "register_bus.h"

#include <QModbusDataUnit>
#include <QSerialPort>
#include <QString>
#include <functional>

class QModbusClient;
class QModbusReply;

namespace core {

struct SerialOptions {
    QString port;
    int baud = 4800;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    int address = 192;
    int timeoutMs = 0;   // 0: the window's response timeout for this line
};

class SerialSession : public RegisterBus
{
public:
    explicit SerialSession(const SerialOptions &options);
    ~SerialSession() override;
    SerialSession(const SerialSession &) = delete;
    SerialSession &operator=(const SerialSession &) = delete;

    // False with `error` filled when the port cannot be opened.
    bool open(QString *error);
    void setAddress(int address);
    void setTimeoutMs(int ms);
    // Resends of a request that got no answer (0 unless set). A resent write
    // carries the same words, so a device that heard the first takes no harm.
    void setRetries(int retries) { m_retries = retries; }
    int address() const { return m_options.address; }

    BlockReply read(QModbusDataUnit::RegisterType type, int start, int count);
    BlockReply readBlock(Block block) override;
    BusError writeRegisters(int start, const QVector<quint16> &values) override;

private:
    BlockReply await(QModbusReply *reply);
    BlockReply send(const std::function<QModbusReply *()> &request);

    SerialOptions m_options;
    QModbusClient *m_master;
    int m_retries = 0;
};

// The verdict of a finished reply, as the configuration operations see it.
BusError replyError(const QModbusReply &reply);

} // namespace core
