// Standard sensor curves: thermocouple EMF by the NIST ITS-90 reference
// polynomials (types K, S, R, B, N, E, J and T by their holding-0 codes; S and R
// up to 1064 degC, T from 0 degC),
// PT100 by Callendar-Van Dusen (IEC 60751) and Cu50 by its linear table.
// Pure functions, no I/O.
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
// The inverse, found by bisection over the table's range.
std::optional<double> celsiusFromEmf(uint16_t inputType, double mv);

double pt100Ohms(double celsius);
double pt100Celsius(double ohms);
double cu50Ohms(double celsius);
double cu50Celsius(double ohms);

} // namespace tables
} // namespace sim
