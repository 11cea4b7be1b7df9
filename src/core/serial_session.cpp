#include "serial_session.h"

#include "bus_timing.h"
#include "rtu_master.h"

#include <QEventLoop>
#include <QVariant>
#include <QModbusReply>
#include <QTimer>

namespace core {

BusError replyError(const QModbusReply &reply)
{
    switch (reply.error()) {
    case QModbusDevice::NoError:
        return {};
    case QModbusDevice::ProtocolError:
        return {BusErrorKind::Exception, reply.errorString(), int(reply.rawResult().exceptionCode())};
    case QModbusDevice::TimeoutError:
        return {BusErrorKind::NoReply, reply.errorString(), 0};
    default:
        return {BusErrorKind::Link, reply.errorString(), 0};
    }
}

SerialSession::SerialSession(const SerialOptions &options)
    : m_options(options), m_master(new rtu::RtuSerialMaster)
{
}

SerialSession::~SerialSession()
{
    m_master->disconnectDevice();
    delete m_master;
}

bool SerialSession::open(QString *error)
{
    m_master->setConnectionParameter(QModbusDevice::SerialPortNameParameter, m_options.port);
    m_master->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, m_options.baud);
    m_master->setConnectionParameter(QModbusDevice::SerialParityParameter, m_options.parity);
    m_master->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
    m_master->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, m_options.stopBits);
    m_master->setNumberOfRetries(0);
    setTimeoutMs(m_options.timeoutMs);
    if (m_master->connectDevice() && m_master->state() == QModbusDevice::ConnectedState)
        return true;
    if (error)
        *error = m_master->errorString();
    return false;
}

void SerialSession::setAddress(int address)
{
    m_options.address = address;
}

void SerialSession::setTimeoutMs(int ms)
{
    m_options.timeoutMs = ms;
    const bus::SerialFormat format{m_options.baud, 8, m_options.parity != QSerialPort::NoParity,
                                   m_options.stopBits == QSerialPort::OneStop ? 1 : 2};
    m_master->setTimeout(ms > 0 ? ms : bus::lineBudget(format).responseTimeoutMs);
}

BlockReply SerialSession::readBlock(Block block)
{
    const auto type = block == Block::Holding ? QModbusDataUnit::HoldingRegisters
                                              : QModbusDataUnit::InputRegisters;
    return read(type, 0, blockCount(block));
}

BlockReply SerialSession::read(QModbusDataUnit::RegisterType type, int start, int count)
{
    const QModbusDataUnit unit(type, start, quint16(count));
    return send([&] { return m_master->sendReadRequest(unit, m_options.address); });
}

BusError SerialSession::writeRegisters(int start, const QVector<quint16> &values)
{
    const QModbusDataUnit unit(QModbusDataUnit::HoldingRegisters, start, values);
    return send([&] { return m_master->sendWriteRequest(unit, m_options.address); }).error;
}

BlockReply SerialSession::send(const std::function<QModbusReply *()> &request)
{
    BlockReply result = await(request());
    for (int i = 0; i < m_retries && result.error.kind == BusErrorKind::NoReply; ++i)
        result = await(request());
    return result;
}

// The master ends every reply within its timeout; the loop's own bound only
// guards against a reply that never finishes.
BlockReply SerialSession::await(QModbusReply *reply)
{
    if (!reply)
        return {{}, {BusErrorKind::Link, m_master->errorString(), 0}};
    if (!reply->isFinished()) {
        QEventLoop loop;
        QObject::connect(reply, &QModbusReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(m_master->timeout() + 2000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    BlockReply result;
    if (!reply->isFinished())
        result.error = {BusErrorKind::NoReply, QStringLiteral("no reply"), 0};
    else
        result = {reply->result().values(), replyError(*reply)};
    reply->deleteLater();
    return result;
}

} // namespace core
