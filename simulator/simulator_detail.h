// Helpers the simulator's own files share; not part of its interface.
#pragma once

#include "model.h"

#include <chrono>

namespace sim::detail {

inline double nowSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A restart, a power cycle and the stored image leave every mode and command.
inline void clearCommandWords(HoldingImage &h)
{
    h[50] = 0;
    h[51] = 0;
    h[62] = 0;
}

} // namespace sim::detail
