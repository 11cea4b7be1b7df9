// tcal-sim: the simulated transmitter as a program, driven from standard input.
#include "console.h"
#include "scpi_server.h"
#include "simulator.h"
#include "units.h"
#include "units_console.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

volatile sig_atomic_t g_quit = 0;

void onSignal(int)
{
    g_quit = 1;
}

const char *usage =
    "Usage: tcal-sim --port PATH [options]\n"
    "\n"
    "Simulated 4-20 mA temperature transmitter: a Modbus RTU server on a serial\n"
    "line (for example one end of a socat pty pair).\n"
    "\n"
    "Options:\n"
    "  --port PATH        serial device to serve on (required)\n"
    "  --baud N           baud rate (default 4800, or holding 13 of the store file)\n"
    "  --parity N|E|O     parity (default N)\n"
    "  --data-bits N      7 or 8 (default 8)\n"
    "  --stop-bits N      1 or 2 (default 1)\n"
    "  --address N        Modbus server address (default 192)\n"
    "  --store FILE       keep the stored register image in FILE across restarts\n"
    "  --mv X             applied thermocouple input in mV (default 4.0)\n"
    "  --ohm X            applied RTD input in ohm (default 138.5)\n"
    "  --ambient X        ambient temperature in degC (default 23.5)\n"
    "  --no-line-speed    answer at once instead of at the pace of a real line\n"
    "  --latency MS       turnaround before each reply (default 5)\n"
    "  --no-drift         keep the live values still\n"
    "  --scpi ADDRESS     serve a SCPI calibrator and meter as well: tcp:127.0.0.1:PORT\n"
    "                     (calibrator on PORT, meter on PORT+1), or a path P (ptys\n"
    "                     linked at P.source and P.meter)\n"
    "  --units N          a batch: N transmitters (1..32), unit K on PATH.K (--port\n"
    "                     PATH), each with its own errors; with --scpi a switch as\n"
    "                     well (PORT+2 or P.switch) routes the calibrator and the meter\n"
    "  --unit-input tc|rtd  a batch's units: type K 0..1000 degC on the millivolt bus\n"
    "                     (default), or PT100 0..400 degC each behind its own route\n"
    "  --own-meters       with --units and --scpi: each unit's loop has a meter of its\n"
    "                     own too, reading that loop only (PORT+4+K-1 or P.meter.K)\n"
    "  -h, --help         this text\n"
    "  -v, --version      the version\n"
    "\n"
    "Once running it reads commands from standard input (type 'help').\n"
    "It stops on 'quit', SIGINT or SIGTERM; end of input does not stop it.\n";

bool parseInt(const char *s, long lo, long hi, long &out)
{
    char *end = nullptr;
    errno = 0;
    out = std::strtol(s, &end, 10);
    return errno == 0 && end != s && *end == '\0' && out >= lo && out <= hi;
}

bool parseDouble(const char *s, double &out)
{
    char *end = nullptr;
    out = std::strtod(s, &end);
    return end != s && *end == '\0';
}

