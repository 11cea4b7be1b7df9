#include "scpi_server.h"

#include "units.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <thread>

namespace sim {

namespace {

constexpr int kPollMs = 100;
constexpr size_t kLineLimit = 4096;

std::string systemError(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Writes all of `data`, waiting up to a second for a reader that lags.
void writeAll(int fd, const std::string &data, bool socket)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = socket ? ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL)
                                 : ::write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        pollfd p{fd, POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && ::poll(&p, 1, 1000) > 0)
            continue;
        return; // the reader went away: the reply is lost, as on a real line
    }
}

} // namespace

// One instrument on one pty or listening socket, served by its own thread.
class ScpiEndpoint {
public:
    ScpiEndpoint(ScpiInstrument &instrument, std::function<void()> tick)
        : m_instrument(instrument), m_tick(std::move(tick)) {}
    ~ScpiEndpoint() { stop(); }

    bool openTcp(int port, std::string *why);
    bool openPty(const std::string &link, std::string *why);
    void start() { m_thread = std::thread([this] { run(); }); }
    void stop();
    std::string address() const { return m_address; }
    int port() const { return m_port; }

private:
    void run();
    void acceptClient();
    bool readFrom(int fd); // false when the other end is gone
    void feed(const char *data, size_t n, int replyFd);

    ScpiInstrument &m_instrument;
    std::function<void()> m_tick;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    int m_listen = -1, m_client = -1;  // TCP
    int m_master = -1, m_slave = -1;   // pty
    std::string m_link, m_address, m_pending;
    bool m_skipping = false; // inside a line that grew too long
    int m_port = 0;
};

bool ScpiEndpoint::openTcp(int port, std::string *why)
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0) {
        *why = systemError("socket");
        return false;
    }
    const int yes = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(m_listen, 2) != 0
        || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        *why = systemError("127.0.0.1:" + std::to_string(port));
        closeFd(m_listen);
        return false;
    }
    m_port = ntohs(a.sin_port);
    m_address = "127.0.0.1:" + std::to_string(m_port);
    return true;
}

bool ScpiEndpoint::openPty(const std::string &link, std::string *why)
{
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *why = link + " exists and is not a link";
        return false;
    }
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const char *name = m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0
                           ? ::ptsname(m_master) : nullptr;
    // Holding the other end open keeps the pty usable between clients.
    if (name)
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &t) != 0) {
        *why = systemError("pty");
        closeFd(m_slave);
        closeFd(m_master);
        return false;
    }
    ::cfmakeraw(&t);
    ::tcsetattr(m_slave, TCSANOW, &t);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::unlink(link.c_str());
    if (::symlink(name, link.c_str()) != 0) {
        *why = systemError(link);
        closeFd(m_slave);
        closeFd(m_master);
        return false;
    }
    m_link = m_address = link;
    return true;
}

void ScpiEndpoint::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    closeFd(m_client);
    closeFd(m_listen);
    closeFd(m_slave);
    closeFd(m_master);
    if (!m_link.empty())
        ::unlink(m_link.c_str());
    m_link.clear();
    m_address.clear();
    m_port = 0;
}

void ScpiEndpoint::run()
{
    while (!m_stop) {
        pollfd p[2];
        nfds_t count = 0;
        const int first = m_master >= 0 ? m_master : m_listen;
        p[count++] = {first, POLLIN, 0};
        if (m_client >= 0)
            p[count++] = {m_client, POLLIN, 0};
        const int rc = ::poll(p, count, kPollMs);
        if (m_tick)
            m_tick();
        if (rc <= 0)
            continue;
        if (m_master >= 0 && (p[0].revents & POLLIN))
            readFrom(m_master);
        if (m_listen >= 0 && (p[0].revents & POLLIN))
            acceptClient();
        if (count > 1 && (p[1].revents & (POLLIN | POLLHUP | POLLERR)) && !readFrom(m_client))
            closeFd(m_client);
    }
}

void ScpiEndpoint::acceptClient()
{
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    closeFd(m_client); // the newcomer takes over
    m_client = fd;
    m_pending.clear();
    m_skipping = false;
}

bool ScpiEndpoint::readFrom(int fd)
{
    char buf[512];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0)
        feed(buf, static_cast<size_t>(n), fd);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
}

void ScpiEndpoint::feed(const char *data, size_t n, int replyFd)
{
    for (size_t i = 0; i < n; ++i) {
        if (data[i] != '\n') {
            if (m_pending.size() < kLineLimit)
                m_pending.push_back(data[i]);
            else
                m_skipping = true; // nothing an instrument would take
            continue;
        }
        std::string line;
        line.swap(m_pending);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (m_skipping) {
            m_skipping = false;
            continue;
        }
        if (const auto reply = m_instrument.handle(line))
            writeAll(replyFd, *reply + "\n", replyFd == m_client);
    }
}

