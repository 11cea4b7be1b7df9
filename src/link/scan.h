#pragma once
// Finding transmitters on a line: every address at every baud rate asked, with
// a short wait each. An address counts only when it answers a full input-block
// read at the line's normal timeout, so a stray byte is never a find.

#include "link/link.h"

#include <QList>
#include <functional>

namespace rtu {

struct ScanHit {
    int address;
    int baud;
};

// Wait for a probe's answer. A device on a shared line takes the frame after
// a request for another address as that device's reply and may miss it (the
// simulator, being libmodbus, does so for its half-second response timeout):
// each probe waits out that time so the next address is heard.
constexpr int kProbeTimeoutMs = 600;

struct ScanRequest {
    SerialOptions line;         // port, parity and stop bits; baud and address are scanned
    QList<int> bauds;
    int firstAddress = 1;
    int lastAddress = 247;
    int probeTimeoutMs = kProbeTimeoutMs;
};

struct ScanResult {
    QVector<ScanHit> hits;
    QString error;              // the port could not be opened
};

// `onHit` hears of each find as it is made.
ScanResult scanLine(const ScanRequest &request, const std::function<void(const ScanHit &)> &onHit);

} // namespace rtu
