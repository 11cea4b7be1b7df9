#include "console.h"

#include "engineering_console.h"
#include "scpi_console.h"
#include "simulator.h"

#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <vector>

namespace sim {

const char *consoleHelp()
{
    static const std::string text = std::string("Commands:\n"
           "  set mv X                 applied thermocouple input in mV\n"
           "  set ohm X                applied RTD input in ohm\n"
           "  set ambient X            ambient (room) temperature in degC\n"
           "  set degc X               applied input as degC for the configured type\n"
           "  set error gain G offset X  input-stage error (X in mV or ohm)\n"
           "  set error off            no input-stage error\n"
           "  curves standard|linear   convert with the standard sensor tables or straight lines\n"
           "  set holding N V          write holding register N (no side effects)\n"
           "  set input N V|off        force input register N, or stop forcing it\n"
           "  set decimals N           decimal-places code reported in input 11\n"
           "  set mode N               enter work mode N at once\n"
           "  set reportdelay N        input 12 follows a new mode after N input reads\n"
           "  drift on|off             let the live values wander\n"
           "  fault silent on|off      answer nothing\n"
           "  fault crc on|off         damage the CRC of every reply\n"
           "  fault delay MS           hold every reply back by MS milliseconds\n"
           "  fault short N            read replies carry only N registers (0 = off)\n"
           "  fault drop N             leave the next N requests unanswered\n"
           "  fault exception F C [R]  answer function F (or any) with exception code C,\n"
           "                           only for requests covering register R if given\n"
           "  fault linespeed on|off   delay replies as a real line at the set baud would\n"
           "  fault refuse R [C]       refuse every write touching holding R (code C, default 4)\n"
           "  fault late R MS          answer the next write touching holding R MS ms late\n"
           "  fault echo on|off        answers to writes echo the next register\n"
           "  power cycle              RAM takes the stored image, modes and commands end\n"
           "  set latency MS           turnaround before each reply (default 5)\n"
           "  fault off                clear every fault but line speed\n"
           "  show holding|input|stored|state|faults|requests\n"
           "  clear requests           forget the request log\n"
           "  help                     this text\n"
           "  quit                     stop the simulator\n")
        + scpiConsoleHelp();
    return text.c_str();
}

namespace {

bool toNumber(const std::string &s, double &out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end && *end == '\0';
}

bool toInt(const std::string &s, long &out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    out = std::strtol(s.c_str(), &end, 0);
    return end && *end == '\0';
}

bool toSwitch(const std::string &s, bool &out)
{
    if (s == "on" || s == "1") { out = true; return true; }
    if (s == "off" || s == "0") { out = false; return true; }
    return false;
}

std::string table(const std::vector<uint16_t> &v)
{
    std::ostringstream o;
    for (size_t i = 0; i < v.size(); ++i) {
        o << std::setw(3) << i << ": " << std::setw(5) << v[i] << ((i % 8 == 7 || i + 1 == v.size()) ? "\n" : "   ");
    }
    return o.str();
}

} // namespace

std::string runConsoleCommand(Simulator &s, const std::string &line, bool *quit, ScpiLab *lab)
{
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string t; in >> t;)
        w.push_back(t);
    if (w.empty())
        return {};
    const std::string bad = "? " + line + "  (try: help)\n";
    const auto arg = [&](size_t i) { return i < w.size() ? w[i] : std::string(); };
    double d = 0;
    long n = 0, m = 0;
    bool on = false;

