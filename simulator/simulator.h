// Simulated temperature transmitter: a libmodbus RTU server on one serial line.
// The live-value model is described in model.h; docs/simulator.md has the rest.
#pragma once

#include "engineering_input.h"
#include "model.h"

#include <atomic>
#include <deque>
#include <map>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sim {

struct Config {
    std::string port;
    int baud = 4800;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
    int address = 192;
    std::string storeFile;   // stored image survives restarts when set
    bool lineSpeed = false;  // delay replies as a real line at `baud` would
    int latencyMs = 5;       // turnaround before each reply, as a device takes
    bool drift = false;      // let the live values wander a little
};

struct Request {
    int function;
    int address;                  // first register; -1 when the frame carried none
    int count;                    // registers requested or written
    std::vector<uint16_t> values; // written values (function 6 and 16)
    bool answered;                // false when silent or answered with an exception;
                                  // true for a normal reply, even one a fault damaged
                                  // (corrupt CRC, short read) or held back
    int exception = 0;            // exception code sent, 0 for none
};

class Simulator {
public:
    Simulator();
    ~Simulator(); // stops the server

    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Opens the port and serves on its own thread; false on failure (see lastError()).
    // With a store file, a start is a power-up: the holding image is the stored one.
    // Work mode and the command words 50, 51, 62 always start at 0.
    bool start(const Config &c);
    // As start, but no thread serves the line: each frame, as the line delivered
    // it (address, PDU, CRC), is handed to handleFrame. For driving by hand.
    bool open(const Config &c);
    void handleFrame(const uint8_t *frame, int length);
    void stop();
    bool running() const;
    std::string lastError() const;
    Config config() const;

    uint16_t holding(int addr) const;
    void setHolding(int addr, uint16_t v); // image only: no mode change, no commit
    std::vector<uint16_t> holdingImage() const;
    uint16_t input(int addr) const; // what an input read would return now
    std::vector<uint16_t> inputImage() const;
    void setInputOverride(int addr, std::optional<uint16_t> v);
    std::vector<uint16_t> storedImage() const; // last image committed with 321
    int workMode() const;
    int reportedMode() const;
    double loopCurrentMa() const;
    double measuredTemperature() const; // unscaled, in the unit of holding 6
    double roomTemperature() const;     // unscaled, degC
    int32_t adcValue() const;

    void setAppliedMillivolts(double mv);
    void setAppliedOhms(double ohm);
    // The input in degC for the configured type (engineering_input.h); a later
    // setAppliedMillivolts/Ohms takes over again.
    void setAppliedCelsius(double celsius);
    std::optional<double> appliedCelsius() const;
    // Gain and offset error of the input stage; (1, 0) is none.
    void setInputError(double gain, double offset);
    engineering::InputError inputError() const;
    // Straight lines (default) or the standard sensor tables, for the display
    // and for the degC input alike.
    void setCurves(model::Curves curves);
    model::Curves curves() const;
    void setAmbient(double celsius);
    // This unit's own output stage (model.h); the default is the one the
    // default image's measured points correct.
    void setOutputError(model::OutputError error);
    model::OutputError outputError() const;
    // RAM and the stored image (and the store file, if any) take `image`, as a
    // unit leaves its factory configured; command words are cleared.
    void setFactoryImage(const HoldingImage &image);
    double ambient() const;
    void setDecimalPlaces(uint16_t code);
    void setModeReportDelay(int reads);
    void setWorkMode(int mode); // as if holding 50 had been written, reported at once
    void setDrift(bool on);

