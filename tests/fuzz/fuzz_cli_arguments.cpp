// tcal-cli's argument handling. The input is an argument vector, arguments
// separated by NUL bytes. It either gives an invocation whose every value is
// within its limits, or help/version text, or a refusal with a message.

#include "arguments.h"
#include "fuzz_check.h"

#include <QCoreApplication>
#include <climits>
#include <cmath>

// The help text names the program, as tcal-cli's own application object does.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    QCoreApplication::setApplicationName(QStringLiteral("tcal-cli"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringList arguments{QStringLiteral("tcal-cli")};
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    for (const QByteArray &a : bytes.split('\0'))
        arguments << QString::fromUtf8(a);

    const cli::Parsed parsed = cli::parseArguments(arguments);
    if (!parsed.invocation) {
        FUZZ_REQUIRE(parsed.error.isEmpty() != parsed.output.isEmpty());
        FUZZ_REQUIRE(parsed.exitCode == (parsed.error.isEmpty() ? cli::Success : cli::UsageError));
        return 0;
    }
    const cli::Invocation &inv = *parsed.invocation;
    FUZZ_REQUIRE(parsed.exitCode == cli::Success && parsed.error.isEmpty());
    FUZZ_REQUIRE(!inv.command.isEmpty());
    FUZZ_REQUIRE(inv.line.baud >= 300 && inv.line.baud <= 921600);
    FUZZ_REQUIRE(inv.line.address >= 1 && inv.line.address <= 247);
    FUZZ_REQUIRE(!inv.addresses.isEmpty() && inv.addresses.first() == inv.line.address);
    for (int address : inv.addresses)
        FUZZ_REQUIRE(address >= 1 && address <= 247 && inv.addresses.count(address) == 1);
    FUZZ_REQUIRE(inv.addresses.size() == 1 || inv.command == QLatin1String("apply"));
    FUZZ_REQUIRE(inv.retries >= 0 && inv.retries <= 10);
    FUZZ_REQUIRE(inv.line.timeoutMs >= 0 && inv.line.timeoutMs <= 60000);
    FUZZ_REQUIRE(inv.count >= 0);
    // The pause between monitor reads is a timer of int milliseconds.
    FUZZ_REQUIRE(std::isfinite(inv.intervalSeconds) && inv.intervalSeconds >= 0
                 && inv.intervalSeconds * 1000 <= INT_MAX);
    for (int baud : inv.bauds)
        FUZZ_REQUIRE(baud >= 300 && baud <= 921600);
    FUZZ_REQUIRE(inv.firstAddress >= 1 && inv.firstAddress <= inv.lastAddress && inv.lastAddress <= 247);
    return 0;
}