// --- the lab ---

ScpiLab::ScpiLab(Simulator &transmitter) : m_source(transmitter), m_meter(transmitter), m_environment(transmitter) {}

ScpiLab::ScpiLab(Units &units, bool ownMeters)
    : m_source(units), m_meter(units),
      m_switch(std::make_unique<ScpiSwitch>(units.channels(),
                                            [&units](const std::set<int> &closed) { units.setRoutes(closed); })),
      m_environment(units.unit(1)) // one room: the first unit's ambient
{
    for (int k = 1; ownMeters && k <= units.count(); ++k)
        m_unitMeters.push_back(std::make_unique<ScpiMeter>(units.unit(k), "SM-U" + std::to_string(k)));
}

ScpiMeter *ScpiLab::unitMeter(int k)
{
    return k >= 1 && k <= unitMeterCount() ? m_unitMeters[size_t(k - 1)].get() : nullptr;
}

int ScpiLab::unitMeterCount() const
{
    return int(m_unitMeters.size());
}

std::string ScpiLab::unitMeterAddress(int k) const
{
    return k >= 1 && size_t(k) <= m_unitEndpoints.size() ? m_unitEndpoints[size_t(k - 1)]->address() : std::string();
}

int ScpiLab::unitMeterPort(int k) const
{
    return k >= 1 && size_t(k) <= m_unitEndpoints.size() ? m_unitEndpoints[size_t(k - 1)]->port() : 0;
}

// In the order of their TCP ports: the environment stays next to the meter
// in a lab without a switch.
std::vector<Instrument> ScpiLab::servedInstruments() const
{
    if (m_switch)
        return {Instrument::Source, Instrument::Meter, Instrument::Switch, Instrument::Environment};
    return {Instrument::Source, Instrument::Meter, Instrument::Environment};
}

bool ScpiLab::hasSwitch() const
{
    return m_switch != nullptr;
}

ScpiSwitch *ScpiLab::routeSwitch()
{
    return m_switch.get();
}

ScpiLab::~ScpiLab()
{
    stop();
}

namespace {

// "tcp:127.0.0.1:PORT" -> PORT; -1 when `address` is not a TCP address, -2 when it is a bad one.
int tcpPort(const std::string &address)
{
    if (address.rfind("tcp:", 0) != 0)
        return -1;
    const auto colon = address.rfind(':');
    const std::string host = address.substr(4, colon - 4), port = address.substr(colon + 1);
    if (colon < 4 || (host != "127.0.0.1" && host != "localhost") || port.empty()
        || port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5)
        return -2;
    const int n = std::atoi(port.c_str());
    return n <= 65534 ? n : -2;
}

} // namespace

