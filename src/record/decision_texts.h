#pragma once
// What a certificate says about its decisions: the rule by name (ILAC-G8),
// each point's statement, and what an electrical check does not show.
// Texts of the three languages are data here.

#include "record/calibration_record.h"

namespace record {

// "PASS", "CONDITIONAL PASS", ..., "CANNOT PASS (U ≥ tolerance)".
QString decisionText(metrology::Decision decision, int language);
// "PASS", "CONDITIONAL PASS", "CONDITIONAL FAIL", "FAIL",
// "NO STATEMENT OF CONFORMITY POSSIBLE (U ≥ tolerance)", "INCOMPLETE".
QString statementText(Statement statement, int language);
// The worse of a point's two decisions (reading, loop current).
metrology::Decision pointDecision(const PointFigures &figures);
// Which loop currents a check measured: judged with a budget of their own, or not judged.
struct Currents {
    bool judged = false;
    bool unjudged = false;
};
Currents currentsOf(const Record &record);
// The statement of the rule: its name, w = r·U, unrounded judgement, how
// errors are printed, the specific false-accept risk, and how the loop
// currents that were measured are judged (nothing about them when none was).
QString decisionRuleStatement(const Header &header, bool perPoint, int language, Currents currents = {});
// "± 0.0096 mA" (own) or "± 0.0096 mA (the temperature tolerance over the span)".
QString currentToleranceText(const Header &header, int language);
// The transmitter's own cold-junction compensation is not verified by an
// electrical check; how it can be.
QString coldJunctionStatement(int language);
// "Ambient 23.4 °C, read by ..." with where it came from; empty without an ambient.
QString ambientStatement(const Header &header, int language);
// "Environment instrument" for the list of instruments used.
QString environmentRoleText(int language);
// A thermocouple input: its check is the one the cold-junction statement concerns.
bool isThermocoupleInput(const Header &header);

} // namespace record
