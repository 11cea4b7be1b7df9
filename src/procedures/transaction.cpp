#include "procedures/transaction.h"

#include "core/registers.h"
#include "link/link.h"

#include <QMap>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace proc {

namespace {

// A late answer to an earlier request may take this one's place once; the
// words put back, and the store, are the same when sent again.
constexpr int kAttempts = 2;

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

// By Outcome::Held.
const char *const kOutcomes[][3] = {
    {"已存储并读回确认", "已儲存並讀回確認", "stored and read back"},
    {"已存储并读回确认，但未能退出校准模式", "已儲存並讀回確認，但未能退出校準模式",
     "stored and read back, but the transmitter did not leave its calibration mode"},
    {"未存储：原值已恢复并读回确认", "未存儲：原值已恢復並讀回確認",
     "nothing was stored: the old values are back and read back"},
    {"未存储：寄存器 %1 仍保留未存储的新值（断电重启可恢复存储映像）",
     "未儲存：暫存器 %1 仍保留未儲存的新值（斷電重啟可恢復儲存映像）",
     "nothing was stored, but RAM holds unstored words in holding %1 (a power cycle reloads the stored image)"},
    {"存储映像未知：寄存器 %1 可能已存储新值", "儲存映像未知：暫存器 %1 可能已儲存新值",
     "the stored image is unknown: holding %1 may hold the new words"},
};
const char *const kOutcomeKeys[] = {"stored", "stored-mode-not-left", "not-stored-restored",
                                    "not-stored-ram-holds", "image-unknown"};

QString numbers(const QVector<int> &registers)
{
    QStringList names;
    for (int r : registers)
        names << QString::number(r);
    return names.join(QStringLiteral(", "));
}

QString registerList(const QVector<int> &registers, int start, int count)
{
    if (!registers.isEmpty())
        return numbers(registers);
    return count <= 1 ? QString::number(start) : QStringLiteral("%1-%2").arg(start).arg(start + count - 1);
}

bool mayHaveTaken(const core::BusError &e)
{
    return e.sent && e.kind != core::BusErrorKind::Exception;
}

// A late answer to the request before may spoil one read: a second one judges.
verify::ReadBack readBackAgainOnError(core::RegisterBus &bus, const QVector<verify::Written> &expected)
{
    const verify::ReadBack first = verify::readBack(bus, expected);
    return first.error.ok() || !first.error.sent ? first : verify::readBack(bus, expected);
}

// Words that went back over a store that may have taken them are stored
// again, unless someone else's words are in RAM unstored: that store would
// keep theirs. A late answer may take the first store's place once.
bool storeAgainAfterPutBack(rtu::Link &link, const QVector<rtu::UnstoredWords::Entry> &back)
{
    if (link.unstored().entries().size() != back.size())
        return false;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const rtu::WriteOutcome sent = link.write(reg::kStoreCommand, {reg::kStoreValue});
        if (sent == rtu::WriteOutcome::Accepted)
            return true;
        if (sent != rtu::WriteOutcome::Unanswered)
            return false;
    }
    return false;
}

} // namespace

Outcome Outcome::of(const Aftermath &after)
{
    Outcome o;
    if (after.stored == StoredImage::Unknown) {
        o.held = Held::ImageUnknown;
        o.image = after.written;
        o.ram = after.unrestored;
    } else if (!after.unrestored.isEmpty()) {
        o.held = Held::NotStoredRamHolds;
        o.ram = after.unrestored;
    }
    return o;
}

QString outcomeText(const Outcome &o, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    const QString text = QString::fromUtf8(kOutcomes[int(o.held)][l]);
    switch (o.held) {
    case Outcome::Held::NotStoredRamHolds:
        return text.arg(numbers(o.ram));
    case Outcome::Held::ImageUnknown:
        return text.arg(numbers(o.image));
    default:
        return text;
    }
}

QString outcomeKey(const Outcome &o)
{
    return QLatin1String(kOutcomeKeys[int(o.held)]);
}

Transaction::Transaction(core::RegisterBus &bus, quintptr owner, const QString &procedure)
    : m_bus(bus), m_link(dynamic_cast<rtu::Link *>(&bus)), m_owner(owner ? owner : quintptr(this)),
      m_procedure(procedure)
{
}

Transaction::~Transaction() = default;

core::BlockReply Transaction::begin()
{
    std::optional<rtu::WriterScope> scope;
    if (m_link) {
        scope.emplace(*m_link, m_owner);
        if (!m_link->putBackUnstored(m_owner))
            return {{}, {core::BusErrorKind::Link, m_link->heldText(), 0, false}};
    }
    core::BlockReply reply = m_bus.readBlock(core::Block::Holding);
    if (reply.ok() && reply.words.size() < reg::kHoldingCount)
        reply.error = {core::BusErrorKind::Link, QStringLiteral("short reply"), 0};
    if (reply.ok())
        m_before = reply.words;
    return reply;
}

void Transaction::beginWith(const QVector<quint16> &holding)
{
    if (m_link && !m_link->unstored().othersThan(m_owner).isEmpty()) {
        begin();
        return;
    }
    m_before = holding;
}

