// The switches by which a test or the console makes the transmitter
// misbehave: silence, drops, exceptions, delays, damaged and late answers,
// and faults scheduled at the n-th request.

#include "simulator.h"

#include <algorithm>
#include <sstream>

namespace sim {

void Simulator::setSilent(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = on;
}

void Simulator::dropNext(int requests)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dropNext = std::max(0, requests);
}

int Simulator::dropsPending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropNext;
}

void Simulator::setException(int function, int address, int code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.push_back({function, address, code});
}

void Simulator::refuseWrites(int address, int code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.push_back({6, address, code});
    m_rules.push_back({16, address, code});
}

void Simulator::ignoreWrites(int address, bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (address >= 0 && address < model::kHoldingCount)
        m_ignored[size_t(address)] = on;
}

void Simulator::setLatencyMs(int ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_latencyMs = std::max(0, ms);
}

void Simulator::clearExceptions()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.clear();
}

void Simulator::setCorruptCrc(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_corrupt = on;
}

void Simulator::setReplyDelayMs(int ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delayMs = std::max(0, ms);
}

void Simulator::setShortRead(int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shortRead = std::max(0, count);
}

void Simulator::setLineSpeed(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lineSpeed = on;
}

void Simulator::answerLate(int address, int ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lateAddress = address;
    m_lateMs = std::max(0, ms);
}

void Simulator::setWrongEcho(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wrongEcho = on;
}

void Simulator::scheduleFault(int nth, Scheduled fault, int lateMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_schedule[nth] = {fault, lateMs};
}

void Simulator::resetSchedule()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_schedule.clear();
    m_scheduleCount = 0;
}

int Simulator::scheduledCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_scheduleCount;
}

void Simulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lateAddress = -1;
    m_wrongEcho = false;
    m_schedule.clear();
    m_scheduleCount = 0;
    m_silent = false;
    m_dropNext = 0;
    m_corrupt = false;
    m_delayMs = 0;
    m_shortRead = 0;
    m_rules.clear();
    m_ignored.fill(false);
}

std::string Simulator::describeFaults() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::ostringstream s;
    s << "silent " << (m_silent ? "on" : "off") << "\n"
      << "crc " << (m_corrupt ? "on" : "off") << "\n"
      << "delay " << m_delayMs << " ms\n"
      << "short " << m_shortRead << (m_shortRead ? "" : " (off)") << "\n"
      << "linespeed " << (m_lineSpeed ? "on" : "off") << "\n"
      << "latency " << m_latencyMs << " ms\n"
      << "drift " << (m_drift ? "on" : "off") << "\n";
    for (const auto &rule : m_rules)
        s << "exception function " << (rule.function < 0 ? std::string("any") : std::to_string(rule.function))
          << " register " << (rule.address < 0 ? std::string("any") : std::to_string(rule.address))
          << " code " << rule.code << "\n";
    return s.str();
}

} // namespace sim
