#include "core/write_verdict.h"

namespace verify {

namespace {

const char *const kVerified[3] = {"已校验", "已校驗", "verified"};
const char *const kDiffers[3] = {"寄存器 %1 不一致：写入 %2，读回 %3",
                                 "暫存器 %1 不一致：寫入 %2，讀回 %3",
                                 "register %1 differs: wrote %2, read %3"};
const char *const kMissing[3] = {"寄存器 %1 未读回", "暫存器 %1 未讀回", "register %1 was not read back"};
} // namespace

QVector<int> differingRegisters(int start, const QVector<quint16> &written,
                                const QVector<quint16> &readBack)
{
    QVector<int> differing;
    for (int i = 0; i < written.size(); ++i) {
        const int address = start + i;
        if (address < 0 || address >= readBack.size() || readBack.at(address) != written.at(i))
            differing << address;
    }
    return differing;
}

ReadBack readBack(core::RegisterBus &bus, const QVector<Written> &written)
{
    ReadBack result;
    const core::BlockReply reply = bus.readBlock(core::Block::Holding);
    result.error = reply.error;
    if (reply.ok())
        result.block = reply.words;
    // Without a block nothing written is known to be there.
    for (const Written &w : written)
        result.differing << differingRegisters(w.start, w.words, result.block);
    return result;
}

WriteVerdict verifyWrite(int start, const QVector<quint16> &written,
                         const QVector<quint16> &readBack, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    const QVector<int> differing = differingRegisters(start, written, readBack);
    if (differing.isEmpty())
        return {true, -1, QString::fromUtf8(kVerified[l])};
    const int address = differing.first();
    if (address < 0 || address >= readBack.size())
        return {false, address, QString::fromUtf8(kMissing[l]).arg(address)};
    return {false, address, QString::fromUtf8(kDiffers[l]).arg(address)
                                .arg(written.at(address - start)).arg(readBack.at(address))};
}

} // namespace verify
