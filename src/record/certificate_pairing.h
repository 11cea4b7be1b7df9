#pragma once
// Which checks may go on one certificate: one transmitter (the same serial
// number and address in both checks), each check complete and the current
// version of itself, the as-found one first. A plain rule with the reason it
// refuses, shared by the window and tcal-cli.

#include "record/calibration_record.h"

#include <QString>

namespace record {

struct PairingInput {
    const Record *asFound = nullptr;   // nullptr: none given
    const Record *asLeft = nullptr;
    qint64 foundSupersededBy = 0;      // the amendment that replaced it, 0 when current
    qint64 leftSupersededBy = 0;
};

// Empty when the checks may be certified together; otherwise why not, in `language`.
QString pairingRefusal(const PairingInput &input, int language);

} // namespace record
