#pragma once
// Texts of the calibration record (tab and certificate) in the three languages
// of the window: 0 Simplified Chinese, 1 Traditional Chinese, 2 English.

#include <QString>

namespace record {

enum class Text {
    TabTitle, HeaderGroup, Tag, Serial, Description, Technician, ReferenceInstrument,
    ReferenceDue, Ambient, Tolerance, ToleranceDegrees, TolerancePercent, RangeLower,
    RangeUpper, ReadRange, TestPoints, DefaultPoints, StablePolls, StableBand, StableTimeout, Repeats, RepeatOf,
    RecordsFolder, CheckGroup, StartAsFound, StartAsLeft, Measure, Repeat, Skip, Apply, PressMeasure, Reading,
    Countdown, NotStable, CheckDone, NoCheck, AsFound, AsLeft, ColReference, ColReading,
    ColError, ColErrorPercent, ColExpectedMa, ColMeasuredMa, ColCurrentError, ColResult,
    Pass, Fail, Skipped, Pending, Incomplete, ExportCsv, ExportPdf, History, HistoryTime,
    HistoryStage, HistoryVerdict, Drift, NoDrift, CertificateTitle, Verdict,
    SignTechnician, SignReviewer, SignDate, RangeReadFailed, Saved, SaveFailed, Exported,
    Laboratory, Procedure, InputType, Address, ReferenceCertificate, Uncertainty, Issued,
    CertificateNumber, AmendmentOf, DecisionRule, DecisionRuleGuarded, AdjustedStatement,
    ReferenceOverridden, PageOf, DueMissing, DueExpired, OverrideReason, FinishedUnchanged,
    AmendReason, BadPoints, BadNumber, CsvBom, VerifyChain, ChainIntact, ChainBroken,
    ImportJson, ImportedCount, DatabaseFailed, Range, Instruments, Location, IntervalMonths,
    LastAsLeft, NextDue, Status, Search, SaveInstrument, StartCheckFor, Overdue, DueSoon,
    PairingNothing, PairingMissing, PairingStage, PairingIncomplete, PairingSerial, PairingAddress,
    PairingOrder, PairingSuperseded, PairingIdentity, UncertaintyStatement, CustomerName, LaboratoryAddress,
    CustomerAddress, ItemGroup, CalibrationDates, IssueDate, Traceability, Conformity, RelatesOnly,
    EndOfCertificate, Draft, DraftNotice, Copy, Replaces, Withdrawn, SignedPerformed, SignedReviewed,
    SignedApproved, SignatureLine, Authorised, FunctionText, NeverCalibrated, Unit, IssueCertificate,
    SignerName, DraftWritten, ByReference, Since, Issued2, CertificateDetails, DriftChart, ChecksGroup, Certificates, SameSigner,
    NotStoredYet, StoreDrafts, DraftsLeft, ColUncertainty, UncertaintyPerPoint, UncertaintyPerPointShort,
    DecisionRulePerPoint, InstrumentsUsed, RoleSource, RoleMeter, UsedInstrumentLine, EndedEarly,
    CreateDatabase, DatabaseNotCreated, NotAdjustedStatement, AdjustmentNotRecorded, CurrentNotJudged, SignatureKey,
    TextCount
};

// The text in `language`; English for an index outside 0..2.
QString text(Text id, int language);

} // namespace record
