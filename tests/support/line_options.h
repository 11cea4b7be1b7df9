// A simulator at the pace of a real line and the link options that reach it,
// for the tests of what runs without a window.
#pragma once

#include "link/link.h"
#include "simulator_fixture.h"

namespace line {

inline sim::Config onLine(int baud)
{
    sim::Config c;
    c.baud = baud;
    c.lineSpeed = true;
    return c;
}

inline rtu::SerialOptions optionsFor(SimulatorFixture &f)
{
    rtu::SerialOptions o;
    o.port = f.toolPort();
    o.baud = f.config().baud;
    o.address = f.config().address;
    return o;
}

} // namespace line