    if (w[0] == "help" || w[0] == "?")
        return consoleHelp();
    if (w[0] == "quit" || w[0] == "exit") {
        if (quit)
            *quit = true;
        return "bye\n";
    }
    if (w[0] == "drift" && toSwitch(arg(1), on)) {
        s.setDrift(on);
        return "ok\n";
    }
    if (w[0] == "scpi") {
        const std::string out = lab ? runScpiCommand(*lab, w) : "no instruments (start with --scpi)\n";
        return out.empty() ? bad : out;
    }
    if (w[0] == "curves")
        return runCurvesCommand(s, w) ? "ok\n" : bad;
    if (w[0] == "power" && arg(1) == "cycle") {
        s.powerCycle();
        return "ok\n";
    }
    if (w[0] == "clear" && arg(1) == "requests") {
        s.clearRequests();
        return "ok\n";
    }
    if (w[0] == "set") {
        const std::string what = arg(1);
        if (what == "mv" && toNumber(arg(2), d)) { s.setAppliedMillivolts(d); return "ok\n"; }
        if (what == "ohm" && toNumber(arg(2), d)) { s.setAppliedOhms(d); return "ok\n"; }
        if (what == "ambient" && toNumber(arg(2), d)) { s.setAmbient(d); return "ok\n"; }
        if (what == "degc" && toNumber(arg(2), d)) { s.setAppliedCelsius(d); return "ok\n"; }
        if (what == "error")
            return runErrorCommand(s, w) ? "ok\n" : bad;
        if (what == "decimals" && toInt(arg(2), n) && n >= 0 && n <= 0xFFFF) {
            s.setDecimalPlaces(static_cast<uint16_t>(n));
            return "ok\n";
        }
        if (what == "mode" && toInt(arg(2), n) && n >= 0 && n <= 4) { s.setWorkMode(static_cast<int>(n)); return "ok\n"; }
        if (what == "latency" && toInt(arg(2), n) && n >= 0) { s.setLatencyMs(static_cast<int>(n)); return "ok\n"; }
        if (what == "reportdelay" && toInt(arg(2), n) && n >= 0) { s.setModeReportDelay(static_cast<int>(n)); return "ok\n"; }
        if (what == "holding" && toInt(arg(2), n) && n >= 0 && n < 64 && toInt(arg(3), m) && m >= -32768 && m <= 0xFFFF) {
            s.setHolding(static_cast<int>(n), static_cast<uint16_t>(m));
            return "ok\n";
        }
        if (what == "input" && toInt(arg(2), n) && n >= 0 && n < 13) {
            if (arg(3) == "off") { s.setInputOverride(static_cast<int>(n), std::nullopt); return "ok\n"; }
            if (toInt(arg(3), m) && m >= -32768 && m <= 0xFFFF) {
                s.setInputOverride(static_cast<int>(n), static_cast<uint16_t>(m));
                return "ok\n";
            }
        }
        return bad;
    }
    if (w[0] == "fault") {
        const std::string what = arg(1);
        if (what.empty())
            return s.describeFaults();
        if (what == "off") { s.clearFaults(); return "ok\n"; }
        if (what == "silent" && toSwitch(arg(2), on)) { s.setSilent(on); return "ok\n"; }
        if (what == "crc" && toSwitch(arg(2), on)) { s.setCorruptCrc(on); return "ok\n"; }
        if (what == "linespeed" && toSwitch(arg(2), on)) { s.setLineSpeed(on); return "ok\n"; }
        if (what == "delay" && toInt(arg(2), n) && n >= 0) { s.setReplyDelayMs(static_cast<int>(n)); return "ok\n"; }
        if (what == "short" && toInt(arg(2), n) && n >= 0) { s.setShortRead(static_cast<int>(n)); return "ok\n"; }
        if (what == "drop" && toInt(arg(2), n) && n >= 0) { s.dropNext(static_cast<int>(n)); return "ok\n"; }
        if (what == "echo" && toSwitch(arg(2), on)) { s.setWrongEcho(on); return "ok\n"; }
        long ms = 0;
        if (what == "late" && toInt(arg(2), n) && n >= 0 && n < 64 && toInt(arg(3), ms) && ms >= 0) {
            s.answerLate(static_cast<int>(n), static_cast<int>(ms));
            return "ok\n";
        }
        if (what == "refuse" && toInt(arg(2), n) && n >= 0 && n < 64) {
            long code = 4;
            if (arg(3).empty() || (toInt(arg(3), code) && code > 0 && code < 256)) {
                s.refuseWrites(static_cast<int>(n), static_cast<int>(code));
                return "ok\n";
            }
        }
        if (what == "exception") {
            long fn = -1, reg = -1;
            const bool fnOk = arg(2) == "any" || (toInt(arg(2), fn) && fn > 0 && fn < 128);
            const bool regOk = arg(4).empty() || arg(4) == "any" || (toInt(arg(4), reg) && reg >= 0);
            if (fnOk && regOk && toInt(arg(3), n) && n > 0 && n < 256) {
                s.setException(static_cast<int>(fn), static_cast<int>(reg), static_cast<int>(n));
                return "ok\n";
            }
        }
        return bad;
    }
    if (w[0] == "show") {
        const std::string what = arg(1);
        if (what == "holding") return table(s.holdingImage());
        if (what == "input") return table(s.inputImage());
        if (what == "stored") return table(s.storedImage());
        if (what == "faults") return s.describeFaults();
        if (what == "state" || what.empty()) {
            std::ostringstream o;
            o << std::fixed << std::setprecision(3)
              << "work mode " << s.workMode() << " (reported " << s.reportedMode() << ")\n"
              << "adc " << s.adcValue() << "\n"
              << "temperature " << s.measuredTemperature() << "\n"
              << "room " << s.roomTemperature() << "\n"
              << "loop current " << s.loopCurrentMa() << " mA\n"
              << describeEngineeringInput(s);
            return o.str();
        }
        if (what == "requests") {
            std::ostringstream o;
            for (const auto &r : s.requests()) {
                o << "fc " << r.function << " addr " << r.address << " count " << r.count;
                if (!r.values.empty()) {
                    o << " values";
                    for (auto v : r.values)
                        o << ' ' << v;
                }
                o << (r.answered ? " answered" : r.exception ? " exception " + std::to_string(r.exception) : " unanswered")
                  << "\n";
            }
            return o.str();
        }
        return bad;
    }
    return bad;
}

} // namespace sim
