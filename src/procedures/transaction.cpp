#include "procedures/transaction.h"

#include "core/registers.h"

#include <QStringList>

#include <algorithm>

namespace proc {

namespace {

// A late answer to an earlier request may take this one's place once; the
// words put back are the same, so sending them again is harmless.
constexpr int kWriteBackAttempts = 2;

const char *const kRamRestored[3] = {"未完成：寄存器 %1 已恢复原值并读回确认",
                                     "未完成：暫存器 %1 已恢復原值並讀回確認",
                                     "not done: register %1 restored to its previous value and read back"};
const char *const kStoredAgain[3] = {"未完成：寄存器 %1 已恢复原值，重新存储并读回确认",
                                     "未完成：暫存器 %1 已恢復原值，重新儲存並讀回確認",
                                     "not done: register %1 restored to its previous value, stored again and read back"};
const char *const kRamNotRestored[3] = {"未完成：寄存器 %1 可能保留未存储的新值，恢复失败",
                                        "未完成：暫存器 %1 可能保留未儲存的新值，恢復失敗",
                                        "not done: register %1 may hold an unsaved new value; restoring it failed"};
const char *const kStoredUnknown[3] = {"未完成：寄存器 %1 的存储映像可能保留新值，恢复失败",
                                       "未完成：暫存器 %1 的儲存映像可能保留新值，恢復失敗",
                                       "not done: the stored image of register %1 may hold the new value; restoring it failed"};

QString registerList(const QVector<int> &registers, int start, int count)
{
    if (!registers.isEmpty()) {
        QStringList names;
        for (int r : registers)
            names << QString::number(r);
        return names.join(QStringLiteral(", "));
    }
    return count <= 1 ? QString::number(start) : QStringLiteral("%1-%2").arg(start).arg(start + count - 1);
}

} // namespace

core::BlockReply Transaction::begin()
{
    core::BlockReply reply = m_bus.readBlock(core::Block::Holding);
    if (reply.ok() && reply.words.size() < reg::kHoldingCount)
        reply.error = {core::BusErrorKind::Link, QStringLiteral("short reply"), 0};
    if (reply.ok())
        m_before = reply.words;
    return reply;
}

core::BusError Transaction::write(int start, const QVector<quint16> &words)
{
    const core::BusError error = m_bus.writeRegisters(start, words);
    // A refused request, or one never sent, changed nothing; anything else may have.
    if (error.sent && error.kind != core::BusErrorKind::Exception)
        m_written.append({start, words});
    return error;
}

core::BusError Transaction::store()
{
    const core::BusError error = m_bus.writeRegisters(reg::kStoreCommand, {reg::kStoreValue});
    if (error.sent && error.kind != core::BusErrorKind::Exception)
        m_storeMayHaveTaken = true;
    return error;
}

verify::ReadBack Transaction::readBack() const
{
    return verify::readBack(m_bus, m_written);
}

bool Transaction::writeBack(const verify::Written &run)
{
    const QVector<quint16> words = m_before.mid(run.start, run.words.size());
    for (int attempt = 0; attempt < kWriteBackAttempts; ++attempt) {
        const core::BusError error = m_bus.writeRegisters(run.start, words);
        if (error.ok())
            return true;
        if (error.kind == core::BusErrorKind::Exception && words.size() > 1) {
            // Register by register, so that one refused register does not keep the others.
            for (int i = 0; i < words.size(); ++i)
                m_bus.writeRegisters(run.start + i, {words.at(i)});
            return false;
        }
        if (error.kind == core::BusErrorKind::Exception)
            return false;
    }
    return false;
}

Aftermath Transaction::restore()
{
    Aftermath after;
    if (m_written.isEmpty() || m_before.isEmpty())
        return after;
    after.needed = true;
    int first = m_written.first().start, last = first;
    QVector<verify::Written> restored;
    for (const verify::Written &run : m_written) {
        writeBack(run);
        restored.append({run.start, m_before.mid(run.start, run.words.size())});
        first = std::min(first, run.start);
        last = std::max(last, run.start + int(run.words.size()) - 1);
    }
    after.start = first;
    after.count = last - first + 1;
    const verify::ReadBack check = verify::readBack(m_bus, restored);
    after.unrestored = check.differing;
    after.block = check.block;
    if (!m_storeMayHaveTaken)
        after.stored = StoredImage::Unchanged;
    else if (after.unrestored.isEmpty() && m_bus.writeRegisters(reg::kStoreCommand, {reg::kStoreValue}).ok())
        after.stored = StoredImage::Restored;
    else
        after.stored = StoredImage::Unknown;
    m_written.clear();
    m_storeMayHaveTaken = after.stored == StoredImage::Unknown;
    return after;
}

QString aftermathText(const Aftermath &a, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    const char *text = a.stored == StoredImage::Unknown ? kStoredUnknown[l]
                       : !a.unrestored.isEmpty()       ? kRamNotRestored[l]
                       : a.stored == StoredImage::Restored ? kStoredAgain[l]
                                                           : kRamRestored[l];
    const bool named = a.stored == StoredImage::Unknown || !a.unrestored.isEmpty();
    return QString::fromUtf8(text).arg(registerList(named ? a.unrestored : QVector<int>{}, a.start, a.count));
}

} // namespace proc
