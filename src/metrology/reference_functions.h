// Standard sensor curves: thermocouple EMF by the NIST ITS-90 reference
// functions (NIST Monograph 175, IEC 60584-1), PT100 by Callendar-Van Dusen
// (IEC 60751) and Cu50 by its cubic table. Pure functions, no I/O.
#pragma once

#include <optional>

namespace metrology {

enum class Thermocouple { K, S, R, B, N, E, J, T };

struct TemperatureRange {
    double lowest;
    double highest;
};

// The temperature range, degC, the reference function covers.
TemperatureRange rangeOf(Thermocouple type);

// EMF in mV against a 0 degC reference junction; nullopt outside the range.
std::optional<double> emfMillivolts(Thermocouple type, double celsius);
// The inverse, solved on the reference function itself (not NIST's
// approximate inverse polynomials), so the two agree to far below 0.0005 degC.
// Type B is not one-to-one below about 21 degC: there the upper branch is given.
std::optional<double> celsiusFromEmf(Thermocouple type, double millivolts);
// dE/dt in mV/K, the analytic derivative of the reference function.
std::optional<double> seebeckMillivoltsPerKelvin(Thermocouple type, double celsius);

// IEC 60751: R0 = 100 ohm, A and B, and C below 0 degC.
double pt100Ohms(double celsius);
// nullopt outside -200..850 degC.
std::optional<double> pt100Celsius(double ohms);
double pt100OhmsPerKelvin(double celsius);

// Cu50: 50 (1 + A t + B t^2 + C t^3), A = 4.28899e-3, B = -2.133e-7, C = 1.233e-9.
double cu50Ohms(double celsius);
// nullopt outside the Cu50 table's -50..150 degC.
std::optional<double> cu50Celsius(double ohms);
double cu50OhmsPerKelvin(double celsius);

} // namespace metrology
