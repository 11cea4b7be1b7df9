#include "engineering_input.h"

#include "sensor_tables.h"

namespace sim {
namespace engineering {

namespace {
constexpr double kPt100OhmPerDegree = 0.385;
constexpr double kCu50Alpha = 0.00428;
constexpr uint16_t kPt100 = 32;
}

double signalForCelsius(uint16_t inputType, double celsius, double ambient, model::Curves curves)
{
    if (curves == model::Curves::Standard && tables::hasStandardCurve(inputType)) {
        if (inputType == kPt100)
            return tables::pt100Ohms(celsius);
        if (model::isRtd(inputType))
            return tables::cu50Ohms(celsius);
        const auto hot = tables::emfMv(inputType, celsius), cold = tables::emfMv(inputType, ambient);
        if (hot && cold)
            return *hot - *cold;
    }
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
