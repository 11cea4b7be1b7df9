// Standard sensor curves by the transmitter's input-type code (holding 0):
// a thin wrapper over the metrology library's reference functions (NIST ITS-90
// thermocouples K, S, R, B, N, E, J and T over their full ranges, PT100 by
// IEC 60751, Cu50 by its cubic table). Pure functions, no I/O.
#pragma once

#include <cstdint>
#include <optional>

namespace sim {
namespace tables {

// True when `inputType` (holding 0) has a standard curve here.
bool hasStandardCurve(uint16_t inputType);

// Thermocouple EMF in mV against a 0 degC reference junction; nullopt for a
// type without a table or a temperature outside the table's range.
std::optional<double> emfMv(uint16_t inputType, double celsius);
// The inverse over the table's range.
std::optional<double> celsiusFromEmf(uint16_t inputType, double mv);

double pt100Ohms(double celsius);
// Held at -200 or 850 degC beyond the table.
double pt100Celsius(double ohms);
double cu50Ohms(double celsius);
// The line through the table, without its range limits.
double cu50Celsius(double ohms);

} // namespace tables
} // namespace sim
