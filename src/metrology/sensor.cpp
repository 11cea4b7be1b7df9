#include "metrology/sensor.h"

#include "metrology/rtd_ranges.h"

namespace metrology {

namespace {

constexpr uint16_t kPt100Code = 32, kCu50Code = 33;

bool within(double celsius, TemperatureRange r)
{
    return celsius >= r.lowest && celsius <= r.highest;   // false for NaN
}

bool inRange(const Sensor &s, double celsius)
{
    switch (s.kind) {
    case Sensor::Kind::Thermocouple: return within(celsius, rangeOf(s.type));
    case Sensor::Kind::Pt100: return within(celsius, detail::kPt100Range);
    case Sensor::Kind::Cu50: return within(celsius, detail::kCu50Range);
    }
    return false;
}

} // namespace

std::optional<Sensor> sensorForInputType(uint16_t code)
{
    static constexpr Thermocouple byCode[] = {Thermocouple::K, Thermocouple::S, Thermocouple::R,
                                              Thermocouple::B, Thermocouple::N, Thermocouple::E,
                                              Thermocouple::J, Thermocouple::T};
    if (code < sizeof(byCode) / sizeof(byCode[0]))
        return Sensor{Sensor::Kind::Thermocouple, byCode[code]};
    if (code == kPt100Code)
        return Sensor{Sensor::Kind::Pt100};
    if (code == kCu50Code)
        return Sensor{Sensor::Kind::Cu50};
    return std::nullopt;
}

bool isThermocouple(const Sensor &s) { return s.kind == Sensor::Kind::Thermocouple; }

const char *signalUnit(const Sensor &s) { return isThermocouple(s) ? "mV" : "ohm"; }

std::optional<double> signalFor(const Sensor &s, double celsius, double coldJunctionCelsius)
{
    if (!inRange(s, celsius))
        return std::nullopt;
    switch (s.kind) {
    case Sensor::Kind::Thermocouple: {
        const auto hot = emfMillivolts(s.type, celsius), cold = emfMillivolts(s.type, coldJunctionCelsius);
        if (!hot || !cold)
            return std::nullopt;
        return *hot - *cold;
    }
    case Sensor::Kind::Pt100: return pt100Ohms(celsius);
    case Sensor::Kind::Cu50: return cu50Ohms(celsius);
    }
    return std::nullopt;
}

std::optional<double> celsiusFor(const Sensor &s, double signal, double coldJunctionCelsius)
{
    switch (s.kind) {
    case Sensor::Kind::Thermocouple: {
        const auto cold = emfMillivolts(s.type, coldJunctionCelsius);
        if (!cold)
            return std::nullopt;
        return celsiusFromEmf(s.type, signal + *cold);
    }
    case Sensor::Kind::Pt100: return pt100Celsius(signal);
    case Sensor::Kind::Cu50: return cu50Celsius(signal);
    }
    return std::nullopt;
}

std::optional<double> sensitivity(const Sensor &s, double celsius)
{
    if (!inRange(s, celsius))
        return std::nullopt;
    switch (s.kind) {
    case Sensor::Kind::Thermocouple: return seebeckMillivoltsPerKelvin(s.type, celsius);
    case Sensor::Kind::Pt100: return pt100OhmsPerKelvin(celsius);
    case Sensor::Kind::Cu50: return cu50OhmsPerKelvin(celsius);
    }
    return std::nullopt;
}

} // namespace metrology
