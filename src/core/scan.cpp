#include "scan.h"

namespace core {

namespace {

bool answers(SerialSession &session, int address, int probeTimeoutMs)
{
    session.setAddress(address);
    session.setTimeoutMs(probeTimeoutMs);
    const BlockReply probe = session.read(QModbusDataUnit::InputRegisters, 0, 1);
    if (probe.error.kind == BusErrorKind::NoReply)
        return false;
    session.setTimeoutMs(0);
    return session.readBlock(Block::Input).ok();
}

} // namespace

ScanResult scanLine(const ScanRequest &request, const std::function<void(const ScanHit &)> &onHit)
{
    ScanResult result;
    for (int baud : request.bauds) {
        SerialOptions line = request.line;
        line.baud = baud;
        SerialSession session(line);
        if (!session.open(&result.error))
            return result;
        for (int address = request.firstAddress; address <= request.lastAddress; ++address) {
            if (!answers(session, address, request.probeTimeoutMs))
                continue;
            result.hits.append({address, baud});
            if (onHit)
                onHit(result.hits.last());
        }
    }
    return result;
}

} // namespace core
