#pragma once
// Finding transmitters on a line: every address at every baud rate asked, with
// a short wait each. An address counts only when it answers a full input-block
// read at the line's normal timeout, so a stray byte is never a find.

#include "serial_session.h"

#include <QList>
#include <functional>

namespace core {

struct ScanHit {
    int address;
    int baud;
};

// Wait for a probe's answer: the time some sixty characters take, plus slack.
constexpr int scanTimeoutMs(int baud) { return 60 + 60 * 11 * 1000 / baud; }

struct ScanRequest {
    SerialOptions line;         // port, parity and stop bits; baud and address are scanned
    QList<int> bauds;
    int firstAddress = 1;
    int lastAddress = 247;
    int probeTimeoutMs = 0;     // 0: scanTimeoutMs(baud)
};

struct ScanResult {
    QVector<ScanHit> hits;
    QString error;              // the port could not be opened
};

// `onHit` hears of each find as it is made.
ScanResult scanLine(const ScanRequest &request, const std::function<void(const ScanHit &)> &onHit);

} // namespace core
