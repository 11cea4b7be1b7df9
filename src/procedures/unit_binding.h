#pragma once
// The transmitter a procedure started on: the link it was open on (its
// generation) and the address. A procedure that writes the transmitter
// checks it before every step and ends when either has changed.

#include "link/link.h"

namespace proc {

struct UnitBinding {
    quint64 generation = 0;
    int address = 0;

    static UnitBinding of(const rtu::Link &link) { return {link.generation(), link.address()}; }
    bool holds(const rtu::Link &link) const
    {
        return link.isOpen() && link.generation() == generation && link.address() == address;
    }
};

} // namespace proc
