#include "metrology/point_budget.h"

#include <algorithm>
#include <cmath>

namespace metrology {

namespace {

constexpr double kLoopSpanMa = 16.0;

bool usable(double x) { return std::isfinite(x) && x != 0.0; }

// A term in the signal's unit, turned into degC by 1/S(t).
Contribution signalTerm(const char *name, double u, const char *distribution, double perSignal, const char *unit)
{
    Contribution c{name, u * perSignal};
    c.distribution = distribution;
    c.sensitivity = perSignal;
    c.inputUnit = unit;
    return c;
}

Contribution accuracyTerm(const char *name, const Accuracy &a, double value, double perSignal, const char *unit)
{
    const double limit = accuracyLimit(a, value);
    return a.statedAtK2 ? signalTerm(name, limit / 2.0, "normal", perSignal, unit)
                        : signalTerm(name, rectangular(limit), "rectangular", perSignal, unit);
}

Contribution typeATerm(const TypeA &a, const char *unit)
{
    Contribution c{"repeatability", a.standardUncertainty, a.degreesOfFreedom};
    c.distribution = "Type A";
    c.inputUnit = unit;
    return c;
}

void certificateTerms(const char *who, const StandardCalibration &s, double perSignal, const char *unit,
                      std::vector<Contribution> &out)
{
    const std::string name(who);
    if (s.expanded > 0 && s.coverageFactor > 0)
        out.push_back(signalTerm((name + " certificate").c_str(), s.expanded / s.coverageFactor, "normal", perSignal, unit));
    if (s.driftPerYear != 0 && s.yearsSinceCalibration > 0)
        out.push_back(signalTerm((name + " drift").c_str(), rectangular(s.driftPerYear * s.yearsSinceCalibration),
                                 "rectangular", perSignal, unit));
    if (s.correction != 0) {
        Contribution c = signalTerm((name + " correction (not applied)").c_str(), 0.0, "added to U", perSignal, unit);
        c.bias = std::abs(s.correction) * perSignal;
        out.push_back(c);
    }
}

// A line that says the model states no such term.
Contribution notStated(const char *name)
{
    Contribution c{name, 0.0};
    c.distribution = "not stated by the model";
    c.sensitivity = 0;
    return c;
}

// The source away from its reference temperature: per degree outside the band.
Contribution coefficientTerm(const PointInputs &in, double signal, double perSignal, const char *unit)
{
    const ModelTerms &m = in.referenceTerms;
    if (!m.coefficientPercentPerDegree)
        return notStated("reference temperature coefficient");
    const double t = in.ambientCelsius.value_or(m.referenceLow);
    const double outside = std::max({0.0, m.referenceLow - t, t - m.referenceHigh});
    const double limit = outside * (std::abs(signal) * *m.coefficientPercentPerDegree / 100.0 + m.coefficientFloorPerDegree);
    return signalTerm("reference temperature coefficient", rectangular(limit), "rectangular", perSignal, unit);
}

// The reference's side: everything that makes the sourced temperature uncertain.
bool referenceTerms(const PointInputs &in, double signal, double perSignal, std::vector<Contribution> &out)
{
    const char *unit = signalUnit(in.sensor);
    if (referenceModel(in) == ReferenceModel::Certificate) {
        std::vector<Contribution> certificate;
        certificateTerms("reference", in.standard, perSignal, unit, certificate);
        out.push_back(certificate.front());
        out.push_back(signalTerm("reference resolution", resolutionTerm(in.reference.resolution), "rectangular", perSignal, unit));
        out.insert(out.end(), certificate.begin() + 1, certificate.end());
    } else {
        out.push_back(accuracyTerm("reference", in.reference, signal, perSignal, unit));
        out.push_back(signalTerm("reference resolution", resolutionTerm(in.reference.resolution), "rectangular", perSignal, unit));
    }
    out.push_back(coefficientTerm(in, signal, perSignal, unit));
    if (isThermocouple(in.sensor)) {
        // The signal is set for the cold junction the transmitter reads; an
        // error there moves the sourced temperature by S(tcj)/S(t) of it.
        const auto junctionSlope = sensitivity(in.sensor, in.coldJunctionCelsius);
        if (!junctionSlope || !std::isfinite(*junctionSlope))
            return false;
        const double c = std::abs(*junctionSlope) * perSignal;
        auto junction = [&](const char *name, double u) {
            Contribution t{name, u * c};
            t.distribution = "rectangular";
            t.sensitivity = c;
            t.inputUnit = "°C";
            out.push_back(t);
        };
        if (in.independentColdJunction)
            junction("cold junction", rectangular(in.roomSensorLimit));
        if (in.coldJunctionDeadBand > 0)
            junction("cold-junction dead-band", rectangular(in.coldJunctionDeadBand));
        if (in.roomResolution > 0)
            junction("room reading resolution", resolutionTerm(in.roomResolution));
        if (in.thermalEmfMicrovolts > 0)
            out.push_back(signalTerm("thermal EMF", rectangular(in.thermalEmfMicrovolts / 1000.0), "rectangular",
                                     perSignal, "mV"));
    } else {
        if (in.leadResistanceOhms > 0)
            out.push_back(signalTerm("lead resistance", rectangular(in.leadResistanceOhms), "rectangular", perSignal, "ohm"));
        out.push_back(in.referenceTerms.excitationEffect
                          ? signalTerm("excitation current (self-heating)", rectangular(*in.referenceTerms.excitationEffect),
                                       "rectangular", perSignal, "ohm")
                          : notStated("excitation current (self-heating)"));
    }
    return true;
}

} // namespace

ReferenceModel referenceModel(const PointInputs &in)
{
    return in.standard.expanded > 0 && in.standard.coverageFactor > 0 ? ReferenceModel::Certificate
                                                                       : ReferenceModel::Accuracy;
}

double accuracyLimit(const Accuracy &a, double value)
{
    return std::abs(value) * a.percentOfReading / 100.0 + a.floor;
}

std::vector<Contribution> meterCurrentTerms(double temperatureU, double span, const Accuracy &meter,
                                            const StandardCalibration &certificate, double currentMa)
{
    std::vector<Contribution> out;
    if (!usable(span) || !(accuracyLimit(meter, currentMa) > 0 || certificate.expanded > 0))
        return out;
    const double perDegree = kLoopSpanMa / std::abs(span);
    Contribution reading{"reading over the span", temperatureU * perDegree};
    reading.sensitivity = perDegree;
    reading.inputUnit = "°C";
    out.push_back(reading);
    out.push_back(accuracyTerm("meter", meter, currentMa, 1.0, "mA"));
    if (meter.resolution > 0)
        out.push_back(signalTerm("meter resolution", resolutionTerm(meter.resolution), "rectangular", 1.0, "mA"));
    certificateTerms("meter", certificate, 1.0, "mA", out);
    return out;
}

double defaultThermalEmfMicrovolts(Thermocouple type)
{
    // Copper to copper at the T terminals; the other alloys meet copper there.
    return type == Thermocouple::T ? 1.0 : 2.0;
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

    std::vector<Contribution> reference;
    if (!referenceTerms(in, *signal, perSignal, reference))
        return std::nullopt;
    PointBudget b;
    b.model = referenceModel(in);
    Contribution transmitter{"transmitter resolution", resolutionTerm(in.transmitterResolution)};
    transmitter.distribution = "rectangular";
    transmitter.inputUnit = "°C";
    b.temperature = {reference[0], reference[1], transmitter, typeATerm(*readings, "°C")};
    b.temperature.insert(b.temperature.end(), reference.begin() + 2, reference.end());
    b.temperatureResult = combine(b.temperature);

    // The output follows the same sourced temperature: 16 mA per span of it.
    const double perDegree = kLoopSpanMa / std::abs(span);
    for (Contribution c : reference) {
        c.standardUncertainty *= perDegree;
        c.sensitivity *= perDegree;
        c.bias *= perDegree;
        b.current.push_back(c);
    }
    b.current.push_back(accuracyTerm("meter", in.meter, currents->mean, 1.0, "mA"));
    b.current.push_back(signalTerm("meter resolution", resolutionTerm(in.meter.resolution), "rectangular", 1.0, "mA"));
    certificateTerms("meter", in.meterStandard, 1.0, "mA", b.current);
    b.current.push_back(typeATerm(*currents, "mA"));
    b.currentResult = combine(b.current);
    return b;
}

} // namespace metrology
