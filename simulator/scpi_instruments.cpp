#include "scpi_instruments.h"

#include "simulator.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

std::string trimmed(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string upper(std::string s)
{
    for (auto &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool toNumber(const std::string &s, double &out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(out);
}

std::string number(const char *format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

double steadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

// --- common part: identity, reset, error queue, faults ---

ScpiInstrument::ScpiInstrument() : m_rng(std::random_device{}()) {}

std::string ScpiInstrument::errorMessage(int code)
{
    switch (code) {
    case 0: return "No error";
    case -100: return "Command error";
    case -104: return "Data type error";
    case -108: return "Parameter not allowed";
    case -109: return "Missing parameter";
    case -113: return "Undefined header";
    case -200: return "Execution error";
    case -222: return "Data out of range";
    case -224: return "Illegal parameter value";
    case -300: return "Device-specific error";
    case -310: return "System error";
    case -350: return "Queue overflow";
    case -410: return "Query INTERRUPTED";
    default: return code < 0 ? "Error" : "Device-specific error";
    }
}

std::optional<std::string> ScpiInstrument::handle(const std::string &line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_silent)
        return std::nullopt;
    if (m_pendingError) {
        pushErrorLocked(*m_pendingError);
        m_pendingError.reset();
    }
    const std::string text = trimmed(line);
    if (text.empty())
        return std::nullopt;
    const auto gap = text.find_first_of(" \t");
    const std::string header = upper(text.substr(0, gap));
    const std::string parameter = gap == std::string::npos ? std::string() : trimmed(text.substr(gap));
    const bool hasParameter = !parameter.empty();
    bool handled = false;
    auto reply = common(header, hasParameter, &handled);
    return handled ? reply : execute(header, parameter, hasParameter);
}

std::optional<std::string> ScpiInstrument::common(const std::string &header, bool hasParameter, bool *handled)
{
    *handled = header == "*IDN?" || header == "*RST" || header == "SYST:ERR?";
    if (!*handled)
        return std::nullopt;
    if (hasParameter) {
        pushErrorLocked(-108);
        return std::nullopt;
    }
    if (header == "*IDN?")
        return identity();
    if (header == "*RST") {
        resetLocked();
        return std::nullopt;
    }
    if (m_errors.empty())
        return std::string("0,\"No error\"");
    const auto e = m_errors.front();
    m_errors.pop_front();
    return std::to_string(e.first) + ",\"" + e.second + "\"";
}

void ScpiInstrument::pushErrorLocked(int code)
{
    if (m_errors.size() >= kErrorQueueLimit) {
        m_errors.back() = {-350, errorMessage(-350)};
        return;
    }
    m_errors.emplace_back(code, errorMessage(code));
}

double ScpiInstrument::gaussianLocked(double sigma)
{
    return std::normal_distribution<double>(0.0, sigma)(m_rng);
}

void ScpiInstrument::setSilent(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = on;
}

bool ScpiInstrument::silent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_silent;
}

void ScpiInstrument::queueError(int code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pendingError = code;
}

void ScpiInstrument::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = false;
    m_pendingError.reset();
}

void ScpiInstrument::setSeed(uint32_t seed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rng.seed(seed);
}

size_t ScpiInstrument::errorCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors.size();
}

// --- calibrator ---

namespace {

// One transmitter on the calibrator's terminals. Only a change of the output
// touches it: while the output stays off, the input keeps what it was given
// (by the console, say); on -> off leaves the input open.
class DirectWiring : public Wiring {
public:
    explicit DirectWiring(Simulator &transmitter) : m_transmitter(transmitter) {}
    void drive(const SourceOutput &output) override
    {
        if (output.on && output.ohms)
            m_transmitter.setAppliedOhms(output.value);
        else if (output.on)
            m_transmitter.setAppliedMillivolts(output.value);
        else if (m_last.on && m_last.ohms)
            m_transmitter.setAppliedOhms(ScpiCalibrator::kOpenOhms);
        else if (m_last.on)
            m_transmitter.setAppliedMillivolts(0.0);
        m_last = output;
    }
    double loopCurrentMa() const override { return m_transmitter.loopCurrentMa(); }

private:
    Simulator &m_transmitter;
    SourceOutput m_last;
};

} // namespace

ScpiCalibrator::ScpiCalibrator(Simulator &transmitter)
    : m_ownWiring(std::make_unique<DirectWiring>(transmitter)), m_wiring(*m_ownWiring), m_clock(steadySeconds)
{
}

ScpiCalibrator::ScpiCalibrator(Wiring &wiring) : m_wiring(wiring), m_clock(steadySeconds) {}

ScpiCalibrator::~ScpiCalibrator() = default;

std::string ScpiCalibrator::identity() const
{
    return "TCAL,SIM-CAL-1,SC-0001,1.0";
}

std::optional<std::string> ScpiCalibrator::execute(const std::string &header, const std::string &parameter,
                                                   bool hasParameter)
{
    const bool query = !header.empty() && header.back() == '?';
    if (query && hasParameter && (header == "SOUR:VOLT?" || header == "SOUR:RES?" || header == "OUTP?")) {
        pushErrorLocked(-108);
        return std::nullopt;
    }
    if (header == "SOUR:VOLT?")
        return number("%.9g", m_state.volts);
    if (header == "SOUR:RES?")
        return number("%.9g", m_state.ohms);
    if (header == "OUTP?")
        return std::string(m_state.outputOn ? "1" : "0");
    if (header == "SOUR:VOLT")
        return setValueLocked(Function::Volts, parameter, hasParameter);
    if (header == "SOUR:RES")
        return setValueLocked(Function::Ohms, parameter, hasParameter);
    if (header == "OUTP")
        return setOutputLocked(parameter, hasParameter);
    pushErrorLocked(-113);
    return std::nullopt;
}

