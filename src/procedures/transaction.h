#pragma once
// The one way anything reaches the transmitter's stored image. A procedure
// says what it changes; the transaction snapshots RAM just before its first
// write, writes, checks just before the store that RAM still holds every word
// written, stores, stores again when the store went unanswered, reads back,
// and refreshes the snapshot once a store is verified. On any failure it puts
// the snapshot back, stores again when a store may have taken effect, and
// says exactly what RAM and the stored image hold. Every word written is in
// the link's ledger of unstored words until it is stored or put back.

#include "core/register_bus.h"
#include "core/write_verdict.h"

#include <QString>
#include <QVector>

namespace rtu { class Link; }

namespace proc {

enum class StoredImage {
    Unchanged,   // no store went out, or it was refused
    Restored,    // stored again after RAM was put back
    Unknown,     // a store may have saved the new values and could not be undone
};

// What a failed change left behind.
struct Aftermath {
    bool needed = false;        // something was written that had to be undone
    QVector<int> unrestored;    // registers whose RAM value is not the one read first
    StoredImage stored = StoredImage::Unchanged;
    int start = 0;              // the registers written, for the operator's text
    int count = 0;
    QVector<quint16> block;     // the holding block read back, empty when that failed
    QVector<int> written;       // every register written

    bool clean() const { return unrestored.isEmpty() && stored != StoredImage::Unknown; }
};

// What the transmitter holds when a procedure ends, as the window, tcal-cli
// and the unattended run report it.
struct Outcome {
    enum class Held {
        StoredVerified,       // stored, read back, back in normal mode
        StoredModeNotLeft,    // stored and read back, but the mode was not left
        NotStoredRestored,    // nothing stored; RAM holds what it held before
        NotStoredRamHolds,    // nothing stored; RAM holds unstored words in `ram`
        ImageUnknown,         // the stored image may hold the new words of `image`
    };
    Held held = Held::NotStoredRestored;
    QVector<int> ram;
    QVector<int> image;

    bool stored() const { return held == Held::StoredVerified || held == Held::StoredModeNotLeft; }
    static Outcome of(const Aftermath &after);
};

// One sentence for the operator, language 0..2 (English otherwise).
QString outcomeText(const Outcome &outcome, int language);
// "stored", "stored-mode-not-left", ... for --json and scripts.
QString outcomeKey(const Outcome &outcome);

class Transaction
{
public:
    // `owner` and `procedure` name the writer in the link's ledger (when the bus is a link).
    explicit Transaction(core::RegisterBus &bus, quintptr owner = 0,
                         const QString &procedure = QStringLiteral("change"));
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Puts back what other procedures left unstored, then reads the snapshot.
    core::BlockReply begin();
    // The same from a block the caller has just read whole (read again when
    // other procedures' words had to go back first).
    void beginWith(const QVector<quint16> &holding);
    const QVector<quint16> &before() const { return m_before; }
    // One write, after the snapshot; unless refused, its registers count as
    // possibly changed and unstored.
    core::BusError write(int start, const QVector<quint16> &words);
    // Checks RAM still holds every word written, stores (again when
    // unanswered), reads back; verified, the snapshot becomes what was written.
    core::BusError store();
    // Reads the block back and checks every write since the last verified store.
    verify::ReadBack readBack();
    // Puts back the snapshot over every register written since the last
    // verified store, reads it back, and stores again when a store may have
    // taken effect.
    Aftermath restore();
    // Puts back only registers start..start+count-1, verified, and keeps the
    // other writes: one step of a procedure that did not finish. A store that
    // may have taken effect, or a run crossing the range, restores everything.
    Aftermath restore(int start, int count);

    bool wroteAnything() const { return !m_written.isEmpty(); }
    // Registers that changed before the store (a power cycle, another tool).
    const QVector<int> &changedBeforeStore() const { return m_changed; }
    const verify::ReadBack &lastCheck() const { return m_check; }
    Outcome outcome() const { return m_outcome; }

private:
    bool writeBack(const verify::Written &run);
    core::BusError sendStore();
    core::BusError storeRepeated(const QVector<verify::Written> &expected);
    QVector<int> writtenRegisters() const;
    QVector<int> putBackByLink() const;
    QVector<verify::Written> lastWords() const;

    core::RegisterBus &m_bus;
    rtu::Link *m_link = nullptr;
    quintptr m_owner = 0;
    QString m_procedure;
    QVector<quint16> m_before;
    QVector<verify::Written> m_written;
    QVector<int> m_changed;
    verify::ReadBack m_check;
    Outcome m_outcome;
    bool m_storeMayHaveTaken = false;
    bool m_ramChecked = false;   // read back verified, nothing written since
};

// One line for the link status, language 0..2 (English otherwise).
QString aftermathText(const Aftermath &aftermath, int language);

} // namespace proc
