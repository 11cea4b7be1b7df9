#include "automation/settling.h"

#include <algorithm>
#include <numeric>

namespace autocal {

SettlingWindow::SettlingWindow(int samples, double band, double bandMa)
    : m_size(size_t(std::max(2, samples))), m_band(band), m_bandMa(bandMa)
{
}

void SettlingWindow::add(const Sample &sample)
{
    m_samples.push_back(sample);
    while (m_samples.size() > m_size)
        m_samples.pop_front();
}

bool SettlingWindow::within(const std::vector<double> &values, double band)
{
    if (band <= 0.0)
        return true;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    // The band's edge counts as inside: readings come in steps of the resolution.
    return *high - *low <= band * (1.0 + 1e-9);
}

bool SettlingWindow::settled() const
{
    return m_samples.size() == m_size && within(readings(), m_band) && within(currents(), m_bandMa);
}

std::vector<double> SettlingWindow::readings() const
{
    std::vector<double> v;
    for (const Sample &s : m_samples)
        v.push_back(s.reading);
    return v;
}

std::vector<double> SettlingWindow::currents() const
{
    std::vector<double> v;
    for (const Sample &s : m_samples)
        v.push_back(s.currentMa);
    return v;
}

namespace {
double mean(const std::vector<double> &v)
{
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}
} // namespace

double SettlingWindow::meanReading() const
{
    return mean(readings());
}

double SettlingWindow::meanCurrent() const
{
    return mean(currents());
}

} // namespace autocal
