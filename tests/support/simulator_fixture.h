// A simulated transmitter on its own virtual line, for tests that talk to it
// through the tool end of the line.
#pragma once

#include "simulator.h"
#include "virtual_line.h"

#include <QString>

class SimulatorFixture {
public:
    // Starts line and simulator; the port of `config` is filled in, and when it
    // names no store file one in the line's scratch directory is used, so a
    // restart behaves as a power cycle. Check ok().
    explicit SimulatorFixture(const sim::Config &config = sim::Config());
    ~SimulatorFixture(); // simulator first, then the line

    SimulatorFixture(const SimulatorFixture &) = delete;
    SimulatorFixture &operator=(const SimulatorFixture &) = delete;

    bool ok() const;
    QString errorString() const;

    QString toolPort() const;
    sim::Simulator &sim();
    VirtualLine &line();
    sim::Config config() const; // as the simulator was started

    // Power cycle: the simulator comes back with its stored image. With
    // useStoredBaud it talks at the rate kept in holding 13, as the device would.
    bool restartSimulator(bool useStoredBaud = false);
    // A lost line comes back: new socat on the same paths, simulator restarted.
    bool restoreLine();

private:
    bool startSimulator();

    VirtualLine m_line;
    sim::Simulator m_sim;
    sim::Config m_config;
    QString m_error;
};
