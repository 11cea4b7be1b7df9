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

struct PointInputs {
    Sensor sensor;
    double celsius = 0;
    double coldJunctionCelsius = 0;
    Accuracy reference;                    // the source's accuracy for the sourced signal
    double transmitterResolution = 0.1;    // degC
    std::vector<double> readings;          // the settled transmitter readings, degC
    double roomSensorLimit = 0;            // +- degC (rectangular) of the cold-junction sensor; thermocouples only
    double rangeLower = 0, rangeUpper = 100;   // the transmitter's range: 4..20 mA over it
    Accuracy meter;                        // the meter's accuracy, mA
    std::vector<double> currentsMa;        // the settled loop currents
};

struct PointBudget {
    std::vector<Contribution> temperature;   // degC
    Combined temperatureResult;
    std::vector<Contribution> current;       // mA
    Combined currentResult;
};

// nullopt when the sensor or point gives no sensitivity, the range has no
// span, or either series has fewer than 2 samples.
std::optional<PointBudget> pointBudget(const PointInputs &in);

} // namespace metrology
