// The uncertainty budget of one calibration point: the reading in degC
// against the temperature the calibrator sourced, and the loop current in mA.
#pragma once

#include "metrology/sensor.h"
#include "metrology/uncertainty.h"

#include <optional>
#include <vector>

namespace metrology {

// An instrument's accuracy, +-(% of reading + floor) in signal units; the
// limits are rectangular unless they are stated at k = 2.
struct Accuracy {
    double percentOfReading = 0;
    double floor = 0;
    double resolution = 0;
    bool statedAtK2 = false;
};
// |value| * pct/100 + floor.
double accuracyLimit(const Accuracy &a, double value);

// What the source's own calibration certificate states, in signal units.
struct StandardCalibration {
    double expanded = 0;            // U of the certificate
    double coverageFactor = 2;      // its k
    double correction = 0;          // known, not applied: added to U in full
    double driftPerYear = 0;        // since its calibration, rectangular
    double yearsSinceCalibration = 0;
};

// What a source's model file states beyond its accuracy; unset: not stated.
struct ModelTerms {
    // +- the error of a simulated resistance at the transmitter's excitation
    // current (self-heating of the element it stands for), ohm, rectangular.
    std::optional<double> excitationEffect;
    // Per degC outside referenceLow..referenceHigh: +-(% of reading + floor), rectangular.
    std::optional<double> coefficientPercentPerDegree;
    double coefficientFloorPerDegree = 0;
    double referenceLow = 18, referenceHigh = 28;
};

// The reference's model: its certificate with its drift (and an unapplied
// correction in full) when the certificate's U is known, else its
// model file's one-year accuracy alone, which covers those; never both.
enum class ReferenceModel { Accuracy, Certificate };

struct PointInputs {
    Sensor sensor;
    double celsius = 0;
    double coldJunctionCelsius = 0;
    Accuracy reference;                    // the source's accuracy for the sourced signal
    StandardCalibration standard;          // the source's certificate
    double transmitterResolution = 0.1;    // degC
    std::vector<double> readings;          // Type A: independent repeats (or the settled samples), degC
    ModelTerms referenceTerms;             // the source's model file's further terms
    std::optional<double> ambientCelsius;  // where the source stood; nullopt: at its reference temperature
    // +- degC (rectangular) of the thermometer the signal's cold junction is
    // computed from. Counted only when it is independent of the transmitter:
    // with the transmitter's own room reading its error cancels.
    double roomSensorLimit = 0;
    bool independentColdJunction = false;
    double coldJunctionDeadBand = 0;       // +- degC the room may move before the signal is set again
    double roomResolution = 0;             // of the room reading, degC
    double thermalEmfMicrovolts = 0;       // +- at the terminals (rectangular); thermocouples only
    double leadResistanceOhms = 0;         // +- uncompensated lead resistance (rectangular); RTDs only
    double rangeLower = 0, rangeUpper = 100;   // the transmitter's range: 4..20 mA over it
    Accuracy meter;                        // the meter's accuracy, mA
    StandardCalibration meterStandard;     // the meter's certificate, mA
    std::vector<double> currentsMa;        // Type A of the loop current
};

ReferenceModel referenceModel(const PointInputs &in);

struct PointBudget {
    ReferenceModel model = ReferenceModel::Accuracy;
    std::vector<Contribution> temperature;   // degC
    Combined temperatureResult;
    // The reference's terms through the output's slope (16 mA over the span),
    // then the meter's own and the current's repeatability.
    std::vector<Contribution> current;       // mA
    Combined currentResult;
};

// A loop current read by a meter of its own while the reading's standard
// uncertainty `temperatureU` (degC) stood at the point: that over the span
// (16 mA per span), the meter's accuracy and resolution, its certificate.
// Empty when the span is none or nothing of the meter is stated.
std::vector<Contribution> meterCurrentTerms(double temperatureU, double span, const Accuracy &meter,
                                            const StandardCalibration &certificate, double currentMa);

// The thermal EMF assumed at a thermocouple's terminals when none is given, µV.
double defaultThermalEmfMicrovolts(Thermocouple type);

// nullopt when the sensor or point gives no sensitivity, the range has no
// span, or either series has fewer than 2 samples.
std::optional<PointBudget> pointBudget(const PointInputs &in);

} // namespace metrology
