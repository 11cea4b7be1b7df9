#include "engineering_input.h"

#include "model.h"

namespace sim {
namespace engineering {

namespace {
constexpr double kPt100OhmPerDegree = 0.385;
constexpr double kCu50Alpha = 0.00428;
constexpr uint16_t kPt100 = 32;
}

double signalForCelsius(uint16_t inputType, double celsius, double ambient)
{
    if (inputType == kPt100)
        return 100.0 + kPt100OhmPerDegree * celsius;
    if (model::isRtd(inputType))
        return 50.0 * (1.0 + kCu50Alpha * celsius);
    return (celsius - ambient) * model::kTcMvPerDegree;
}

double withError(double signal, const InputError &error)
{
    return error.gain * signal + error.offset;
}

} // namespace engineering
} // namespace sim
