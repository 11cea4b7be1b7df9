#pragma once
// Read-back check of a write: the words written against the holding block
// read afterwards, with the text the link-status line shows. Every write the
// tool verifies (parameters, baud rate, calibration stores, a configuration
// apply, and the restore after a failed step) is judged here.

#include "core/register_bus.h"

#include <QString>
#include <QVector>

namespace verify {

// Words that went to holding `start` onwards.
struct Written {
    int start = 0;
    QVector<quint16> words;
};

struct ReadBack {
    core::BusError error;     // the read failed: nothing is known of the writes
    QVector<quint16> block;   // the holding block as read
    QVector<int> differing;   // registers not known to hold what was written

    bool verified() const { return error.ok() && differing.isEmpty(); }
};

// Reads the holding block through `bus` and checks every run of `written` against it.
ReadBack readBack(core::RegisterBus &bus, const QVector<Written> &written);

struct WriteVerdict {
    bool verified;
    int differingRegister;   // -1 when verified
    QString text;            // in the language asked for (0..2; English otherwise)
};

// The registers of `written` (from holding `start`) that `readBack`, the
// holding block read from address 0 afterwards, does not hold; a register the
// read-back does not carry differs. The one judgement of a write's read-back.
QVector<int> differingRegisters(int start, const QVector<quint16> &written,
                                const QVector<quint16> &readBack);

// `written` went to holding `start` onwards; `readBack` is the block read from
// address 0 afterwards. A register the read-back does not carry differs.
WriteVerdict verifyWrite(int start, const QVector<quint16> &written,
                         const QVector<quint16> &readBack, int language);

} // namespace verify
