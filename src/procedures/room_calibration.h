#pragma once
// The room-temperature (cold-junction) sensor against a reference: the offset
// in holding 7 is cleared so the reading does not contain it, the room
// temperature is read, and the offset that makes it the reference is written
// and stored, all through one transaction: stored and read back, or put back.

#include "procedures/stored_change.h"

namespace rtu { class Link; }

namespace proc {

// `referenceHundredths`: the room temperature the reference shows, in 0.01 °C.
// `settleMs`: the transmitter measures again without the old offset.
ChangeReport calibrateRoom(rtu::Link &link, qint64 referenceHundredths, int settleMs = 500);

} // namespace proc
