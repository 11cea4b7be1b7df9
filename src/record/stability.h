#pragma once
// Decides when a reading is steady enough to record: a number of consecutive
// polls that all lie within a band, or a timeout when that never happens.

#include <QVector>
#include <optional>

namespace record {

struct StabilitySettings {
    int polls = 5;           // consecutive readings needed
    double band = 0.2;       // largest spread among them, in degrees
    int timeoutMs = 60000;   // from the first reading on
    int repeats = 1;         // independent settlings of each point, the reference set again each time
};

class StabilityDetector
{
public:
    enum class State { Waiting, Stable, TimedOut };

    explicit StabilityDetector(const StabilitySettings &settings = {});

    void restart();
    // One poll at `elapsedMs` since the wait began; nullopt when the transmitter
    // sent no temperature that can be shown, which breaks the run.
    State feed(std::optional<double> reading, qint64 elapsedMs);
    // For when the polls stop coming: times out once `elapsedMs` passed the limit.
    State expire(qint64 elapsedMs);

    State state() const { return m_state; }
    int pollsToGo() const;                 // countdown shown to the operator
    int msToGo(qint64 elapsedMs) const;    // until the timeout
    double value() const;                  // mean of the steady run, once Stable

private:
    StabilitySettings m_settings;
    QVector<double> m_run;
    State m_state = State::Waiting;
};

} // namespace record
