#include "link/bus_timing.h"

#include "core/registers.h"

#include <algorithm>
#include <cmath>

namespace bus {

namespace {
constexpr int kHoldingReadRequestBytes = 8;
constexpr int kHoldingReadReplyBytes = 5 + 2 * reg::kHoldingCount;
constexpr double kFrameSilenceCharacters = 3.5;

int ceilDiv(double value, int step) { return int(std::ceil(value / step)); }
}

int bitsPerCharacter(const SerialFormat &format)
{
    return 1 + format.dataBits + (format.parity ? 1 : 0) + (format.stopBits >= 2 ? 2 : 1);
}

double charactersMs(int bytes, const SerialFormat &format)
{
    if (format.baud <= 0)
        return 0.0;
    return bytes * bitsPerCharacter(format) * 1000.0 / format.baud;
}

int exchangeMs(int requestBytes, int replyBytes, const SerialFormat &format)
{
    const double characters = requestBytes + replyBytes + 2 * kFrameSilenceCharacters;
    return int(std::ceil(charactersMs(1, format) * characters)) + kTurnaroundAllowanceMs;
}

int longestExchangeMs(const SerialFormat &format)
{
    return exchangeMs(kHoldingReadRequestBytes, kHoldingReadReplyBytes, format);
}

LineBudget lineBudget(const SerialFormat &format)
{
    const int baud = format.baud;
    const int exchange = longestExchangeMs(format);
    LineBudget b;
    b.responseTimeoutMs = std::max(responseTimeoutMs(baud), exchange + kTimeoutMarginMs);
    b.pollPeriodMs = std::max(pollPeriodMs(baud), b.responseTimeoutMs + 100);
    // A request already on the line ends within one exchange; one check more.
    b.preWaitChecks = std::max(preWaitChecks(baud), ceilDiv(exchange, kPreWaitStepMs) + 1);
    // An operation's read ends through its reply's timeout, never through the count.
    b.resultWaitChecks = std::max(resultWaitChecks(baud),
                                  (b.responseTimeoutMs + 800) / kResultWaitStepMs);
    b.commandChecks = std::max(kCommandBudget, b.preWaitChecks);
    return b;
}

} // namespace bus
