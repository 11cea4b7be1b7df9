#pragma once
// The one way a procedure changes the transmitter's stored image: read what
// will change, write, store, read back; on any failure put back what was
// read, store again when a store may have taken effect, read back, and say
// exactly what RAM and the stored image now hold.

#include "core/register_bus.h"
#include "core/write_verdict.h"

#include <QString>
#include <QVector>

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

    bool clean() const { return unrestored.isEmpty() && stored != StoredImage::Unknown; }
};

class Transaction
{
public:
    explicit Transaction(core::RegisterBus &bus) : m_bus(bus) {}

    // Reads the holding block: what a restore puts back.
    core::BlockReply begin();
    // The same from a block the caller has just read whole.
    void beginWith(const QVector<quint16> &holding) { m_before = holding; }
    const QVector<quint16> &before() const { return m_before; }
    // One write; unless refused, its registers count as possibly changed.
    core::BusError write(int start, const QVector<quint16> &words);
    // The store command; only a refusal is known to have stored nothing.
    core::BusError store();
    // Reads the block back and checks every write.
    verify::ReadBack readBack() const;
    // Puts back what begin() read over every register written, reads it back,
    // and stores again when a store may have taken effect.
    Aftermath restore();

    bool wroteAnything() const { return !m_written.isEmpty(); }

private:
    bool writeBack(const verify::Written &run);

    core::RegisterBus &m_bus;
    QVector<quint16> m_before;
    QVector<verify::Written> m_written;
    bool m_storeMayHaveTaken = false;
};

// One line for the link status, language 0..2 (English otherwise).
QString aftermathText(const Aftermath &aftermath, int language);

} // namespace proc
