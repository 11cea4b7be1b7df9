#pragma once
// A synchronous Modbus RTU link for tools without a window: each request waits
// for its own reply in a local event loop, bounded by the master's timeout.

#include "register_bus.h"

#include <QModbusDataUnit>
#include <QSerialPort>
#include <QString>

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
    int address() const { return m_options.address; }

    BlockReply read(QModbusDataUnit::RegisterType type, int start, int count);
    BlockReply readBlock(Block block) override;
    BusError writeRegisters(int start, const QVector<quint16> &values) override;

private:
    BlockReply await(QModbusReply *reply);

    SerialOptions m_options;
    QModbusClient *m_master;
};

// The verdict of a finished reply, as the configuration operations see it.
BusError replyError(const QModbusReply &reply);

} // namespace core
