#pragma once
// The rows of a check as the tab and the certificate show them: the same
// columns, the same rounding, texts in the window's language.

#include "record/calibration_record.h"

#include <QStringList>

namespace record {

enum Column { ColReference, ColReading, ColError, ColErrorPercent, ColExpectedMa,
              ColMeasuredMa, ColCurrentError, ColResult, ColumnCount };

// Every heading names its unit: `unit` for temperatures, mA, % of span.
QStringList columnTitles(int language, const QString &unit);
QStringList rowCells(const Point &point, const Header &header, int language);
// A run that computed its own budget states U per point: any point has one.
bool hasPointUncertainties(const Record &record);
// The certificate's columns: those of the tab, the current's error with its U
// when it has one, and with `uncertaintyColumn` a "U (k)" column before
// the result, e.g. "0.12 (k=2.03)": the U the point was judged with, stated as
// statedUncertainty() does.
QStringList certificateTitles(int language, const QString &unit, bool uncertaintyColumn);
QStringList certificateCells(const Point &point, const Header &header, int language, bool uncertaintyColumn);
// PASS / FAIL / INCOMPLETE in `language`.
QString verdictText(Verdict verdict, int language);
// "0.0 .. 1000.0 °C" and "0.5 °C" / "0.25 % of span (2.5 °C)".
QString rangeText(const Header &header);
QString toleranceText(const Header &header, int language);
// "± 0.0040 °C (coverage factor k = 2, ...)": the stated (rounded-up) expanded
// uncertainty; "—" without one.
QString uncertaintyText(const Header &header, int language);
// The band a printed error must lie in, printed exactly as the verdicts use it.
QString acceptanceText(const Header &header);

} // namespace record
