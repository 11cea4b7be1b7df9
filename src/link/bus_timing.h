#pragma once
// Every bus timing bound follows from the line: the unit derived from the baud
// rate gives the tool's own bounds, the serial format the time frames really
// take; the budget in force is the larger of the two.

namespace bus {

// Timing unit in ms; integer arithmetic on purpose (1200 -> 1066, 9600 -> 133).
constexpr int unitMs(int baud) { return baud >= 20 ? 64000 / (baud / 20) : 0; }
constexpr int responseTimeoutMs(int baud) { return unitMs(baud) + 400; }
constexpr int pollPeriodMs(int baud) { return unitMs(baud) + 500; }
// Checks of 100 ms before a request is given up as "link busy".
constexpr int preWaitChecks(int baud) { return (unitMs(baud) + 300) / 100; }
// Checks of 50 ms an operation waits for its read reply.
constexpr int resultWaitChecks(int baud) { return (unitMs(baud) + 200) / 50 + 20; }

constexpr int kPreWaitStepMs = 100;
constexpr int kResultWaitStepMs = 50;
// Command writes of the current-output procedures share this budget with their read-back.
constexpr int kCommandBudget = 3;

// The character format on the wire.
struct SerialFormat {
    int baud = 9600;
    int dataBits = 8;
    bool parity = false;
    int stopBits = 1;   // one and a half counts as two
};

// Start bit, data bits, parity bit, stop bits.
int bitsPerCharacter(const SerialFormat &format);
// Time `bytes` characters take on the line, in ms.
double charactersMs(int bytes, const SerialFormat &format);

// A device answers a few ms after a request; this much is allowed for it.
constexpr int kTurnaroundAllowanceMs = 50;
// Reply timeouts leave at least this much over the longest exchange.
constexpr int kTimeoutMarginMs = 200;

// The longest exchange the tool makes: the 64-register holding read, both
// frames with their 3.5-character silences, plus the device's turnaround.
int longestExchangeMs(const SerialFormat &format);
// One exchange of a request of `requestBytes` and a reply of `replyBytes`.
int exchangeMs(int requestBytes, int replyBytes, const SerialFormat &format);

// The bounds in force on a line: never below the unit-derived ones.
struct LineBudget {
    int responseTimeoutMs;
    int pollPeriodMs;
    int preWaitChecks;      // of kPreWaitStepMs
    int resultWaitChecks;   // of kResultWaitStepMs
    int commandChecks;      // of kPreWaitStepMs, for the current-output commands
};
LineBudget lineBudget(const SerialFormat &format);

} // namespace bus
