#pragma once
// Per unit, kept by the link: which registers hold words in RAM that are not
// stored, which procedure wrote them, and what goes back. The link puts them
// back (a verified write) before any other procedure's write, before it
// closes and when the program ends; a put-back that fails stops that write.
// Whatever else a put-back needs (storing again) is the owning procedure's step.

#include <QMap>
#include <QString>
#include <QVector>
#include <QtGlobal>
#include <functional>

namespace rtu {

class UnstoredWords
{
public:
    struct Entry {
        int address = 0;
        quint16 putBack = 0;   // the word the register held before (or the mode to go back to)
        quintptr owner = 0;
        QString procedure;     // for the operator: who left it
        // The owner's own step once its words went back, verified (`back`:
        // every word that went back with them); false when the unit is not
        // as the owner needs it. Empty: nothing more to do.
        std::function<bool(const QVector<Entry> &back)> afterPutBack;
    };

    // Keeps the first put-back word a register was noted with.
    void note(quintptr owner, const QString &procedure, int address, quint16 putBack);
    void forget(int address) { m_entries.remove(address); }
    void forgetOwner(quintptr owner);
    // What `owner` does after a put-back of the words it holds now.
    void setAfterPutBack(quintptr owner, const std::function<bool(const QVector<Entry> &)> &step);
    void clear() { m_entries.clear(); }

    bool isEmpty() const { return m_entries.isEmpty(); }
    bool holds(int address) const { return m_entries.contains(address); }
    bool hasOwner(quintptr owner) const;
    // Entries of every owner but `owner` (all when 0), in register order.
    QVector<Entry> othersThan(quintptr owner) const;
    QVector<Entry> entries() const { return othersThan(0); }
    QVector<int> registers() const { return m_entries.keys().toVector(); }

private:
    QMap<int, Entry> m_entries;
};

// "holding 11, 12 (current calibration)"; what clears them is said by the caller.
QString unstoredText(const QVector<UnstoredWords::Entry> &entries);

} // namespace rtu