core::BusError Transaction::write(int start, const QVector<quint16> &words)
{
    if (m_before.size() < reg::kHoldingCount) {
        const core::BlockReply first = begin();
        if (!first.ok()) {
            core::BusError e = first.error;
            e.sent = false;
            return e;
        }
    }
    std::optional<rtu::WriterScope> scope;
    if (m_link) {
        scope.emplace(*m_link, m_owner);
        for (int i = 0; i < words.size(); ++i)
            m_link->unstored().note(m_owner, m_procedure, start + i, m_before.at(start + i));
    }
    m_ramChecked = false;
    const core::BusError error = m_bus.writeRegisters(start, words);
    // A refused request, or one never sent, changed nothing; anything else may have.
    if (mayHaveTaken(error)) {
        m_written.append({start, words});
    } else if (m_link) {
        const QVector<int> mine = writtenRegisters();
        for (int i = 0; i < words.size(); ++i)
            if (!mine.contains(start + i))
                m_link->unstored().forget(start + i);
    }
    return error;
}

core::BusError Transaction::sendStore()
{
    // Whoever puts these words back from now on stores them again.
    if (m_link) {
        rtu::Link *link = m_link;
        m_link->unstored().setAfterPutBack(
            m_owner, [link](const QVector<rtu::UnstoredWords::Entry> &back) { return storeAgainAfterPutBack(*link, back); });
    }
    const core::BusError error = m_bus.writeRegisters(reg::kStoreCommand, {reg::kStoreValue});
    if (mayHaveTaken(error))
        m_storeMayHaveTaken = true;
    return error;
}

// An unanswered store is stored again while RAM still holds every word written.
core::BusError Transaction::storeRepeated(const QVector<verify::Written> &expected)
{
    core::BusError error = sendStore();
    for (int again = 0; again < kAttempts && mayHaveTaken(error) && !error.ok(); ++again) {
        const verify::ReadBack ram = readBackAgainOnError(m_bus, expected);
        if (!ram.verified())
            return error;
        error = sendStore();
    }
    return error;
}

core::BusError Transaction::store()
{
    std::optional<rtu::WriterScope> scope;
    if (m_link)
        scope.emplace(*m_link, m_owner);
    m_check = {};
    m_changed.clear();
    // A power cycle or another tool since the writes would store half of
    // them. One run of registers goes back whole, so only several need the
    // check; a read-back just made, with nothing written since, has done it.
    QVector<int> runs;
    for (const verify::Written &run : m_written)
        if (!runs.contains(run.start))
            runs << run.start;
    if (runs.size() > 1 && !m_ramChecked) {
        const verify::ReadBack now = readBack();
        if (!now.error.ok())
            return now.error;
        if (!now.differing.isEmpty()) {
            m_changed = now.differing;
            return {core::BusErrorKind::Link, QStringLiteral("changed before the store"), 0, false};
        }
    }
    m_ramChecked = false;
    const quint64 putBacks = m_link ? m_link->putBackCount() : 0;
    const core::BusError error = storeRepeated(lastWords());
    if (!error.ok())
        return error;
    m_check = readBack();
    // A put-back during the store or its read-back (a close) may have changed RAM since: read again.
    if (m_check.verified() && m_link && m_link->putBackCount() != putBacks)
        m_check = readBack();
    if (!m_check.verified())
        return m_check.error.ok() ? core::BusError{core::BusErrorKind::Link, QStringLiteral("read back otherwise"), 0}
                                  : m_check.error;
    // A close meanwhile put the words back and stored them again: not this store's image.
    if (m_link && !putBackByLink().isEmpty())
        return {core::BusErrorKind::Link, QStringLiteral("put back before the store was confirmed"), 0, false};
    // The stored image holds what was written: a later restore goes back to it.
    for (const verify::Written &run : m_written)
        for (int i = 0; i < run.words.size(); ++i) {
            m_before[run.start + i] = run.words.at(i);
            if (m_link)
                m_link->unstored().forget(run.start + i);
        }
    m_written.clear();
    m_storeMayHaveTaken = false;
    m_outcome = {};
    m_outcome.held = Outcome::Held::StoredVerified;
    return {};
}

// Every register once, with the last word written to it.
QVector<verify::Written> Transaction::lastWords() const
{
    QMap<int, quint16> words;
    for (const verify::Written &run : m_written)
        for (int i = 0; i < run.words.size(); ++i)
            words.insert(run.start + i, run.words.at(i));
    QVector<verify::Written> last;
    for (auto it = words.cbegin(); it != words.cend(); ++it)
        last.append(verify::Written{it.key(), {it.value()}});
    return last;
}

verify::ReadBack Transaction::readBack()
{
    const verify::ReadBack check = readBackAgainOnError(m_bus, lastWords());
    m_ramChecked = check.verified();
    return check;
}

