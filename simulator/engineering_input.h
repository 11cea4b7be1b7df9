// The applied input in engineering units, and an error on the transmitter's
// input stage: pure functions, no I/O.
//
// A calibrator set to a temperature sources the signal the sensor would give.
// The simulated transmitter converts signals with the straight lines of model.h,
// so the signal for a temperature is taken from those same lines: an error-free
// transmitter then shows exactly what is applied, and whatever it shows beyond
// that is the injected error (or a wrong calibration), never curve mismatch.
//   thermocouple: mV  = (degC - ambient) * 0.040   (cold junction at ambient)
//   PT100:        ohm = 100 + 0.385 * degC
//   Cu50:         ohm = 50 * (1 + 0.00428 * degC)  (the standard Cu50 line)
// With the standard curves switched on, from the tables of sensor_tables.h:
//   thermocouple: mV  = E(degC) - E(ambient), PT100 by Callendar-Van Dusen.
//
// The input-stage error acts on the signal before the converter, so the
// transmitter's own two-point calibration (0/50 mV, 100/200 ohm) removes it:
//   seen = gain * signal + offset                  (offset in mV or ohm)
#pragma once

#include "model.h"

#include <cstdint>

namespace sim {
namespace engineering {

struct InputError {
    double gain = 1.0;
    double offset = 0.0;
};

// The signal (mV for thermocouple types, ohm for RTD types) for `celsius`.
double signalForCelsius(uint16_t inputType, double celsius, double ambient,
                        model::Curves curves = model::Curves::Linear);

double withError(double signal, const InputError &error);

} // namespace engineering
} // namespace sim
