#pragma once
// Every bus timing bound follows from one unit derived from the baud rate.

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
// Command writes of the current-output procedures share this fixed budget with their read-back.
constexpr int kCommandBudget = 3;

} // namespace bus
