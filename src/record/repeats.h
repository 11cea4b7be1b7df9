#pragma once
// A manual point measured by independent repeats: the reference set again and
// the reading let settle each time. Its reading is their mean; its uncertainty
// the header's stated U (k = 2) combined with their repeatability (Type A,
// s/sqrt(n), n - 1 degrees of freedom), with the Student-t coverage factor.

#include "record/calibration_record.h"

#include <optional>
#include <vector>

namespace record {

struct RepeatedPoint {
    double reading = 0;
    std::optional<PointUncertainty> uncertainty;   // none without a stated U or with one repeat
};

// nullopt when `readings` is empty or holds a value that is not a finite number.
std::optional<RepeatedPoint> repeatedPoint(const std::vector<double> &readings, std::optional<double> statedExpanded);

} // namespace record
