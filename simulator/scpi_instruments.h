// The simulated calibration laboratory's instruments: a reference calibrator
// that drives the simulated transmitter's input, and a digital meter that reads
// its loop current. Only the logic lives here: a command line in, a reply line
// (or nothing) out; scpi_server.h puts them on a pty or a TCP port.
//
// Both answer *IDN?, *RST and SYST:ERR? and keep an IEEE 488.2 error queue
// (oldest first, kErrorQueueLimit entries; a full queue turns its last entry
// into -350,"Queue overflow"). *RST leaves the queue as it is. Headers are
// matched without regard to case; an unknown one is -113, a parameter that is
// not a number -104, a missing one -109, one where none belongs -108.
//
// Calibrator (SOUR:VOLT V with |V| <= 0.1, SOUR:RES R with 0 <= R <= 400, else
// -222; OUTP ON|OFF; SOUR:VOLT?, SOUR:RES?, OUTP?): while its output is on, the
// function set last drives the transmitter with the calibrator's own error and
// a fresh noise sample on each set:
//   volts: setAppliedMillivolts(V * 1000 + 0.002 + noise(sigma 0.0005 mV))
//   ohms:  setAppliedOhms(R + 0.005 + noise(sigma 0.002 ohm))
// plus the drift in force (tick()). Switching the output from on to off leaves
// the input open: 0 mV after volts (a thermocouple input has no burnout in the
// model), kOpenOhms after ohms. A set while the output is off touches nothing.
//
// Meter (MEAS:CURR:DC?, CONF:CURR:DC): the loop current in amps, with its own
// error +0.0008 mA and noise sigma 0.0003 mA, printed with 8 decimals.
//
// Where the calibrator's output lands and what the meter's terminals carry is
// the laboratory's wiring: one transmitter straight on both (the constructors
// taking a Simulator), or many behind a switch (units.h).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>

namespace sim {

class Simulator;

enum class Instrument { Source, Meter, Switch, Environment };

// What the calibrator's terminals carry: nothing (output off), or millivolts
// or ohms, every error of the calibrator included.
struct SourceOutput {
    bool on = false;
    bool ohms = false;
    double value = 0.0; // mV or ohm
};

class Wiring {
public:
    virtual ~Wiring() = default;
    // The calibrator calls this on every change of its output, with its own
    // lock held: a wiring never calls back into an instrument.
    virtual void drive(const SourceOutput &output) = 0;
    // The current through the meter's terminals, mA.
    virtual double loopCurrentMa() const = 0;
};

class ScpiInstrument {
public:
    virtual ~ScpiInstrument() = default;
    ScpiInstrument(const ScpiInstrument &) = delete;
    ScpiInstrument &operator=(const ScpiInstrument &) = delete;

    // One command without its line end; the reply without its line end, or
    // nothing for a command that has none (and for every command while silent).
    std::optional<std::string> handle(const std::string &line);

    // Faults. A silent instrument neither answers nor acts on what it reads.
    void setSilent(bool on);
    bool silent() const;
    // `code` enters the error queue when the next command arrives; that command
    // is carried out as usual.
    void queueError(int code);
    void clearFaults(); // not silent, no queued error; the error queue stays

    // Fixed noise for tests; without it the noise is seeded at random.
    void setSeed(uint32_t seed);
    size_t errorCount() const;

    static std::string errorMessage(int code);
    static constexpr size_t kErrorQueueLimit = 10;

protected:
    ScpiInstrument();

    // Called with m_mutex held; header upper-cased, parameter as sent.
    virtual std::optional<std::string> execute(const std::string &header, const std::string &parameter,
                                               bool hasParameter) = 0;
    virtual void resetLocked() = 0;
    virtual std::string identity() const = 0;

    void pushErrorLocked(int code);
    double gaussianLocked(double sigma);

    mutable std::mutex m_mutex;

private:
    std::optional<std::string> common(const std::string &header, bool hasParameter, bool *handled);

    std::deque<std::pair<int, std::string>> m_errors;
    std::optional<int> m_pendingError;
    bool m_silent = false;
    std::mt19937 m_rng;
};

class ScpiCalibrator : public ScpiInstrument {
public:
    enum class Function { Volts, Ohms };
    // What the calibrator was told, and what it put on the transmitter last.
    struct State {
        bool outputOn = false;
        Function function = Function::Volts;
        double volts = 0.0;        // as set by SOUR:VOLT
        double ohms = 0.0;         // as set by SOUR:RES
        double applied = 0.0;      // mV or ohm given to the transmitter, all errors included
        double driftPerMinute = 0.0;
    };

    explicit ScpiCalibrator(Simulator &transmitter);   // wired straight to it
    explicit ScpiCalibrator(Wiring &wiring);
    ~ScpiCalibrator() override;

    // The output walks away at `perMinute` (mV or ohm of the active function per
    // minute) from now on, while the output is on; 0 stops it and takes it back.
    void setDrift(double perMinute);
    // Puts the drifted output on the transmitter; the server calls it often.
    void tick();
    State state() const;
    // Seconds on a steady clock; tests give their own.
    void setClock(std::function<double()> seconds);

    static constexpr double kMaxVolts = 0.1;
    static constexpr double kMaxOhms = 400.0;
    static constexpr double kErrorMv = 0.002;
    static constexpr double kErrorOhms = 0.005;
    static constexpr double kNoiseMv = 0.0005;
    static constexpr double kNoiseOhms = 0.002;
    static constexpr double kOpenOhms = 1.0e5;

private:
    std::optional<std::string> execute(const std::string &header, const std::string &parameter,
                                       bool hasParameter) override;
    void resetLocked() override;
    std::string identity() const override;
    std::optional<std::string> setValueLocked(Function f, const std::string &parameter, bool hasParameter);
    std::optional<std::string> setOutputLocked(const std::string &parameter, bool hasParameter);
    void applyLocked();
    double driftLocked() const;

    std::unique_ptr<Wiring> m_ownWiring;
    Wiring &m_wiring;
    State m_state;
    double m_noise = 0.0;       // the sample drawn at the last set
    double m_driftStart = 0.0;  // clock time the drift began
    std::function<double()> m_clock;
};

class ScpiMeter : public ScpiInstrument {
public:
    // Wired straight to its loop; `serial` tells one unit's own meter from another's.
    explicit ScpiMeter(const Simulator &transmitter, std::string serial = "SM-0001");
    explicit ScpiMeter(const Wiring &wiring);

    // The last reading sent, in amps.
    std::optional<double> lastReadingAmps() const;

    static constexpr double kErrorMa = 0.0008;
    static constexpr double kNoiseMa = 0.0003;

private:
    std::optional<std::string> execute(const std::string &header, const std::string &parameter,
                                       bool hasParameter) override;
    void resetLocked() override;
    std::string identity() const override;

    std::function<double()> m_loopMa;
    std::string m_serial = "SM-0001";
    std::optional<double> m_lastAmps;
};

// A thermometer/hygrometer in the room: the simulator's ambient, a little off.
class ScpiThermohygrometer : public ScpiInstrument {
public:
    explicit ScpiThermohygrometer(const Simulator &transmitter);

    static constexpr double kErrorCelsius = 0.05;
    static constexpr double kHumidity = 45.0;

private:
    std::optional<std::string> execute(const std::string &header, const std::string &parameter,
                                       bool hasParameter) override;
    void resetLocked() override {}
    std::string identity() const override { return "TCAL,SIM-THM-1,TH-0001,1.0"; }

    const Simulator &m_transmitter;
};

} // namespace sim
