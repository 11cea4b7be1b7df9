// The time a run's Modbus frames take on the wire, from the simulator's log of
// requests: the floor no run at that baud rate can go under.
#pragma once

#include "link/bus_timing.h"
#include "simulator.h"

#include <utility>
#include <vector>

namespace benchwire {

// Bytes of a request and its reply, by function and register count.
inline std::pair<int, int> frameBytes(const sim::Request &r)
{
    switch (r.function) {
    case 3:
    case 4: return {8, 5 + 2 * r.count};
    case 6: return {8, 8};
    case 16: return {9 + 2 * r.count, 8};
    default: return {8, 5};
    }
}

// Both frames and the 3.5-character gaps around them, plus the answer's latency.
inline double wireMs(const std::vector<sim::Request> &requests, int baud, int latencyMs)
{
    bus::SerialFormat format;
    format.baud = baud;
    double ms = 0.0;
    for (const sim::Request &r : requests) {
        const auto [request, reply] = frameBytes(r);
        ms += bus::charactersMs(1, format) * (request + reply + 7.0) + latencyMs;
    }
    return ms;
}

} // namespace benchwire
