#include "record/stability.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace record {

StabilityDetector::StabilityDetector(const StabilitySettings &settings)
    : m_settings(settings)
{
    m_settings.polls = std::max(1, m_settings.polls);
}

void StabilityDetector::restart()
{
    m_run.clear();
    m_state = State::Waiting;
}

StabilityDetector::State StabilityDetector::feed(std::optional<double> reading, qint64 elapsedMs)
{
    if (m_state != State::Waiting)
        return m_state;
    if (!reading) {
        m_run.clear();
    } else {
        // Keep the longest tail of readings that still fits in the band.
        m_run.append(*reading);
        while (m_run.size() > 1) {
            const auto [low, high] = std::minmax_element(m_run.cbegin(), m_run.cend());
            // Readings are tenths held in doubles: 100.2 - 100.0 is 0.2000000000000028.
            if (*high - *low <= m_settings.band + 1e-9 * std::max(1.0, std::abs(*high)))
                break;
            m_run.removeFirst();
        }
        if (m_run.size() > m_settings.polls)
            m_run.removeFirst();
    }
    if (m_run.size() >= m_settings.polls)
        m_state = State::Stable;
    else if (elapsedMs >= m_settings.timeoutMs)
        m_state = State::TimedOut;
    return m_state;
}

StabilityDetector::State StabilityDetector::expire(qint64 elapsedMs)
{
    if (m_state == State::Waiting && elapsedMs >= m_settings.timeoutMs)
        m_state = State::TimedOut;
    return m_state;
}

int StabilityDetector::pollsToGo() const
{
    return std::max(0, m_settings.polls - int(m_run.size()));
}

int StabilityDetector::msToGo(qint64 elapsedMs) const
{
    return int(std::max<qint64>(0, m_settings.timeoutMs - elapsedMs));
}

double StabilityDetector::value() const
{
    if (m_run.isEmpty())
        return 0.0;
    return std::accumulate(m_run.cbegin(), m_run.cend(), 0.0) / m_run.size();
}

} // namespace record
