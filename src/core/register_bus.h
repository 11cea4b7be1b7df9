#pragma once
// What the configuration operations need from a transmitter link: whole-block
// reads and register writes, each with its own verdict. The window and the
// command-line tool each provide one; nothing here knows about widgets.

#include "core/registers.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace core {

enum class Block { Holding, Input };

// Registers a block read always covers, from address 0.
inline int blockCount(Block block) { return block == Block::Holding ? reg::kHoldingCount : reg::kInputCount; }

enum class BusErrorKind {
    None,
    NoReply,      // nothing came back in time
    Exception,    // the transmitter refused the request
    Link,         // the line is down, busy, or the reply was damaged
};

struct BusError {
    BusErrorKind kind = BusErrorKind::None;
    QString text;
    int exceptionCode = 0;   // with Exception
    bool sent = true;        // false: the request never went out, so it changed nothing
    bool shortReply = false; // a read answered with fewer registers than asked for

    bool ok() const { return kind == BusErrorKind::None; }
};

struct BlockReply {
    QVector<quint16> words;
    BusError error;

    bool ok() const { return error.ok(); }
};

class RegisterBus
{
public:
    virtual ~RegisterBus() = default;
    virtual BlockReply readBlock(Block block) = 0;
    // One request for `values` from `start` on; the result is this request's own verdict.
    virtual BusError writeRegisters(int start, const QVector<quint16> &values) = 0;
};

} // namespace core
