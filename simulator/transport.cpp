// The simulator's line: opening the port, the serving thread, and raw
// frames out. Each request it receives goes to the frame handler.

#include "simulator.h"
#include "simulator_detail.h"

#include <modbus.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <unistd.h>

namespace sim {

using detail::clearCommandWords;
using detail::nowSeconds;

Simulator::Simulator()
    : m_holding(model::defaultHolding()), m_stored(m_holding)
{
    m_startSeconds = nowSeconds();
}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::start(const Config &c)
{
    if (!open(c))
        return false;
    m_thread = std::thread([this] { serve(); });
    return true;
}

void Simulator::handleFrame(const uint8_t *frame, int length)
{
    handle(frame, length);
}

bool Simulator::open(const Config &c)
{
    stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_config = c;
        m_error.clear();
        m_drift = c.drift;
        m_lineSpeed = c.lineSpeed;
        m_latencyMs = std::max(0, c.latencyMs);
        // With a store file a start is a power-up: the stored image comes back.
        if (!c.storeFile.empty()) {
            HoldingImage loaded{};
            if (loadStoreFile(c.storeFile, loaded))
                m_stored = loaded;
            else
                saveStoreFile(c.storeFile, m_stored);
            clearCommandWords(m_stored);
            m_holding = m_stored;
        }
        // A restart leaves every work mode and command.
        clearCommandWords(m_holding);
        m_mode = m_reportedMode = m_reportCountdown = 0;
    }

    modbus_t *ctx = modbus_new_rtu(c.port.c_str(), c.baud, c.parity, c.dataBits, c.stopBits);
    if (!ctx) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = std::string("bad serial settings: ") + modbus_strerror(errno);
        return false;
    }
    if (modbus_set_slave(ctx, c.address) != 0 || modbus_connect(ctx) != 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = "cannot open " + c.port + ": " + modbus_strerror(errno);
        modbus_free(ctx);
        return false;
    }
    // A short wait for requests so that the stop flag is seen promptly.
    modbus_set_indication_timeout(ctx, 0, 100000);
    m_ctx = ctx;
    m_mapping = modbus_mapping_new(0, 0, model::kHoldingCount, model::kInputCount);
    m_stop = false;
    m_running = true;
    return true;
}

void Simulator::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_ctx) {
        auto *ctx = static_cast<modbus_t *>(m_ctx);
        modbus_close(ctx);
        modbus_free(ctx);
        m_ctx = nullptr;
    }
    if (m_mapping) {
        modbus_mapping_free(static_cast<modbus_mapping_t *>(m_mapping));
        m_mapping = nullptr;
    }
    m_running = false;
}

bool Simulator::running() const { return m_running; }

std::string Simulator::lastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

Config Simulator::config() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config;
}

bool Simulator::waitInterruptibly(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stop) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            deadline - now, std::chrono::milliseconds(10)));
    }
    return false;
}

void Simulator::serve()
{
    auto *ctx = static_cast<modbus_t *>(m_ctx);
    uint8_t req[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!m_stop) {
        const int rc = modbus_receive(ctx, req);
        if (rc > 0) {
            handle(req, rc);
        } else if (rc < 0 && errno != ETIMEDOUT) {
            // Damaged frame: drop what is left of it. A vanished line ends up
            // here too; back off instead of spinning.
            if (errno == EMBBADCRC || errno == EMBBADDATA)
                modbus_flush(ctx);
            else
                waitInterruptibly(50);
        }
    }
}

void Simulator::writeRaw(const std::vector<uint8_t> &frame)
{
    const int fd = modbus_get_socket(static_cast<modbus_t *>(m_ctx));
    size_t done = 0;
    while (done < frame.size()) {
        const ssize_t n = ::write(fd, frame.data() + done, frame.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                if (!waitInterruptibly(1))
                    return;
                continue;
            }
            return;
        }
        done += static_cast<size_t>(n);
    }
}

} // namespace sim
