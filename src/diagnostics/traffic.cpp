#include "diagnostics/traffic.h"

namespace diag {

namespace {

void appendWord(QByteArray &bytes, int word)
{
    bytes.append(char((word >> 8) & 0xFF));
    bytes.append(char(word & 0xFF));
}

} // namespace

Result classify(QModbusDevice::Error error, int exceptionCode, bool crcDiscarded)
{
    switch (error) {
    case QModbusDevice::NoError:
        return Result::Ok;
    case QModbusDevice::ProtocolError:
        return exceptionCode > 0 ? Result::Exception : Result::Other;
    case QModbusDevice::TimeoutError:
        return crcDiscarded ? Result::Crc : Result::Timeout;
    case QModbusDevice::ReplyAbortedError:
        return Result::Aborted;
    default:
        return Result::Other;
    }
}

int TrafficCounters::total() const
{
    int sum = 0;
    for (int c : m_counts)
        sum += c;
    return sum;
}

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray requestPdu(const rtu::RequestDescription &request)
{
    QByteArray pdu;
    pdu.append(char(request.function));
    appendWord(pdu, request.start);
    if (request.function == 6) {
        appendWord(pdu, request.values.value(0));
        return pdu;
    }
    appendWord(pdu, request.count);
    if (request.function == 16) {
        pdu.append(char(2 * request.values.size()));
        for (quint16 v : request.values)
            appendWord(pdu, v);
    }
    return pdu;
}

QByteArray rtuFrame(int server, const QByteArray &pdu)
{
    QByteArray frame;
    frame.append(char(server));
    frame.append(pdu);
    const quint16 crc = crc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

} // namespace diag
