#include "write_verdict.h"

namespace verify {

namespace {

const char *const kVerified[3] = {"已校验", "已校驗", "verified"};
const char *const kDiffers[3] = {"寄存器 %1 不一致：写入 %2，读回 %3",
                                 "暫存器 %1 不一致：寫入 %2，讀回 %3",
                                 "register %1 differs: wrote %2, read %3"};
const char *const kMissing[3] = {"寄存器 %1 未读回", "暫存器 %1 未讀回", "register %1 was not read back"};

} // namespace

WriteVerdict verifyWrite(int start, const QVector<quint16> &written,
                         const QVector<quint16> &readBack, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    for (int i = 0; i < written.size(); ++i) {
        const int address = start + i;
        if (address >= readBack.size())
            return {false, address, QString::fromUtf8(kMissing[l]).arg(address)};
        if (readBack.at(address) != written.at(i)) {
            return {false, address, QString::fromUtf8(kDiffers[l]).arg(address)
                                        .arg(written.at(i)).arg(readBack.at(address))};
        }
    }
    return {true, -1, QString::fromUtf8(kVerified[l])};
}

} // namespace verify
