// The temperature ranges of the resistance tables, shared by the tables and
// the sensor layer so both refuse the same points.
#pragma once

#include "metrology/reference_functions.h"

namespace metrology {
namespace detail {

constexpr TemperatureRange kPt100Range{-200.0, 850.0};   // IEC 60751
constexpr TemperatureRange kCu50Range{-50.0, 150.0};     // the Cu50 table

} // namespace detail
} // namespace metrology
