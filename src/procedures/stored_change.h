#pragma once
// A change the transmitter keeps: the parameter block, the baud rate. Read
// first, write, store, read back; on any failure the transaction's restore.

#include "procedures/transaction.h"

#include <functional>

namespace rtu { class Link; }

namespace proc {

enum class ChangeOutcome {
    Verified,
    ReadFailed,      // nothing written: what would change could not be read
    WriteFailed,     // the write was refused, unanswered or never sent
    StoreFailed,
    ReadBackFailed,
    Differs,         // read back, and a register is not what was written
};

struct ChangeReport {
    ChangeOutcome outcome = ChangeOutcome::ReadFailed;
    core::BusError error;
    verify::Written written;
    verify::ReadBack check;     // the read-back after the store
    Aftermath aftermath;        // what a failure left behind
    Outcome stored;             // what RAM and the stored image hold

    bool verified() const { return outcome == ChangeOutcome::Verified; }
};

// `plan` makes the words to write from the holding block as read.
using ChangePlan = std::function<verify::Written(const QVector<quint16> &holding)>;

// The pause lets the transmitter take the write before the store.
// `holding`, when given, is the block the caller has just read; otherwise it is read here.
ChangeReport storeChange(rtu::Link &link, const ChangePlan &plan, int pauseMs,
                         const QVector<quint16> *holding = nullptr,
                         const QString &procedure = QStringLiteral("parameter write"));

} // namespace proc