bool Transaction::writeBack(const verify::Written &run)
{
    const QVector<quint16> words = m_before.mid(run.start, run.words.size());
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const core::BusError error = m_bus.writeRegisters(run.start, words);
        if (error.ok())
            return true;
        if (error.kind == core::BusErrorKind::Exception && words.size() > 1) {
            // Register by register, so that one refused register does not keep the others.
            for (int i = 0; i < words.size(); ++i)
                m_bus.writeRegisters(run.start + i, {words.at(i)});
            return false;
        }
        if (error.kind == core::BusErrorKind::Exception || !error.sent)
            return false;
    }
    return false;
}

// Registers written that the link's ledger no longer holds: it put them back, verified.
QVector<int> Transaction::putBackByLink() const
{
    QVector<int> gone;
    if (!m_link)
        return gone;
    for (int r : writtenRegisters())
        if (!m_link->unstored().holds(r))
            gone << r;
    return gone;
}

QVector<int> Transaction::writtenRegisters() const
{
    QVector<int> registers;
    for (const verify::Written &run : m_written)
        for (int i = 0; i < run.words.size(); ++i)
            if (!registers.contains(run.start + i))
                registers << run.start + i;
    std::sort(registers.begin(), registers.end());
    return registers;
}

Aftermath Transaction::restore()
{
    Aftermath after;
    m_outcome = {};
    if (m_written.isEmpty() || m_before.isEmpty()) {
        if (m_storeMayHaveTaken)   // a store of nothing new: the image is what it was
            m_storeMayHaveTaken = false;
        return after;
    }
    std::optional<rtu::WriterScope> scope;
    if (m_link)
        scope.emplace(*m_link, m_owner);
    after.needed = true;
    after.written = writtenRegisters();
    after.start = after.written.first();
    after.count = after.written.last() - after.start + 1;
    // What the link put back itself (a close, another write), verified and
    // stored again where a store had gone out, needs nothing more.
    const QVector<int> gone = putBackByLink();
    if (gone.size() == after.written.size()) {
        m_written.clear();
        m_storeMayHaveTaken = false;
        m_outcome = {};
        return after;
    }
    QVector<verify::Written> restored;
    for (const verify::Written &run : m_written) {
        writeBack(run);
        restored.append({run.start, m_before.mid(run.start, run.words.size())});
    }
    const verify::ReadBack check = readBackAgainOnError(m_bus, restored);
    after.block = check.block;
    // A close during the restore puts back, verified, what the ledger still held.
    for (int r : check.differing)
        if (!m_link || m_link->unstored().holds(r))
            after.unrestored << r;
    if (!m_storeMayHaveTaken)
        after.stored = StoredImage::Unchanged;
    else if (after.unrestored.isEmpty() && check.error.ok() && storeRepeated(restored).ok())
        after.stored = StoredImage::Restored;
    else
        after.stored = StoredImage::Unknown;
    if (m_link)
        for (int r : after.written)
            if (!after.unrestored.contains(r))
                m_link->unstored().forget(r);
    m_written.clear();
    m_storeMayHaveTaken = after.stored == StoredImage::Unknown;
    m_outcome = Outcome::of(after);
    return after;
}

Aftermath Transaction::restore(int start, int count)
{
    const auto inside = [&](const verify::Written &run) {
        return run.start >= start && run.start + run.words.size() <= start + count;
    };
    const auto crosses = [&](const verify::Written &run) {
        return !inside(run) && run.start < start + count && run.start + run.words.size() > start;
    };
    if (m_storeMayHaveTaken || std::any_of(m_written.begin(), m_written.end(), crosses))
        return restore();
    QVector<verify::Written> mine, kept;
    for (const verify::Written &run : m_written)
        (inside(run) ? mine : kept) << run;
    Aftermath after;
    if (mine.isEmpty() || m_before.isEmpty())
        return after;
    std::optional<rtu::WriterScope> scope;
    if (m_link)
        scope.emplace(*m_link, m_owner);
    m_written = mine;
    after.needed = true;
    after.written = writtenRegisters();
    after.start = after.written.first();
    after.count = after.written.last() - after.start + 1;
    QVector<verify::Written> restored;
    for (const verify::Written &run : mine) {
        if (m_link && !m_link->unstored().holds(run.start))
            continue;   // the link put it back itself, verified
        writeBack(run);
        restored.append({run.start, m_before.mid(run.start, run.words.size())});
    }
    const verify::ReadBack check = readBackAgainOnError(m_bus, restored);
    after.block = check.block;
    after.unrestored = check.differing;
    if (!check.error.ok())
        for (const verify::Written &run : restored)
            for (int i = 0; i < run.words.size(); ++i)
                after.unrestored << run.start + i;
    // What did not go back stays written: the next restore tries again.
    m_written.clear();
    for (const verify::Written &run : mine)
        for (int i = 0; i < run.words.size(); ++i) {
            if (after.unrestored.contains(run.start + i))
                m_written.append(verify::Written{run.start + i, {run.words.at(i)}});
            else if (m_link)
                m_link->unstored().forget(run.start + i);
        }
    m_written += kept;
    m_ramChecked = false;
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
