#pragma once
// One check of a transmitter (as found or as left): the header the quality
// system asks for, the test points and what was read at each, and its JSON form.

#include "metrology/decision_rule.h"
#include "record/record_math.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <limits>
#include <optional>

namespace record {

enum class Stage { AsFound, AsLeft };
QString stageKey(Stage stage);   // "as-found" / "as-left", used in files

// The meter a typed loop current was read with, as the operator states it
// from the register of standards: +-(% of reading + floor) rectangular, its
// resolution, and its own certificate's U at k. All in mA.
struct MeterTerms {
    double percentOfReading = 0;
    double floorMa = 0;
    double resolutionMa = 0;
    double certificateMa = 0;
    double certificateK = 2;
};

struct Header {
    QString tag;
    QString serial;
    QString description;
    QString technician;
    QString reference;           // reference instrument
    QDate referenceDue;          // its calibration due date
    QString ambient;             // as typed, e.g. "23.5"
    QString unit = QStringLiteral("°C");
    Tolerance tolerance;
    Range range;
    double resolution = 0.1;                 // the transmitter's: figures are printed and judged at it
    std::optional<double> uncertainty;       // expanded (k=2), in the unit; guard-bands the verdicts
    QString laboratory;                      // issuer of the certificate
    QString procedure;                       // procedure reference
    QString inputType;                       // e.g. "Type K", as the transmitter reports it
    int address = 0;                         // Modbus address; 0 when not known
    QString referenceCertificate;            // the reference instrument's own certificate number
    QString referenceOverride;               // why a check ran with an expired reference
    metrology::DecisionRule decisionRule;    // how errors and U become verdicts; guarded, r = 1 by default
    std::optional<double> currentToleranceMa;   // the output's own tolerance; else the temperature's, in mA
    QString ambientSource;                   // where `ambient` came from: "operator", "transmitter", "instrument ..."
    std::optional<MeterTerms> currentMeter;  // the meter typed currents were read with; without it they are not judged
};

// The loop current's tolerance in mA: its own, else the temperature tolerance
// over the span, cut down to the 6 decimals it is printed with.
double currentToleranceMa(const Header &header);

// The reference instrument must have a due date; a passed one needs a reason.
enum class ReferenceState { Valid, Missing, Expired };
ReferenceState referenceState(const Header &header, const QDate &today);

// A point's own uncertainty budget, as an unattended run computes it (GUM).
struct PointUncertainty {
    double expanded = 0;                  // U of the reading, in the record's unit
    double coverageFactor = 2;            // k
    double effectiveDegreesOfFreedom = std::numeric_limits<double>::infinity();
    std::optional<double> currentExpandedMa;   // U of the loop current
    double currentCoverageFactor = 2;          // its k, from its own degrees of freedom
    double currentEffectiveDegreesOfFreedom = std::numeric_limits<double>::infinity();
    // Each contribution as the certificate's annex lists it.
    struct Line {
        QString name;
        QString distribution;    // "normal", "rectangular", "Type A"
        double sensitivity = 1;  // |c|, from the input's unit to the result's
        QString inputUnit;
        double standardUncertainty = 0;   // in the result's unit
        double degreesOfFreedom = std::numeric_limits<double>::infinity();
        double bias = 0;         // an uncorrected known bias, added to U in full; not part of u_c
    };
    QVector<Line> budget;          // of the reading
    QVector<Line> currentBudget;   // of the loop current
};

struct Point {
    // NotStable: the wait timed out; like Skipped, never counted as passed.
    enum class Status { Pending, Recorded, Skipped, NotStable };
    double reference = 0.0;
    Status status = Status::Pending;
    double reading = 0.0;
    std::optional<double> currentMa;   // typed by the technician or read by a meter
    QDateTime time;
    std::optional<PointUncertainty> uncertainty;   // when absent the header's applies
};

// The uncertainty a point is judged with: its own, else the header's; 0 without either.
double pointUncertainty(const Point &point, const Header &header);

// A correction of a finished check: it never replaces it, it follows it.
struct Amendment {
    qint64 supersedes = 0;   // the record's number in the database
    QString reason;
    QString author;
};

// An instrument an unattended run used: the calibrator that sourced the
// reference or the meter that read the loop current.
struct UsedInstrument {
    QString role;            // "source" or "meter"
    QString model;
    QString identity;        // *IDN? answer
    QString serial;
    QString certificate;
    QDate due;
};

struct Record {
    qint64 id = 0;           // number in the database; 0 until stored
    std::optional<Amendment> amendment;
    Header header;
    Stage stage = Stage::AsFound;
    QDateTime started;
    QVector<Point> points;
    QJsonObject configuration;   // the transmitter's configuration read at the check; empty when not read
    QVector<UsedInstrument> instruments;
    QString incompleteReason;    // why a run ended early; empty: none
    // As left: whether an adjustment was stored between the as-found check and
    // this one, as the run or the technician recorded it; unset: not recorded.
    std::optional<bool> adjusted;
};

Record newRecord(const Header &header, Stage stage, const QVector<double> &references,
                 const QDateTime &started);

// The loop current the technician typed for point `index`; nullopt clears it.
void setTypedCurrent(Record &record, int index, std::optional<double> currentMa);

// What a certificate states about a point, computed once here: the table,
// the annex, the CSV, the JSON and the window print these figures and no others.
// Meaningful for recorded points.
struct PointFigures {
    int decimals = 1;            // of the reading and the error: enough that the printed figures give the verdict
    double reading = 0.0;        // as printed
    double error = 0.0;          // as printed
    double errorPercent = 0.0;   // of the unrounded error
    int percentDecimals = 3;
    std::optional<double> expanded;   // the stated (rounded-up) U the reading was judged with
    double coverageFactor = 2.0;
    double tolerance = 0.0;           // in the unit
    std::optional<double> limit;      // |error| <= limit passes; none when nothing can pass
    bool uncertaintyUnusable = false; // a U is given that is not finite and positive: nothing passes
    int currentDecimals = 3;          // of the expected and measured currents and the current's error
    double expectedMa = 0.0;          // as printed
    std::optional<double> currentErrorMa;         // as printed
    std::optional<double> currentExpandedMa;      // the stated U of the current's error
    double currentCoverageFactor = 2.0;
    double currentToleranceMa = 0.0;
    bool currentUnjudged = false;     // a current without a budget of its own: no verdict on it
    metrology::Decision decision = metrology::Decision::Fail;          // of the reading's error
    std::optional<metrology::Decision> currentDecision;                // of the loop current's
    bool passed = false;
};
// The U of a loop current's error, in mA: the point's own budget, else the
// header's meter terms with the temperature's U over the span; nullopt
// without either, and then the current is not judged.
std::optional<double> currentUncertaintyMa(const Point &point, const Header &header);
PointFigures figures(const Point &point, const Header &header);

// What a check states as a whole (ILAC-G8): FAIL when a point fails; else
// INCOMPLETE while a point is not recorded; else the weakest statement of its
// points: "no statement of conformity possible" when U >= T kept one from
// passing, conditional pass or fail, pass.
enum class Statement { Pass, ConditionalPass, ConditionalFail, NotPossible, Fail, Incomplete };
Statement statement(const Record &record);

// Incomplete when the run ended early (incompleteReason); else Fail as soon
// as one recorded point fails; Incomplete while any point is pending, skipped
// or not stable; Pass only when every point passed.
enum class Verdict { Pass, Fail, Incomplete };
Verdict verdict(const Record &record);

// Times are kept in UTC and shown in local time with the offset, e.g.
// "2026-12-07 17:30:15 +08:00".
QString localTimeText(const QDateTime &time, bool seconds = true);

// The record's content (without its database number), keys sorted: what is hashed.
QJsonObject toJson(const Record &record);
// nullopt when the object is not a record this tool wrote.
std::optional<Record> fromJson(const QJsonObject &object);

} // namespace record
