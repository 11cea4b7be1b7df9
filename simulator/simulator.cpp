#include "simulator.h"

#include <tuple>

#include <modbus.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace sim {

namespace {

constexpr int kRtuHeader = 1; // slave address precedes the PDU

double nowSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

uint16_t word(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void appendWord(std::vector<uint8_t> &f, uint16_t v)
{
    f.push_back(static_cast<uint8_t>(v >> 8));
    f.push_back(static_cast<uint8_t>(v & 0xFF));
}

void appendCrc(std::vector<uint8_t> &f, bool corrupt)
{
    uint16_t crc = model::crc16(f.data(), static_cast<int>(f.size()));
    if (corrupt)
        crc ^= 0x5A5A;
    f.push_back(static_cast<uint8_t>(crc & 0xFF)); // CRC goes low byte first
    f.push_back(static_cast<uint8_t>(crc >> 8));
}

void clearCommandWords(HoldingImage &h)
{
    h[50] = 0;
    h[51] = 0;
    h[62] = 0;
}

} // namespace

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

void Simulator::handle(const uint8_t *req, int length)
{
    if (length < 2)
        return;
    const int slave = req[0];
    const int function = req[kRtuHeader];
    const uint8_t *pdu = req + kRtuHeader + 1;
    const int pduLength = length - kRtuHeader - 1 - 2; // without function and CRC

    Request r{function, -1, 0, {}, false, 0};
    if (pduLength >= 4) {
        r.address = word(pdu);
        switch (function) {
        case 6:
            r.count = 1;
            r.values.push_back(word(pdu + 2));
            break;
        case 16: {
            r.count = word(pdu + 2);
            const int bytes = pduLength >= 5 ? pdu[4] : 0;
            for (int i = 0; i < bytes / 2 && 5 + 2 * i + 1 < pduLength; ++i)
                r.values.push_back(word(pdu + 5 + 2 * i));
            break;
        }
        default:
            r.count = word(pdu + 2);
        }
    }

    // A frame whose length is not the one its function's fields make is a
    // damaged one, and one with the exception bit set is no request (its
    // exception answer would wrap to another function code): dropped
    // unanswered, never read past its end.
    const bool fixedFields = function == 3 || function == 4 || function == 6;
    const bool complete = pduLength >= 0 && function < 0x80 && (!fixedFields || pduLength == 4)
        && (function != 16 || (pduLength >= 5 && pduLength == 5 + pdu[4]));
    if (!complete) {
        std::lock_guard<std::mutex> lock(m_mutex);
        logRequest(r);
        return;
    }

    int code = 0;
    int shortCount = 0;
    bool corrupt = false;
    int delayMs = 0;
    int modeForReply = 0;
    bool wrongEcho = false;
    bool unanswered = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Scheduled now = Scheduled::None;
        int lateMs = 0;
        if (slave == m_config.address) {
            const auto due = m_schedule.find(++m_scheduleCount);
            if (due != m_schedule.end())
                std::tie(now, lateMs) = due->second;
        }
        if (now == Scheduled::PowerCycleBefore) {
            m_holding = m_stored;
            clearCommandWords(m_holding);
            m_mode = m_reportedMode = m_reportCountdown = 0;
        }
        if (now == Scheduled::LostBefore) {
            logRequest(r);
            return;
        }
        if (now == Scheduled::Refused)
            code = 4;
        unanswered = now == Scheduled::LostAfterApplied;
        if (now == Scheduled::Late)
            delayMs += lateMs;
        if (m_silent || m_dropNext > 0) {
            if (!m_silent)
                --m_dropNext;   // lost on the line: neither applied nor answered
            logRequest(r);
            return;
        }
        for (const auto &rule : code ? std::vector<ExceptionRule>{} : m_rules) {
            const bool fnMatch = rule.function < 0 || rule.function == function;
            const bool addrMatch = rule.address < 0
                || (r.address >= 0 && rule.address >= r.address
                    && rule.address < r.address + std::max(r.count, 1));
            if (fnMatch && addrMatch) {
                code = rule.code;
                break;
            }
        }
        if (code == 0) {
            switch (function) {
            case 3:
            case 4: {
                const int limit = function == 3 ? model::kHoldingCount : model::kInputCount;
                if (r.count < 1 || r.count > 125)
                    code = MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
                else if (r.address + r.count > limit)
                    code = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
                break;
            }
            case 6:
                if (r.address >= model::kHoldingCount)
                    code = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
                break;
            case 16:
                // The byte count must be the registers' two bytes each.
                if (r.count < 1 || r.count > 123 || static_cast<int>(r.values.size()) != r.count
                    || pdu[4] != 2 * r.count)
                    code = MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
                else if (r.address + r.count > model::kHoldingCount)
                    code = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
                break;
            default:
                code = MODBUS_EXCEPTION_ILLEGAL_FUNCTION;
            }
        }
        // The store command takes only its one value.
        if (code == 0 && (function == 6 || function == 16) && r.address <= 62
            && 62 < r.address + r.count && r.values[62 - r.address] != 321)
            code = MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;

        if (code == 0) {
            if (function == 6 || function == 16)
                applyWrite(r.address, r.values);
            if (function == 4) {
                modeForReply = m_reportCountdown == 0 ? m_mode : m_reportedMode;
                if (m_reportCountdown > 0)
                    --m_reportCountdown;
            }
            if ((function == 3 || function == 4) && m_shortRead > 0 && m_shortRead < r.count)
                shortCount = m_shortRead;
            corrupt = m_corrupt;
            if (function == 6 || function == 16) {
                wrongEcho = m_wrongEcho;
                if (m_lateAddress >= r.address && m_lateAddress < r.address + r.count) {
                    delayMs += m_lateMs;
                    m_lateAddress = -1;
                }
            }
        }
        r.answered = code == 0 && !unanswered;
        r.exception = code;
        logRequest(r);

        const int replyBytes = code ? 5 : shortCount ? 5 + 2 * shortCount
                                                     : model::replyLength(function, r.count);
        delayMs += m_delayMs + m_latencyMs;
        if (m_lineSpeed) {
            const int bits = model::bitsPerCharacter(m_config.dataBits, m_config.parity, m_config.stopBits);
            delayMs += static_cast<int>(std::lround(model::lineTimeMs(length, replyBytes, m_config.baud, bits)));
        }
    }

