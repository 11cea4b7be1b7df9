#pragma once
// Texts of the records view, the due list and the signing dialog in the three
// languages of the window: 0 Simplified Chinese, 1 Traditional Chinese, 2 English.

#include <QString>

namespace rv {

enum class Text {
    TabTitle, Search, AllStates, From, To, Refresh,
    ColDate, ColSerial, ColTag, ColVerdict, ColCertificate, ColState,
    StateDraft, StatePerformed, StateReviewed, StateApproved, StateCertified, StateSuperseded, StateWithdrawn,
    Pass, Fail, Incomplete,
    Review, Approve, Issue, Open, Reprint, Replace, Export,
    SigningAs, Function,
    NoSelection, NotStored, SupersededBy, ReviewedFirst, YouPerformed, YouReviewed, ReviewedAlready,
    ApprovedAlready, ApprovedFirst, CertifiedAlready, NoCertificate, ChainBroken, NoPerson, NoDatabase,
    Reviewed, Approved, Issued, Reprinted, Replaced, Exported, NotDone,
    Details, AsFound, AsLeft, Points, Signatures, ChainState, ChainIntact, HeadNotNoted, NoSignatures,
    SignaturePerformed, SignatureReviewed, SignatureApproved, SignatureLine, PointLine, RecordLine,
    CertificateLine, WithdrawnLine,
    DueTitle, DueSearch, ShowAll, ColDescription, ColLocation, ColLastAsLeft, ColDue, ColDueState,
    DueNever, DueOverdue, DueSoon, DueOk, StartAutomatic, HandedAutomatic, NothingSelected,
    RuleLabel, RuleSimple, RuleGuarded, RuleNonBinary, GuardFactor,
    SignTitle, SignReviewTitle, SignApproveTitle, SignName, SignPassphrase, SignOk, SignCancel, DialogOk,
    TextCount
};

// The text in `language`; English for an index outside 0..2.
QString text(Text id, int language);

// "not done: …" with the library's reason in `language`.
QString notDone(const QString &reason, int language);

} // namespace rv