std::optional<std::string> ScpiCalibrator::setValueLocked(Function f, const std::string &parameter, bool hasParameter)
{
    double v = 0;
    if (!hasParameter) {
        pushErrorLocked(-109);
        return std::nullopt;
    }
    if (!toNumber(parameter, v)) {
        pushErrorLocked(-104);
        return std::nullopt;
    }
    const bool inRange = f == Function::Volts ? std::fabs(v) <= kMaxVolts : v >= 0.0 && v <= kMaxOhms;
    if (!inRange) {
        pushErrorLocked(-222);
        return std::nullopt;
    }
    (f == Function::Volts ? m_state.volts : m_state.ohms) = v;
    m_state.function = f;
    m_noise = gaussianLocked(f == Function::Volts ? kNoiseMv : kNoiseOhms);
    applyLocked();
    return std::nullopt;
}

std::optional<std::string> ScpiCalibrator::setOutputLocked(const std::string &parameter, bool hasParameter)
{
    if (!hasParameter) {
        pushErrorLocked(-109);
        return std::nullopt;
    }
    const std::string p = upper(parameter);
    if (p != "ON" && p != "OFF" && p != "1" && p != "0") {
        pushErrorLocked(-224);
        return std::nullopt;
    }
    const bool on = p == "ON" || p == "1";
    if (on && !m_state.outputOn)
        m_noise = gaussianLocked(m_state.function == Function::Volts ? kNoiseMv : kNoiseOhms);
    m_state.outputOn = on;
    applyLocked();
    return std::nullopt;
}

void ScpiCalibrator::resetLocked()
{
    const double drift = m_state.driftPerMinute; // a fault, not a setting
    m_state = State{};
    m_state.driftPerMinute = drift;
    m_wiring.drive(SourceOutput{});
}

double ScpiCalibrator::driftLocked() const
{
    return m_state.driftPerMinute == 0.0 ? 0.0 : m_state.driftPerMinute * (m_clock() - m_driftStart) / 60.0;
}

void ScpiCalibrator::applyLocked()
{
    const bool ohms = m_state.function == Function::Ohms;
    if (m_state.outputOn)
        m_state.applied = ohms ? m_state.ohms + kErrorOhms + m_noise + driftLocked()
                               : m_state.volts * 1000.0 + kErrorMv + m_noise + driftLocked();
    m_wiring.drive(SourceOutput{m_state.outputOn, ohms, m_state.applied});
}

void ScpiCalibrator::setDrift(double perMinute)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state.driftPerMinute = perMinute;
    m_driftStart = m_clock();
    applyLocked();
}

void ScpiCalibrator::tick()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state.driftPerMinute != 0.0)
        applyLocked();
}

ScpiCalibrator::State ScpiCalibrator::state() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}

void ScpiCalibrator::setClock(std::function<double()> seconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = std::move(seconds);
    m_driftStart = m_clock();
}

// --- meter ---

ScpiMeter::ScpiMeter(const Simulator &transmitter, std::string serial)
    : m_loopMa([&transmitter] { return transmitter.loopCurrentMa(); }), m_serial(std::move(serial))
{
}

ScpiMeter::ScpiMeter(const Wiring &wiring) : m_loopMa([&wiring] { return wiring.loopCurrentMa(); }) {}

std::string ScpiMeter::identity() const
{
    return "TCAL,SIM-DMM-1," + m_serial + ",1.0";
}

void ScpiMeter::resetLocked()
{
    m_lastAmps.reset();
}

std::optional<std::string> ScpiMeter::execute(const std::string &header, const std::string &, bool hasParameter)
{
    if (header != "MEAS:CURR:DC?" && header != "CONF:CURR:DC") {
        pushErrorLocked(-113);
        return std::nullopt;
    }
    if (hasParameter) {
        pushErrorLocked(-108);
        return std::nullopt;
    }
    if (header == "CONF:CURR:DC")
        return std::nullopt;
    const double ma = m_loopMa() + kErrorMa + gaussianLocked(kNoiseMa);
    m_lastAmps = ma / 1000.0;
    return number("%.8f", *m_lastAmps);
}

ScpiThermohygrometer::ScpiThermohygrometer(const Simulator &transmitter) : m_transmitter(transmitter) {}

std::optional<std::string> ScpiThermohygrometer::execute(const std::string &header, const std::string &,
                                                         bool hasParameter)
{
    if (header != "MEAS:TEMP?" && header != "MEAS:HUM?") {
        pushErrorLocked(-113);
        return std::nullopt;
    }
    if (hasParameter) {
        pushErrorLocked(-108);
        return std::nullopt;
    }
    if (header == "MEAS:HUM?")
        return number("%.1f", kHumidity + gaussianLocked(0.3));
    return number("%.3f", m_transmitter.ambient() + kErrorCelsius + gaussianLocked(0.01));
}

std::optional<double> ScpiMeter::lastReadingAmps() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastAmps;
}

} // namespace sim
