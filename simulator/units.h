// A tray of simulated transmitters for a batch: N units, each a Simulator on
// a line of its own, each with its own input and output errors, wired to the
// laboratory's calibrator and meter (scpi_instruments.h) through a switch
// (scpi_switch.h) as a batch rig is:
//
//   unit k (1-based)     source channel 100 + k    meter channel 200 + k
//
// - A unit wired "parallel" (the default for thermocouple units, whose inputs
//   are isolated from their loops) has the calibrator's millivolt output on its
//   input whenever the calibrator sources volts, routed or not.
// - A unit wired "routed" (RTD units, and thermocouple units whose inputs are
//   not isolated) sees the calibrator only while its source channel is closed.
//   A resistance reaches every closed input at once, and each then reads it
//   multiplied by the number of inputs sharing it: a real resistance cannot be
//   shared, and the simulation makes the mistake visible.
// - Otherwise an input is open: 0 mV and an open RTD (kOpenOhms).
// - The meter reads the sum of the loops whose meter channels are closed: an
//   open route reads 0 mA, a wrong one the wrong loop.
//
// An input is touched only when what it sees changes, so a console "set mv"
// stands until the calibrator or the routes change.
#pragma once

#include "scpi_instruments.h"
#include "simulator.h"

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace sim {

enum class UnitInput { Thermocouple, Rtd };
enum class UnitWiring { Parallel, Routed };

// A unit's own errors, the same for the same index on every run.
struct UnitErrors {
    double gain = 1.0;
    double offset = 0.0; // mV for a thermocouple unit, ohm for an RTD unit
    model::OutputError output;
};
UnitErrors unitErrors(int index, UnitInput input);

class Units : public Wiring {
public:
    static constexpr int kMaxUnits = 32;
    static constexpr int kSourceBase = 100;
    static constexpr int kMeterBase = 200;

    // `count` units (1..kMaxUnits), type K 0..1000 degC or PT100 0..400 degC,
    // each with unitErrors(k); thermocouple units parallel, RTD units routed.
    Units(int count, UnitInput input);
    ~Units() override; // stops the units

    int count() const;
    UnitInput input() const;
    Simulator &unit(int k); // 1..count()

    // Unit k serves on `portPrefix + "." + k` with `base` otherwise. False,
    // with the reason, when one cannot start; the started ones are stopped.
    bool start(const Config &base, const std::string &portPrefix, std::string *why);
    void stop();
    static std::string portOf(const std::string &portPrefix, int k);

    void setWiring(int k, UnitWiring wiring);
    UnitWiring wiring(int k) const;
    void setErrors(int k, const UnitErrors &errors);
    UnitErrors errors(int k) const;

    // Every channel the switch card has.
    std::set<int> channels() const;
    // The switch reports its closed relays here.
    void setRoutes(const std::set<int> &closed);

    void drive(const SourceOutput &output) override;
    double loopCurrentMa() const override;

    std::string describe() const;

private:
    struct Seen {
        double mv = 0.0;
        double ohm = ScpiCalibrator::kOpenOhms;
        bool operator!=(const Seen &o) const { return mv != o.mv || ohm != o.ohm; }
    };
    void rewireLocked();

    const UnitInput m_input;
    std::vector<std::unique_ptr<Simulator>> m_units;
    std::vector<UnitWiring> m_wiring;
    std::vector<UnitErrors> m_errors;
    std::vector<Seen> m_seen;
    mutable std::mutex m_mutex;
    SourceOutput m_output;
    std::set<int> m_closed;
};

} // namespace sim
