#pragma once
// What the traffic view keeps of each request: its description, how it ended,
// the round trip and the answer's PDU; the per-result counters; the frames as
// they went over the line. No widgets.

#include "link/request_description.h"

#include <QByteArray>
#include <QModbusDevice>
#include <array>

namespace diag {

enum class Result { Pending, Ok, Exception, Timeout, Crc, Aborted, Refused, Other };
constexpr int kResultCount = 8;

struct TrafficRecord {
    qint64 msecs = 0;                  // when the request was handed to the master
    rtu::RequestDescription request;
    Result result = Result::Pending;
    int exceptionCode = 0;             // with Result::Exception
    int roundTripMs = -1;              // -1 while pending or when refused
    QByteArray responsePdu;            // function code and data of the answer, if any
    QString errorText;                 // the master's own words, for Other
};

// How a finished reply ended. `exceptionCode`: of the answer, 0 for none (a
// protocol error without one is not an exception answer). `crcDiscarded`: the
// master threw away a frame with a bad CRC while this request was out (it then
// times out).
Result classify(QModbusDevice::Error error, int exceptionCode, bool crcDiscarded);

class TrafficCounters
{
public:
    void add(Result result) { ++m_counts[size_t(result)]; }
    int count(Result result) const { return m_counts[size_t(result)]; }
    int total() const;
    void clear() { m_counts.fill(0); }

private:
    std::array<int, kResultCount> m_counts{};
};

// Modbus CRC-16 (polynomial 0xA001, initial 0xFFFF); low byte goes first on the line.
quint16 crc16(const QByteArray &bytes);
// The request's PDU, rebuilt from its description (functions 3, 4, 6, 16).
QByteArray requestPdu(const rtu::RequestDescription &request);
// An RTU frame: address, PDU, CRC.
QByteArray rtuFrame(int server, const QByteArray &pdu);

} // namespace diag