bool ScpiLab::serve(const std::string &address, std::string *why)
{
    const auto fail = [&](const std::string &reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (serving())
        return fail("the instruments are served already");
    const int port = tcpPort(address);
    if (port == -2 || address.empty())
        return fail("bad instrument address '" + address + "' (tcp:127.0.0.1:PORT or a path)");
    m_endpoints[0] = std::make_unique<ScpiEndpoint>(m_source, [this] { m_source.tick(); });
    m_endpoints[1] = std::make_unique<ScpiEndpoint>(m_meter, nullptr);
    if (m_switch)
        m_endpoints[int(Instrument::Switch)] = std::make_unique<ScpiEndpoint>(*m_switch, nullptr);
    m_endpoints[int(Instrument::Environment)] = std::make_unique<ScpiEndpoint>(m_environment, nullptr);
    static const char *const suffixes[] = {".source", ".meter", ".switch", ".environment"};
    std::string reason;
    const auto served = servedInstruments();
    for (size_t i = 0; i < served.size(); ++i) {
        const int e = int(served[i]);
        const bool ok = port >= 0 ? m_endpoints[e]->openTcp(port == 0 ? 0 : port + int(i), &reason)
                                  : m_endpoints[e]->openPty(address + suffixes[e], &reason);
        if (!ok) {
            stop();
            return fail(reason);
        }
    }
    // Each unit's own meter after the shared instruments.
    for (size_t k = 0; k < m_unitMeters.size(); ++k) {
        m_unitEndpoints.push_back(std::make_unique<ScpiEndpoint>(*m_unitMeters[k], nullptr));
        const bool ok = port >= 0
            ? m_unitEndpoints.back()->openTcp(port == 0 ? 0 : port + int(served.size() + k), &reason)
            : m_unitEndpoints.back()->openPty(address + ".meter." + std::to_string(k + 1), &reason);
        if (!ok) {
            stop();
            return fail(reason);
        }
    }
    for (auto &e : m_endpoints)
        if (e)
            e->start();
    for (auto &e : m_unitEndpoints)
        e->start();
    return true;
}

void ScpiLab::stop()
{
    for (auto &e : m_endpoints)
        e.reset();
    m_unitEndpoints.clear();
}

bool ScpiLab::serving() const
{
    for (const Instrument which : servedInstruments())
        if (!m_endpoints[int(which)] || m_endpoints[int(which)]->address().empty())
            return false;
    return true;
}

std::string ScpiLab::address(Instrument which) const
{
    const auto &e = m_endpoints[int(which)];
    return e ? e->address() : std::string();
}

int ScpiLab::port(Instrument which) const
{
    const auto &e = m_endpoints[int(which)];
    return e ? e->port() : 0;
}

ScpiCalibrator &ScpiLab::source()
{
    return m_source;
}

ScpiMeter &ScpiLab::meter()
{
    return m_meter;
}

ScpiInstrument &ScpiLab::instrument(Instrument which)
{
    if (which == Instrument::Switch && m_switch)
        return *m_switch;
    if (which == Instrument::Environment)
        return m_environment;
    return which == Instrument::Source ? static_cast<ScpiInstrument &>(m_source) : m_meter;
}

void ScpiLab::setSilent(Instrument which, bool on)
{
    instrument(which).setSilent(on);
}

void ScpiLab::setDrift(double mvPerMinute)
{
    m_source.setDrift(mvPerMinute);
}

void ScpiLab::queueError(Instrument which, int code)
{
    instrument(which).queueError(code);
}

void ScpiLab::clearFaults()
{
    m_source.clearFaults();
    m_meter.clearFaults();
    for (auto &m : m_unitMeters)
        m->clearFaults();
    if (m_switch)
        m_switch->clearFaults();
    m_source.setDrift(0.0);
}

void ScpiLab::setSeed(uint32_t seed)
{
    m_source.setSeed(seed);
    m_meter.setSeed(seed + 1);
    if (m_switch)
        m_switch->setSeed(seed + 2);
    for (size_t k = 0; k < m_unitMeters.size(); ++k)
        m_unitMeters[k]->setSeed(seed + 3 + uint32_t(k));
}

ScpiCalibrator::State ScpiLab::sourceState() const
{
    return m_source.state();
}

std::optional<double> ScpiLab::lastMeterReadingAmps() const
{
    return m_meter.lastReadingAmps();
}

std::string ScpiLab::describe() const
{
    const auto s = m_source.state();
    std::ostringstream o;
    o.setf(std::ios::fixed);
    o.precision(4);
    const std::string sourceAt = address(Instrument::Source), meterAt = address(Instrument::Meter);
    o << "calibrator " << (sourceAt.empty() ? "not served" : "on " + sourceAt)
      << (m_source.silent() ? ", silent" : "") << "\n"
      << "  output " << (s.outputOn ? "on" : "off") << ", "
      << (s.function == ScpiCalibrator::Function::Volts ? "volts " + std::to_string(s.volts) + " V"
                                                       : "ohms " + std::to_string(s.ohms) + " ohm");
    if (s.outputOn)
        o << ", applied " << s.applied << (s.function == ScpiCalibrator::Function::Volts ? " mV" : " ohm");
    o << "\n  drift " << s.driftPerMinute << " per minute, " << m_source.errorCount() << " errors queued\n"
      << "meter " << (meterAt.empty() ? "not served" : "on " + meterAt) << (m_meter.silent() ? ", silent" : "")
      << ", " << m_meter.errorCount() << " errors queued";
    if (const auto a = m_meter.lastReadingAmps())
        o << ", last reading " << *a * 1000.0 << " mA";
    o << "\n";
    if (m_switch)
        o << "switch " << (address(Instrument::Switch).empty() ? "not served" : "on " + address(Instrument::Switch))
          << (m_switch->silent() ? ", silent" : "") << ", " << m_switch->describe() << ", "
          << m_switch->errorCount() << " errors queued\n";
    for (int k = 1; k <= unitMeterCount(); ++k) {
        const std::string at = unitMeterAddress(k);
        o << "unit " << k << "'s meter " << (at.empty() ? "not served" : "on " + at)
          << (m_unitMeters[size_t(k - 1)]->silent() ? ", silent" : "") << "\n";
    }
    return o.str();
}

} // namespace sim
