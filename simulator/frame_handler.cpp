// One request frame: decoded, logged, judged against the fault switches and
// the register map, applied to the device state, and answered (or not).

#include "simulator.h"
#include "simulator_detail.h"

#include <modbus.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <tuple>

namespace sim {

using detail::clearCommandWords;
using detail::nowSeconds;

namespace {

constexpr int kRtuHeader = 1; // slave address precedes the PDU

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

// The exception the register map gives a well-formed request, 0 for none.
int mapException(const Request &r, const uint8_t *pdu)
{
    int code = 0;
    switch (r.function) {
    case 3:
    case 4: {
        const int limit = r.function == 3 ? model::kHoldingCount : model::kInputCount;
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
    // The store command takes only its one value.
    if (code == 0 && (r.function == 6 || r.function == 16) && r.address <= 62
        && 62 < r.address + r.count && r.values[62 - r.address] != 321)
        code = MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
    return code;
}

} // namespace

struct Simulator::Decision {
    int code = 0;          // the exception to answer with, 0 for none
    int shortCount = 0;    // a read answered with this many registers only
    bool corrupt = false;
    int delayMs = 0;
    int modeForReply = 0;
    bool wrongEcho = false;
    bool unanswered = false;   // applied, never answered
};

// The request a frame carries, as the log keeps it.
Request Simulator::decode(const uint8_t *req, int length)
{
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
    return r;
}

// A frame whose length is not the one its function's fields make is a
// damaged one, and one with the exception bit set is no request (its
// exception answer would wrap to another function code): dropped
// unanswered, never read past its end.
bool Simulator::complete(const uint8_t *req, int length)
{
    const int function = req[kRtuHeader];
    const uint8_t *pdu = req + kRtuHeader + 1;
    const int pduLength = length - kRtuHeader - 1 - 2;
    const bool fixedFields = function == 3 || function == 4 || function == 6;
    return pduLength >= 0 && function < 0x80 && (!fixedFields || pduLength == 4)
        && (function != 16 || (pduLength >= 5 && pduLength == 5 + pdu[4]));
}

// Under the lock: the faults due, the request judged against the register
// map, a write applied, the request logged and the answer's delay. False
// when the request is lost on the line.
bool Simulator::judge(Request &r, const uint8_t *req, int length, Decision &d)
{
    const int slave = req[0];
    const int function = req[kRtuHeader];
    const uint8_t *pdu = req + kRtuHeader + 1;
    int &code = d.code;
    int &shortCount = d.shortCount;
    bool &corrupt = d.corrupt;
    int &delayMs = d.delayMs;
    int &modeForReply = d.modeForReply;
    bool &wrongEcho = d.wrongEcho;
    bool &unanswered = d.unanswered;
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
        return false;
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
        return false;
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
    if (code == 0)
        code = mapException(r, pdu);

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
    return true;
}

void Simulator::handle(const uint8_t *req, int length)
{
    if (length < 2)
        return;
    const int slave = req[0];
    Request r = decode(req, length);
    Decision d;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!complete(req, length)) {
            logRequest(r);
            return;
        }
        if (!judge(r, req, length, d))
            return;
    }
    if (slave == 0 || d.unanswered) // broadcast: act, never answer
        return;
    if (d.delayMs > 0 && !waitInterruptibly(d.delayMs))
        return;
    answer(req, length, r, d);
}

// The answer: an exception, a damaged or short one as the switches make it, or the normal reply.
void Simulator::answer(const uint8_t *req, int length, const Request &r, const Decision &d)
{
    const int slave = req[0];
    const int function = req[kRtuHeader];
    const int code = d.code, shortCount = d.shortCount, modeForReply = d.modeForReply;
    const bool corrupt = d.corrupt, wrongEcho = d.wrongEcho;
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

} // namespace sim
