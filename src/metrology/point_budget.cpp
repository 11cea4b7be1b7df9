#include "metrology/point_budget.h"

#include <cmath>

namespace metrology {

namespace {

constexpr double kLoopSpanMa = 16.0;

// The standard uncertainty of an accuracy limit at `value`.
double accuracyTerm(const Accuracy &a, double value)
{
    const double limit = accuracyLimit(a, value);
    return a.statedAtK2 ? limit / 2.0 : rectangular(limit);
}

bool usable(double x) { return std::isfinite(x) && x != 0.0; }

} // namespace

double accuracyLimit(const Accuracy &a, double value)
{
    return std::abs(value) * a.percentOfReading / 100.0 + a.floor;
}

std::optional<PointBudget> pointBudget(const PointInputs &in)
{
    const auto signal = signalFor(in.sensor, in.celsius, in.coldJunctionCelsius);
    const auto slope = sensitivity(in.sensor, in.celsius);
    const auto readings = typeA(in.readings);
    const auto currents = typeA(in.currentsMa);
    const double span = in.rangeUpper - in.rangeLower;
    if (!signal || !slope || !usable(*slope) || !readings || !currents || !usable(span))
        return std::nullopt;
    const double perSignal = 1.0 / std::abs(*slope);   // degC per mV or ohm

    PointBudget b;
    const double reference = accuracyTerm(in.reference, *signal) * perSignal;
    b.temperature = {
        {"reference", reference},
        {"reference resolution", resolutionTerm(in.reference.resolution) * perSignal},
        {"transmitter resolution", resolutionTerm(in.transmitterResolution)},
        {"repeatability", readings->standardUncertainty, readings->degreesOfFreedom},
    };
    if (isThermocouple(in.sensor)) {
        // The transmitter adds E(tcj) from its room sensor; an error there
        // moves the reading by S(tcj)/S(t) of it.
        const auto junctionSlope = sensitivity(in.sensor, in.coldJunctionCelsius);
        if (!junctionSlope || !std::isfinite(*junctionSlope))
            return std::nullopt;
        b.temperature.push_back(
            {"cold junction", rectangular(in.roomSensorLimit) * std::abs(*junctionSlope) * perSignal});
    }
    b.temperatureResult = combine(b.temperature);

    b.current = {
        {"reference", reference * kLoopSpanMa / std::abs(span)},
        {"meter", accuracyTerm(in.meter, currents->mean)},
        {"meter resolution", resolutionTerm(in.meter.resolution)},
        {"repeatability", currents->standardUncertainty, currents->degreesOfFreedom},
    };
    b.currentResult = combine(b.current);
    return b;
}

} // namespace metrology
