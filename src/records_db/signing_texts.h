#pragma once
// Why a person may not sign a check, as a text id and in the three languages
// of the window: 0 Simplified Chinese, 1 Traditional Chinese, 2 English.

#include <QString>

namespace recordsdb {

enum class SigningBar {
    NoRecord, Superseded, NotEnrolled, KeyRevoked, LacksRole, PerformedIt, ReviewedIt, SignedAlready,
    SigningBarCount
};

// A stable id, e.g. "performed-it", for scripts and logs.
QString signingBarId(SigningBar bar);
// The text shown in `language`; English for an index outside 0..2.
QString signingBarText(SigningBar bar, int language);

// The placeholder of a passphrase field.
QString passphraseText(int language);

} // namespace recordsdb
