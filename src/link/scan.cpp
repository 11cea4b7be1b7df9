#include "link/scan.h"

namespace rtu {

namespace {

bool answers(Link &link, int address, int probeTimeoutMs)
{
    link.setAddress(address);
    link.setTimeoutMs(probeTimeoutMs);
    const core::BlockReply probe = link.readRegisters(QModbusDataUnit::InputRegisters, 0, 1);
    if (probe.error.kind == core::BusErrorKind::NoReply)
        return false;
    link.setTimeoutMs(0);
    return link.readBlock(core::Block::Input).ok();
}

} // namespace

ScanResult scanLine(const ScanRequest &request, const std::function<void(const ScanHit &)> &onHit)
{
    ScanResult result;
    for (int baud : request.bauds) {
        SerialOptions line = request.line;
        line.baud = baud;
        Link link;
        if (!link.open(line)) {
            result.error = link.errorString();
            return result;
        }
        for (int address = request.firstAddress; address <= request.lastAddress; ++address) {
            if (!answers(link, address, request.probeTimeoutMs))
                continue;
            result.hits.append({address, baud});
            if (onHit)
                onHit(result.hits.last());
        }
    }
    return result;
}

} // namespace rtu
