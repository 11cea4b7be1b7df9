// The simulated calibration laboratory (scpi_instruments.h) put where a tool
// can reach it: each instrument on a thread of its own, on a pty or a TCP port.
// Commands end with "\n" ("\r\n" is taken too), replies with "\n".
//
//   sim::ScpiLab lab(simulator);
//   if (!lab.serve("tcp:127.0.0.1:5025", &why)) ...   // calibrator 5025, meter 5026, thermohygrometer 5027
//   if (!lab.serve("/tmp/lab", &why)) ...              // ptys at /tmp/lab.source, .meter, .environment
//
// A lab for a batch (units.h) has a switch as well, on PORT+2 or P.switch (its
// thermohygrometer then on PORT+3):
//   sim::Units units(8, sim::UnitInput::Thermocouple);
//   sim::ScpiLab lab(units);
// With `ownMeters` each unit's loop has a meter of its own as well, reading
// that loop only, on PORT+4+K-1 or P.meter.K (unit K, 1-based).
//
// TCP listens on the loopback address only, one client at a time: a new client
// replaces the one before. Port 0 puts each instrument on a free port of its
// own (see port()). A pty is in raw mode without echo; its link is replaced if
// it is a stale link, refused if it is anything else, and removed on stop().
// The lab keeps the drift going while it serves (every 100 ms). It holds a
// reference to the simulator: end the lab first.
#pragma once

#include "scpi_instruments.h"
#include "scpi_switch.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

class ScpiEndpoint;
class Units;

class ScpiLab {
public:
    explicit ScpiLab(Simulator &transmitter);
    // The calibrator and meter wired to the units, and the switch between them.
    explicit ScpiLab(Units &units, bool ownMeters = false);
    ~ScpiLab(); // stops serving
    ScpiLab(const ScpiLab &) = delete;
    ScpiLab &operator=(const ScpiLab &) = delete;

    // `address` is "tcp:127.0.0.1:PORT" (or "tcp:localhost:PORT") or a path. False,
    // with the reason in *why, when it does not parse or cannot be opened, or
    // when the lab serves already; nothing is left open then.
    bool serve(const std::string &address, std::string *why = nullptr);
    void stop();
    bool serving() const;
    // "127.0.0.1:PORT" or the link's path; empty when not serving.
    std::string address(Instrument which) const;
    int port(Instrument which) const; // 0 on a pty or when not serving

    // The instruments themselves, to drive in-process with handle().
    ScpiCalibrator &source();
    ScpiMeter &meter();
    ScpiInstrument &instrument(Instrument which); // Switch: only when hasSwitch()
    bool hasSwitch() const;
    ScpiSwitch *routeSwitch(); // nullptr without one
    // Unit k's own meter (1-based); nullptr when the units have none.
    ScpiMeter *unitMeter(int k);
    int unitMeterCount() const;
    std::string unitMeterAddress(int k) const; // empty when not serving
    int unitMeterPort(int k) const;

    // Faults (see scpi_instruments.h).
    void setSilent(Instrument which, bool on);
    void setDrift(double mvPerMinute);
    void queueError(Instrument which, int code);
    void clearFaults(); // no silence, no drift, no queued error
    // Reproducible noise: the calibrator takes `seed`, the meter `seed + 1`.
    void setSeed(uint32_t seed);

    // Read-outs.
    ScpiCalibrator::State sourceState() const;
    std::optional<double> lastMeterReadingAmps() const;
    std::string describe() const; // for the console

private:
    std::vector<Instrument> servedInstruments() const;

    ScpiCalibrator m_source;
    ScpiMeter m_meter;
    std::unique_ptr<ScpiSwitch> m_switch;
    ScpiThermohygrometer m_environment;
    std::unique_ptr<ScpiEndpoint> m_endpoints[4]; // by Instrument
    std::vector<std::unique_ptr<ScpiMeter>> m_unitMeters;
    std::vector<std::unique_ptr<ScpiEndpoint>> m_unitEndpoints;
};

} // namespace sim
