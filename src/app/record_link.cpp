#include "record_link.h"

#include "notice_texts.h"
#include "widget.h"

// NOTE for the request-layer rewrite: this is the only place the record tab
// reaches the bus.
std::optional<QVector<quint16>> RecordLink::readHoldingBlock(Widget &w)
{
    OperationGuard guard(*w.link);
    if (!guard || !w.requireLink())
        return std::nullopt;
    if (!w.fetchOrReport(QModbusDataUnit::HoldingRegisters, notices::Notice::ReadFailure))
        return std::nullopt;
    return w.holding_unit.values();
}
