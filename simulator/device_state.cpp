// The transmitter's state: RAM and the stored image, the work mode, the
// applied signals and environment, and the live values evaluated from them.

#include "simulator.h"
#include "simulator_detail.h"

#include <cmath>
#include <random>

namespace sim {

using detail::clearCommandWords;
using detail::nowSeconds;

model::Environment Simulator::environmentLocked() const
{
    model::Environment env;
    env.millivolts = m_mv;
    env.ohms = m_ohm;
    env.ambient = m_ambient;
    if (m_celsius)
        (model::isRtd(m_holding[0]) ? env.ohms : env.millivolts) =
            engineering::signalForCelsius(m_holding[0], *m_celsius, m_ambient, m_curves);
    env.curves = m_curves;
    env.decimalCode = m_decimals;
    env.reportedMode = m_reportCountdown == 0 ? m_mode : m_reportedMode;
    if (m_drift) {
        // Slow waves plus a little noise: enough to keep a display moving.
        static thread_local std::minstd_rand rng(12345);
        std::uniform_real_distribution<double> noise(-1.0, 1.0);
        const double t = nowSeconds() - m_startSeconds;
        const double pi2 = 6.283185307179586;
        env.millivolts += 0.02 * std::sin(pi2 * t / 9.0) + 0.002 * noise(rng);
        env.ohms += 0.05 * std::sin(pi2 * t / 11.0) + 0.005 * noise(rng);
        env.ambient += 0.2 * std::sin(pi2 * t / 37.0) + 0.01 * noise(rng);
    }
    env.millivolts = engineering::withError(env.millivolts, m_inputError);
    env.ohms = engineering::withError(env.ohms, m_inputError);
    return env;
}

InputImage Simulator::inputsLocked() const
{
    InputImage in = model::evaluateInputs(m_holding, environmentLocked());
    for (int i = 0; i < model::kInputCount; ++i)
        if (m_overrides[i])
            in[i] = *m_overrides[i];
    return in;
}

void Simulator::applyWrite(int address, const std::vector<uint16_t> &values)
{
    const int end = address + static_cast<int>(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        if (!m_ignored[address + i])
            m_holding[address + i] = values[i];
    if (address <= 50 && 50 < end && m_holding[50] <= 4) {
        m_reportedMode = m_reportCountdown == 0 ? m_mode : m_reportedMode;
        m_mode = m_holding[50];
        m_reportCountdown = m_reportDelay;
    }
    if (address <= 62 && 62 < end && m_holding[62] == 321)
        commit();
}

void Simulator::commit()
{
    m_stored = m_holding;
    clearCommandWords(m_stored);
    if (!m_config.storeFile.empty())
        saveStoreFile(m_config.storeFile, m_stored);
}

uint16_t Simulator::holding(int addr) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return addr >= 0 && addr < model::kHoldingCount ? m_holding[addr] : 0;
}

void Simulator::setHolding(int addr, uint16_t v)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (addr >= 0 && addr < model::kHoldingCount)
        m_holding[addr] = v;
}

std::vector<uint16_t> Simulator::holdingImage() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_holding.begin(), m_holding.end()};
}

uint16_t Simulator::input(int addr) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return addr >= 0 && addr < model::kInputCount ? inputsLocked()[addr] : 0;
}

std::vector<uint16_t> Simulator::inputImage() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto in = inputsLocked();
    return {in.begin(), in.end()};
}

void Simulator::setInputOverride(int addr, std::optional<uint16_t> v)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (addr >= 0 && addr < model::kInputCount)
        m_overrides[addr] = v;
}

std::vector<uint16_t> Simulator::storedImage() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_stored.begin(), m_stored.end()};
}

int Simulator::workMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mode;
}

int Simulator::reportedMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reportCountdown == 0 ? m_mode : m_reportedMode;
}

double Simulator::loopCurrentMa() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto env = environmentLocked();
    const double room = model::roomCelsius(env.ambient, m_holding[7], m_holding[8]);
    const double t = model::measuredTemperature(m_holding, model::adcFor(m_holding, env), room, env.curves);
    // The range is in the unit the temperature is shown in.
    return model::loopCurrentMa(m_holding, m_mode, t, m_outputError);
}

double Simulator::measuredTemperature() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto env = environmentLocked();
    const double room = model::roomCelsius(env.ambient, m_holding[7], m_holding[8]);
    return model::measuredTemperature(m_holding, model::adcFor(m_holding, env), room, env.curves);
}

double Simulator::roomTemperature() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return model::roomCelsius(environmentLocked().ambient, m_holding[7], m_holding[8]);
}

int32_t Simulator::adcValue() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return model::adcFor(m_holding, environmentLocked());
}

void Simulator::setAppliedMillivolts(double mv)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mv = mv;
    m_celsius.reset();
}

void Simulator::setAppliedOhms(double ohm)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ohm = ohm;
    m_celsius.reset();
}

void Simulator::setAppliedCelsius(double celsius)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_celsius = celsius;
}

std::optional<double> Simulator::appliedCelsius() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_celsius;
}

void Simulator::setInputError(double gain, double offset)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inputError = {gain, offset};
}

engineering::InputError Simulator::inputError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inputError;
}

void Simulator::setCurves(model::Curves curves)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_curves = curves;
}

model::Curves Simulator::curves() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_curves;
}

void Simulator::setAmbient(double celsius)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ambient = celsius;
}

double Simulator::ambient() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ambient;
}

void Simulator::setDecimalPlaces(uint16_t code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_decimals = code;
}

void Simulator::setModeReportDelay(int reads)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reportDelay = std::max(0, reads);
}

void Simulator::setWorkMode(int mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = m_reportedMode = mode;
    m_reportCountdown = 0;
    m_holding[50] = static_cast<uint16_t>(mode);
}

void Simulator::setDrift(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_drift = on;
}

void Simulator::setOutputError(model::OutputError error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outputError = error;
}

model::OutputError Simulator::outputError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_outputError;
}

void Simulator::setFactoryImage(const HoldingImage &image)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stored = image;
    clearCommandWords(m_stored);
    m_holding = m_stored;
    if (!m_config.storeFile.empty())
        saveStoreFile(m_config.storeFile, m_stored);
}

void Simulator::powerCycle()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holding = m_stored;
    clearCommandWords(m_holding);
    m_mode = m_reportedMode = m_reportCountdown = 0;
}

void Simulator::loadImage(const HoldingImage &image)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stored = image;
    clearCommandWords(m_stored);
    m_holding = m_stored;
    m_mode = m_reportedMode = m_reportCountdown = 0;
    if (!m_config.storeFile.empty())
        saveStoreFile(m_config.storeFile, m_stored);
}

} // namespace sim