int fail(const std::string &msg)
{
    std::cerr << "tcal-sim: " << msg << "\n(see tcal-sim --help)\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    sim::Config c;
    c.lineSpeed = true;
    c.drift = true;
    bool baudGiven = false;
    double mv = 4.0, ohm = 138.5, ambient = 23.5;
    std::string scpi;
    long unitCount = 0;
    sim::UnitInput unitInput = sim::UnitInput::Thermocouple;
    bool ownMeters = false;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&](const char *&out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        const char *v = nullptr;
        long n = 0;
        if (a == "-h" || a == "--help") {
            std::cout << usage;
            return 0;
        } else if (a == "-v" || a == "--version") {
            std::cout << "tcal-sim " TCAL_VERSION "\n";
            return 0;
        } else if (a == "--no-line-speed") {
            c.lineSpeed = false;
        } else if (a == "--no-drift") {
            c.drift = false;
        } else if (a == "--port") {
            if (!value(v)) return fail("--port needs a path");
            c.port = v;
        } else if (a == "--scpi") {
            if (!value(v) || !*v) return fail("--scpi needs tcp:127.0.0.1:PORT or a path");
            scpi = v;
        } else if (a == "--units") {
            if (!value(v) || !parseInt(v, 1, sim::Units::kMaxUnits, unitCount)) return fail("--units takes 1..32");
        } else if (a == "--own-meters") {
            ownMeters = true;
        } else if (a == "--unit-input") {
            if (!value(v) || (std::strcmp(v, "tc") != 0 && std::strcmp(v, "rtd") != 0))
                return fail("--unit-input takes tc or rtd");
            unitInput = std::strcmp(v, "rtd") == 0 ? sim::UnitInput::Rtd : sim::UnitInput::Thermocouple;
        } else if (a == "--latency") {
            if (!value(v) || !parseInt(v, 0, 10000, n)) return fail("bad --latency");
            c.latencyMs = static_cast<int>(n);
        } else if (a == "--store") {
            if (!value(v)) return fail("--store needs a file");
            c.storeFile = v;
        } else if (a == "--baud") {
            if (!value(v) || !parseInt(v, 50, 4000000, n)) return fail("bad --baud");
            c.baud = static_cast<int>(n);
            baudGiven = true;
        } else if (a == "--parity") {
            if (!value(v) || std::strlen(v) != 1 || !std::strchr("NEOneo", v[0])) return fail("--parity takes N, E or O");
            c.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(v[0])));
        } else if (a == "--data-bits") {
            if (!value(v) || !parseInt(v, 5, 8, n)) return fail("bad --data-bits");
            c.dataBits = static_cast<int>(n);
        } else if (a == "--stop-bits") {
            if (!value(v) || !parseInt(v, 1, 2, n)) return fail("bad --stop-bits");
            c.stopBits = static_cast<int>(n);
        } else if (a == "--address") {
            if (!value(v) || !parseInt(v, 1, 247, n)) return fail("--address takes 1..247");
            c.address = static_cast<int>(n);
        } else if (a == "--mv") {
            if (!value(v) || !parseDouble(v, mv)) return fail("bad --mv");
        } else if (a == "--ohm") {
            if (!value(v) || !parseDouble(v, ohm)) return fail("bad --ohm");
        } else if (a == "--ambient") {
            if (!value(v) || !parseDouble(v, ambient)) return fail("bad --ambient");
        } else {
            return fail("unknown option " + a);
        }
    }
    if (c.port.empty())
        return fail("--port is required");
    if (ownMeters && (unitCount == 0 || scpi.empty()))
        return fail("--own-meters needs --units and --scpi");

    // A restarted transmitter talks at the rate it stored.
    if (!baudGiven && !c.storeFile.empty()) {
        const int stored = sim::Simulator::storedBaud(c.storeFile);
        if (stored > 0)
            c.baud = stored;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    sim::Simulator s;
    std::unique_ptr<sim::Units> units;
    std::unique_ptr<sim::ScpiLab> lab;
    if (unitCount > 0) {
        // The instruments own the inputs of a batch ('all drift on' lets them wander);
        // ambient is the room's.
        c.drift = false;
        units = std::make_unique<sim::Units>(int(unitCount), unitInput);
        for (int k = 1; k <= units->count(); ++k)
            units->unit(k).setAmbient(ambient);
        std::string why;
        if (!units->start(c, c.port, &why)) {
            std::cerr << "tcal-sim: " << why << "\n";
            return 1;
        }
        lab = std::make_unique<sim::ScpiLab>(*units, ownMeters);
        std::cout << "tcal-sim: " << units->count() << " units at address " << c.address << " on "
                  << sim::Units::portOf(c.port, 1) << " .. " << sim::Units::portOf(c.port, units->count())
                  << " at " << c.baud << " " << c.dataBits << c.parity << c.stopBits << std::endl;
    } else {
        s.setAppliedMillivolts(mv);
        s.setAppliedOhms(ohm);
        s.setAmbient(ambient);
        if (!s.start(c)) {
            std::cerr << "tcal-sim: " << s.lastError() << "\n";
            return 1;
        }
        lab = std::make_unique<sim::ScpiLab>(s);
        std::cout << "tcal-sim: address " << c.address << " on " << c.port << " at " << c.baud << " "
                  << c.dataBits << c.parity << c.stopBits << (c.lineSpeed ? ", line speed" : "")
                  << (c.drift ? ", drift" : "") << (c.storeFile.empty() ? "" : ", store " + c.storeFile)
                  << std::endl;
    }
    if (!scpi.empty()) {
        std::string why;
        if (!lab->serve(scpi, &why)) {
            std::cerr << "tcal-sim: " << why << "\n";
            if (units)
                units->stop();
            s.stop();
            return 1;
        }
        std::cout << "tcal-sim: calibrator on " << lab->address(sim::Instrument::Source) << ", meter on "
                  << lab->address(sim::Instrument::Meter);
        if (lab->hasSwitch())
            std::cout << ", switch on " << lab->address(sim::Instrument::Switch);
        std::cout << std::endl;
        // A line of its own, unit K's meter K-th, so the line above reads as before.
        if (lab->unitMeterCount() > 0) {
            std::cout << "tcal-sim: unit meters on";
            for (int k = 1; k <= lab->unitMeterCount(); ++k)
                std::cout << (k > 1 ? ", " : " ") << lab->unitMeterAddress(k);
            std::cout << std::endl;
        }
    }
    std::cout << "type 'help' for commands" << std::endl;

    std::string pending;
    bool inputOpen = true, quit = false;
    while (!g_quit && !quit) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int rc = poll(&p, inputOpen ? 1 : 0, 200);
        if (rc <= 0 || !(p.revents & (POLLIN | POLLHUP)))
            continue;
        char buf[512];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            inputOpen = false; // keep serving without a console
            continue;
        }
        pending.append(buf, static_cast<size_t>(n));
        for (size_t nl; !quit && (nl = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            sim::ScpiLab *served = scpi.empty() ? nullptr : lab.get();
            std::cout << (units ? sim::runUnitsCommand(*units, served, line, &quit)
                                : sim::runConsoleCommand(s, line, &quit, served))
                      << std::flush;
        }
    }
    lab->stop();
    if (units)
        units->stop();
    s.stop();
    return 0;
}
