#include "sensor_tables.h"

#include "metrology/reference_functions.h"
#include "metrology/rtd_ranges.h"
#include "metrology/sensor.h"

namespace sim {
namespace tables {

namespace {

std::optional<metrology::Thermocouple> thermocouple(uint16_t inputType)
{
    const auto sensor = metrology::sensorForInputType(inputType);
    if (!sensor || !metrology::isThermocouple(*sensor))
        return std::nullopt;
    return sensor->type;
}

} // namespace

bool hasStandardCurve(uint16_t inputType)
{
    return metrology::sensorForInputType(inputType).has_value();
}

std::optional<double> emfMv(uint16_t inputType, double celsius)
{
    const auto type = thermocouple(inputType);
    return type ? metrology::emfMillivolts(*type, celsius) : std::nullopt;
}

std::optional<double> celsiusFromEmf(uint16_t inputType, double mv)
{
    const auto type = thermocouple(inputType);
    return type ? metrology::celsiusFromEmf(*type, mv) : std::nullopt;
}

double pt100Ohms(double celsius) { return metrology::pt100Ohms(celsius); }

double pt100Celsius(double ohms)
{
    if (const auto t = metrology::pt100Celsius(ohms))
        return *t;
    const metrology::TemperatureRange range = metrology::detail::kPt100Range;
    return ohms < metrology::pt100Ohms(range.lowest) ? range.lowest : range.highest;
}

double cu50Ohms(double celsius) { return metrology::cu50Ohms(celsius); }

double cu50Celsius(double ohms)
{
    if (const auto t = metrology::cu50Celsius(ohms))
        return *t;
    // Beyond the table the cubic goes on (it rises everywhere): Newton from the line.
    double t = (ohms / 50.0 - 1.0) / 4.28e-3;
    for (int i = 0; i < 50; ++i)
        t -= (metrology::cu50Ohms(t) - ohms) / metrology::cu50OhmsPerKelvin(t);
    return t;
}

} // namespace tables
} // namespace sim
