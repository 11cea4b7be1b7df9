#pragma once
// When a point has settled: the last N samples of the transmitter's reading
// and of the loop current each lie within their band. The settled value is
// the mean of those samples, and their spread is the point's repeatability.
// Plain arithmetic, no bus.

#include <deque>
#include <optional>
#include <vector>

namespace autocal {

struct Sample {
    double reading = 0.0;    // the transmitter's, in its unit
    double currentMa = 0.0;  // the meter's
};

class SettlingWindow
{
public:
    // A band of 0 leaves that column out (the current alone during the output adjustment).
    SettlingWindow(int samples, double band, double bandMa);

    void clear() { m_samples.clear(); }
    void add(const Sample &sample);
    bool settled() const;
    int count() const { return int(m_samples.size()); }

    std::vector<double> readings() const;
    std::vector<double> currents() const;
    double meanReading() const;
    double meanCurrent() const;

private:
    static bool within(const std::vector<double> &values, double band);

    size_t m_size;
    double m_band;
    double m_bandMa;
    std::deque<Sample> m_samples;
};

} // namespace autocal
