#include "units.h"

#include <sstream>

namespace sim {

namespace {

constexpr uint16_t kTypeK = 0;
constexpr uint16_t kTypePt100 = 32;

// A small spread around zero, -half..+half steps, fixed by the index.
double spread(int index, int multiplier, int modulus)
{
    return double((index * multiplier) % modulus - modulus / 2);
}

HoldingImage factoryImage(UnitInput input)
{
    HoldingImage h = model::defaultHolding();
    if (input == UnitInput::Rtd) {
        h[0] = kTypePt100;
        h[1] = 4000; // 400.0 degC
        h[2] = 0;
    } else {
        h[0] = kTypeK;
    }
    return h;
}

} // namespace

UnitErrors unitErrors(int index, UnitInput input)
{
    UnitErrors e;
    e.gain = 1.0 + 0.0005 * spread(index, 5, 9);
    // Up to about 1.2 degC either way: some units pass a 0.5 degC tolerance as found, some do not.
    e.offset = (input == UnitInput::Rtd ? 0.15 : 0.01) * spread(index, 7, 11) / 2.0;
    e.output.at4 = 0.012 + 0.004 * spread(index, 3, 7);
    e.output.at20 = -0.025 + 0.006 * spread(index, 5, 7);
    return e;
}

Units::Units(int count, UnitInput input) : m_input(input)
{
    count = std::max(1, std::min(count, kMaxUnits));
    for (int k = 1; k <= count; ++k) {
        auto unit = std::make_unique<Simulator>();
        unit->setFactoryImage(factoryImage(input));
        m_units.push_back(std::move(unit));
        m_wiring.push_back(input == UnitInput::Rtd ? UnitWiring::Routed : UnitWiring::Parallel);
        m_errors.push_back(UnitErrors{});
        m_seen.push_back(Seen{});
        setErrors(k, unitErrors(k, input));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto &unit : m_units) {
        unit->setAppliedMillivolts(0.0);
        unit->setAppliedOhms(ScpiCalibrator::kOpenOhms);
    }
}

Units::~Units()
{
    stop();
}

int Units::count() const
{
    return int(m_units.size());
}

UnitInput Units::input() const
{
    return m_input;
}

Simulator &Units::unit(int k)
{
    return *m_units.at(size_t(k - 1));
}

std::string Units::portOf(const std::string &portPrefix, int k)
{
    return portPrefix + "." + std::to_string(k);
}

bool Units::start(const Config &base, const std::string &portPrefix, std::string *why)
{
    for (int k = 1; k <= count(); ++k) {
        Config c = base;
        c.port = portOf(portPrefix, k);
        if (!base.storeFile.empty())
            c.storeFile = base.storeFile + "." + std::to_string(k);
        // A store file that is not there yet takes the factory image.
        if (!unit(k).start(c)) {
            if (why)
                *why = "unit " + std::to_string(k) + ": " + unit(k).lastError();
            stop();
            return false;
        }
    }
    return true;
}

void Units::stop()
{
    for (auto &unit : m_units)
        unit->stop();
}

void Units::setWiring(int k, UnitWiring wiring)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wiring.at(size_t(k - 1)) = wiring;
    rewireLocked();
}

UnitWiring Units::wiring(int k) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_wiring.at(size_t(k - 1));
}

void Units::setErrors(int k, const UnitErrors &errors)
{
    Simulator &s = unit(k);
    s.setInputError(errors.gain, errors.offset);
    s.setOutputError(errors.output);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_errors.at(size_t(k - 1)) = errors;
}

UnitErrors Units::errors(int k) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors.at(size_t(k - 1));
}

std::set<int> Units::channels() const
{
    std::set<int> all;
    for (int k = 1; k <= count(); ++k) {
        all.insert(kSourceBase + k);
        all.insert(kMeterBase + k);
    }
    return all;
}

void Units::setRoutes(const std::set<int> &closed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = closed;
    rewireLocked();
}

void Units::drive(const SourceOutput &output)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_output = output;
    rewireLocked();
}

void Units::rewireLocked()
{
    const int n = count();
    std::vector<bool> connected(size_t(n), false);
    int sharing = 0;
    for (int k = 1; k <= n; ++k) {
        const bool routed = m_closed.count(kSourceBase + k) > 0;
        const bool onBus = m_wiring[size_t(k - 1)] == UnitWiring::Parallel && !m_output.ohms;
        connected[size_t(k - 1)] = m_output.on && (routed || onBus);
        sharing += connected[size_t(k - 1)] ? 1 : 0;
    }
    for (int k = 1; k <= n; ++k) {
        Seen seen;
        if (connected[size_t(k - 1)] && m_output.ohms)
            seen.ohm = m_output.value * sharing;
        else if (connected[size_t(k - 1)])
            seen.mv = m_output.value;
        Seen &last = m_seen[size_t(k - 1)];
        Simulator &s = *m_units[size_t(k - 1)];
        if (seen.mv != last.mv)
            s.setAppliedMillivolts(seen.mv);
        if (seen.ohm != last.ohm)
            s.setAppliedOhms(seen.ohm);
        last = seen;
    }
}

double Units::loopCurrentMa() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    double sum = 0.0;
    for (int k = 1; k <= count(); ++k)
        if (m_closed.count(kMeterBase + k))
            sum += m_units[size_t(k - 1)]->loopCurrentMa();
    return sum;
}

std::string Units::describe() const
{
    std::ostringstream o;
    o.setf(std::ios::fixed);
    for (int k = 1; k <= count(); ++k) {
        const UnitErrors e = errors(k);
        Simulator &s = *m_units[size_t(k - 1)];
        o.precision(4);
        o << "unit " << k << " on " << (s.running() ? s.config().port : std::string("(not serving)"))
          << (m_input == UnitInput::Rtd ? ", PT100" : ", type K") << ", "
          << (wiring(k) == UnitWiring::Parallel ? "parallel" : "routed") << ", input error gain " << e.gain
          << " offset " << e.offset << ", output error " << e.output.at4 << " / " << e.output.at20
          << " mA, loop " << s.loopCurrentMa() << " mA\n";
    }
    return o.str();
}

} // namespace sim
