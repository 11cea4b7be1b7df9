// The sensor behind the transmitter's input-type code (holding 0), and the
// signal a calibrator sources in its place.
#pragma once

#include "metrology/reference_functions.h"

#include <cstdint>
#include <optional>

namespace metrology {

struct Sensor {
    enum class Kind { Thermocouple, Pt100, Cu50 };
    Kind kind;
    Thermocouple type = Thermocouple::K;   // for Kind::Thermocouple
};

// K 0, S 1, R 2, B 3, N 4, E 5, J 6, T 7, PT100 32, Cu50 33; nullopt for the
// tungsten-rhenium types (8, 9), which have no reference function here, and
// for unknown codes.
std::optional<Sensor> sensorForInputType(uint16_t code);
bool isThermocouple(const Sensor &s);
// "mV" or "ohm".
const char *signalUnit(const Sensor &s);

// The signal a calibrator sources for `celsius` at the transmitter's terminals;
// for a thermocouple the terminals are the cold junction: E(t) - E(tcj).
// nullopt outside the range.
std::optional<double> signalFor(const Sensor &s, double celsius, double coldJunctionCelsius);
std::optional<double> celsiusFor(const Sensor &s, double signal, double coldJunctionCelsius);
// mV/K or ohm/K at `celsius`; nullopt outside the range.
std::optional<double> sensitivity(const Sensor &s, double celsius);

} // namespace metrology