    if (slave == 0 || unanswered) // broadcast: act, never answer
        return;
    if (delayMs > 0 && !waitInterruptibly(delayMs))
        return;

    auto *ctx = static_cast<modbus_t *>(m_ctx);
    if (code) {
        modbus_reply_exception(ctx, req, static_cast<unsigned>(code));
        return;
    }

    std::vector<uint16_t> regs;
    HoldingImage holding;
    InputImage inputs;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        holding = m_holding;
        model::Environment env = environmentLocked();
        env.reportedMode = modeForReply;
        inputs = model::evaluateInputs(m_holding, env);
        for (int i = 0; i < model::kInputCount; ++i)
            if (m_overrides[i])
                inputs[i] = *m_overrides[i];
    }

    if (shortCount || corrupt || wrongEcho) {
        std::vector<uint8_t> f{static_cast<uint8_t>(slave), static_cast<uint8_t>(function)};
        if (function == 3 || function == 4) {
            const int n = shortCount ? shortCount : r.count;
            f.push_back(static_cast<uint8_t>(2 * n));
            for (int i = 0; i < n; ++i)
                appendWord(f, function == 3 ? holding[r.address + i] : inputs[r.address + i]);
        } else {
            appendWord(f, static_cast<uint16_t>(r.address + (wrongEcho ? 1 : 0)));
            appendWord(f, function == 6 ? r.values[0] : static_cast<uint16_t>(r.count));
        }
        appendCrc(f, corrupt);
        writeRaw(f);
        return;
    }

    auto *map = static_cast<modbus_mapping_t *>(m_mapping);
    for (int i = 0; i < model::kHoldingCount; ++i)
        map->tab_registers[i] = holding[i];
    for (int i = 0; i < model::kInputCount; ++i)
        map->tab_input_registers[i] = inputs[i];
    modbus_reply(ctx, req, length, map);
}

// --- register image and model --------------------------------------------

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

// --- faults ------------------------------------------------------------------

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

// --- bookkeeping --------------------------------------------------------------

void Simulator::logRequest(const Request &r)
{
    m_requests.push_back(r);
    while (m_requests.size() > kRequestLogLimit)
        m_requests.pop_front();
}

std::vector<Request> Simulator::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_requests.begin(), m_requests.end()};
}

int Simulator::requestCount(int function, int address) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const auto &r : m_requests)
        if (r.function == function && (address < 0 || r.address == address))
            ++n;
    return n;
}

void Simulator::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

// --- store file -----------------------------------------------------------------

bool Simulator::loadStoreFile(const std::string &path, HoldingImage &image)
{
    std::ifstream in(path);
    if (!in)
        return false;
    HoldingImage h = model::defaultHolding();
    std::string line;
    bool any = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream s(line);
        long addr = -1, value = -1;
        if (!(s >> addr >> value) || addr < 0 || addr >= model::kHoldingCount || value < 0 || value > 0xFFFF)
            continue;
        h[addr] = static_cast<uint16_t>(value);
        any = true;
    }
    if (any)
        image = h;
    return any;
}

bool Simulator::saveStoreFile(const std::string &path, const HoldingImage &image)
{
    // Write beside and rename, so that a crash never leaves half a file.
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out)
            return false;
        out << "# tcal-sim stored holding registers: address value\n";
        for (int i = 0; i < model::kHoldingCount; ++i)
            out << i << ' ' << image[i] << '\n';
        if (!out.flush())
            return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

int Simulator::storedBaud(const std::string &path)
{
    HoldingImage h{};
    if (!loadStoreFile(path, h))
        return 0;
    return h[13];
}

} // namespace sim