    // Faults
    void setSilent(bool on);
    // The next `requests` requests for our address go unanswered, as if lost on the line.
    void dropNext(int requests);
    int dropsPending() const;
    // function -1 = any function, address -1 = any register of the request
    void setException(int function, int address, int code);
    // Every write (function 6 or 16) touching holding `address` is refused.
    void refuseWrites(int address, int code = 4);
    void setLatencyMs(int ms);
    // Writes to holding `address` are answered as accepted but change nothing,
    // as a register that quietly refuses a value would.
    void ignoreWrites(int address, bool on = true);
    void clearExceptions();
    void setCorruptCrc(bool on);
    void setReplyDelayMs(int ms);
    void setShortRead(int count); // 0 = off
    void setLineSpeed(bool on);
    // The next write touching holding `address` is applied, and answered `ms` late.
    void answerLate(int address, int ms);
    // Writes are applied but their answers echo the next register, as a
    // confused device would.
    void setWrongEcho(bool on);
    // Power off and on: RAM takes the stored image, every mode and command ends.
    void powerCycle();
    // A deterministic fault at the `nth` request for our address (1-based,
    // counted from this call): what an explorer of every fault at every step needs.
    enum class Scheduled {
        None,
        LostAfterApplied,   // applied, never answered
        LostBefore,         // lost on the line: neither applied nor answered
        Late,               // applied, answered `lateMs` late
        Refused,            // exception 4, nothing applied
        PowerCycleBefore,   // power off and on just before it arrives
    };
    void scheduleFault(int nth, Scheduled fault, int lateMs = 0);
    // No fault scheduled, and the count starts again.
    void resetSchedule();
    // Requests for our address since the last resetSchedule.
    int scheduledCount() const;
    // RAM and the stored image both `image`, every mode and command ended.
    void loadImage(const HoldingImage &image);
    void clearFaults(); // all of the above off; line speed stays as it is

    // Bookkeeping
    // The latest requests for our address, in order; the log keeps kRequestLogLimit.
    std::vector<Request> requests() const;
    static constexpr size_t kRequestLogLimit = 10000;
    // Requests of `function` whose first register is `address` (-1 = any).
    int requestCount(int function, int address = -1) const;
    void clearRequests();

    // Stored-image file: one "address value" pair per line.
    static bool loadStoreFile(const std::string &path, HoldingImage &image);
    static bool saveStoreFile(const std::string &path, const HoldingImage &image);
    // The baud rate kept in holding 13 of a store file, or 0 when there is none.
    static int storedBaud(const std::string &path);

    std::string describeFaults() const;

private:
    struct ExceptionRule { int function; int address; int code; };
    struct Decision;

    void serve();
    void handle(const uint8_t *req, int length);
    static Request decode(const uint8_t *req, int length);
    static bool complete(const uint8_t *req, int length);
    bool judge(Request &r, const uint8_t *req, int length, Decision &d);
    void answer(const uint8_t *req, int length, const Request &r, const Decision &d);
    bool waitInterruptibly(int ms);
    void applyWrite(int address, const std::vector<uint16_t> &values);
    void commit();
    model::Environment environmentLocked() const;
    InputImage inputsLocked() const;
    void writeRaw(const std::vector<uint8_t> &frame);

    mutable std::mutex m_mutex;
    Config m_config;
    std::string m_error;
    HoldingImage m_holding;
    HoldingImage m_stored;
    std::array<std::optional<uint16_t>, model::kInputCount> m_overrides;
    double m_mv = 4.0, m_ohm = 138.5, m_ambient = 23.5;
    std::optional<double> m_celsius;
    engineering::InputError m_inputError;
    model::OutputError m_outputError;
    model::Curves m_curves = model::Curves::Linear;
    uint16_t m_decimals = 1;
    int m_mode = 0, m_reportedMode = 0, m_reportDelay = 0, m_reportCountdown = 0;
    bool m_drift = false;
    bool m_silent = false, m_corrupt = false, m_lineSpeed = false;
    int m_dropNext = 0;
    int m_delayMs = 0, m_shortRead = 0, m_latencyMs = 5;
    int m_lateAddress = -1, m_lateMs = 0;
    bool m_wrongEcho = false;
    std::map<int, std::pair<Scheduled, int>> m_schedule;   // nth request: fault, late ms
    int m_scheduleCount = 0;
    std::vector<ExceptionRule> m_rules;
    std::array<bool, model::kHoldingCount> m_ignored{};
    std::deque<Request> m_requests;
    void logRequest(const Request &r);

    void *m_ctx = nullptr;     // modbus_t
    void *m_mapping = nullptr; // modbus_mapping_t
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    double m_startSeconds = 0;
};

} // namespace sim
