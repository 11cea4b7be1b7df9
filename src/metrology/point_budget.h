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
    double correction = 0;          // not applied: counted as a bias of that half-width
    double driftPerYear = 0;        // since its calibration, rectangular
    double yearsSinceCalibration = 0;
};

struct PointInputs {
    Sensor sensor;
    double celsius = 0;
    double coldJunctionCelsius = 0;
    Accuracy reference;                    // the source's accuracy for the sourced signal
    StandardCalibration standard;          // the source's certificate
    double transmitterResolution = 0.1;    // degC
    std::vector<double> readings;          // Type A: independent repeats (or the settled samples), degC
    double roomSensorLimit = 0;            // +- degC (rectangular) of the cold-junction sensor; thermocouples only
    double coldJunctionDeadBand = 0;       // +- degC the room may move before the signal is set again
    double roomResolution = 0;             // of the room reading, degC
    double thermalEmfMicrovolts = 0;       // +- at the terminals (rectangular); thermocouples only
    double leadResistanceOhms = 0;         // +- uncompensated lead resistance (rectangular); RTDs only
    double rangeLower = 0, rangeUpper = 100;   // the transmitter's range: 4..20 mA over it
    Accuracy meter;                        // the meter's accuracy, mA
    StandardCalibration meterStandard;     // the meter's certificate, mA
    std::vector<double> currentsMa;        // Type A of the loop current
};

struct PointBudget {
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
