#pragma once
// The records view's logic without widgets: the stored checks grouped into
// calibrations (an as-found and the as-left after it), each calibration's
// state, the view's filter, and which action may apply to a calibration and,
// when not, why.

#include "record/calibration_record.h"
#include "record/certificate.h"
#include "texts/records_view_texts.h"

#include <QDate>
#include <QVector>
#include <optional>

namespace records {

enum class RowState { Draft, Performed, Reviewed, Approved, Certified, Superseded, Withdrawn };
constexpr int kRowStateCount = 7;
rv::Text stateText(RowState state);

struct Check {
    record::Record record;        // record.id: its number; 0 for a draft
    qint64 supersededBy = 0;
    QVector<record::Signature> signatures;
    bool signedAs(record::Signature::Meaning meaning) const;
    // Who signed it so: those of the signatures, else for a performer the header's technician.
    QStringList signers(record::Signature::Meaning meaning) const;
};

struct CertificateRef {
    qint64 number = 0;
    qint64 asFound = 0, asLeft = 0;   // record numbers; 0: none
    qint64 withdrawnBy = 0;
};

struct CalibrationRow {
    std::optional<Check> asFound, asLeft;
    qint64 certificate = 0;   // the current one; 0: none
    qint64 withdrawn = 0;     // the latest withdrawn one, when there is no current one
    qint64 withdrawnBy = 0;
    RowState state = RowState::Performed;

    const Check &main() const { return asLeft ? *asLeft : *asFound; }
    QDateTime date() const { return main().record.started; }
    QString serial() const { return main().record.header.serial; }
    QString tag() const { return main().record.header.tag; }
    // The as-left check's, else the as-found one's.
    record::Verdict verdict() const { return record::verdict(main().record); }
    QVector<const Check *> checks() const;
    QString numbers() const;   // "#3, #4"
};

// Stored checks (any order) and the drafts not stored yet become calibrations,
// newest first. A certificate pairs the checks it names; an as-left check
// otherwise takes the latest current as-found check of its transmitter before
// it that no other calibration took. Superseded versions stand alone.
QVector<CalibrationRow> groupRows(const QVector<Check> &stored, const QVector<Check> &drafts,
                                  const QVector<CertificateRef> &certificates);
RowState rowState(const CalibrationRow &row);

struct Filter {
    QString text;                       // in the serial, tag, description or a number
    std::optional<RowState> state;
    QDate from, to;                     // invalid: open
};
bool matches(const CalibrationRow &row, const Filter &filter);

enum class Action { Review, Approve, Issue, Open, Reprint, Replace, Export };
constexpr int kActionCount = 7;

struct Context {
    std::optional<QString> person;      // who signs; nullopt: not known until the signing dialog asks
    bool chainIntact = true;
    QString chainFault;
};
struct Refusal {
    rv::Text why;
    QString detail;                     // the %1 of the text
    QString text(int language) const;
};
// Why `action` cannot apply to `row` (nullptr: nothing selected); nullopt: it may.
std::optional<Refusal> refusal(Action action, const CalibrationRow *row, const Context &context);

} // namespace records
