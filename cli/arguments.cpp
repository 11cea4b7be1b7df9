#include "arguments.h"

#include "configuration.h"

#include <QCommandLineParser>

namespace {

const char kDescription[] =
    "Configures and reads a 4-20 mA temperature transmitter over Modbus RTU.\n"
    "\n"
    "Commands:\n"
    "  info               live values and work mode\n"
    "  read               the configuration as JSON on standard output\n"
    "  save FILE          the configuration into FILE (JSON)\n"
    "  compare FILE       the device against FILE, differing fields listed;\n"
    "                     exit status 0 when equal, 1 when different\n"
    "  apply FILE         writes the fields that differ from FILE, stores them (321 to\n"
    "                     holding 62), reads back and verifies every field; exit status\n"
    "                     0 only when verified. A malformed or incompatible FILE is\n"
    "                     refused before anything is written.\n"
    "  dump holding|input a register block as CSV (register,value)\n"
    "  monitor            CSV lines of time, measured temperature, room temperature, ADC;\n"
    "                     --interval S between reads, --count N lines (0: until stopped)\n"
    "  scan               asks every address of --addresses (1-247) at each rate of --bauds\n"
    "                     (the --baud rate) and lists those that answer (address,baud);\n"
    "                     each address waits --timeout ms (600), so a full scan takes\n"
    "                     some 2.5 minutes a rate\n"
    "\n"
    "Exit status: 0 success, 1 different / not verified / nothing found, 2 usage error,\n"
    "3 link error (port missing, no reply, exception reply), 4 file error.";

QSerialPort::Parity parityOf(const QString &text, bool *ok)
{
    *ok = true;
    if (text == QLatin1String("N"))
        return QSerialPort::NoParity;
    if (text == QLatin1String("E"))
        return QSerialPort::EvenParity;
    if (text == QLatin1String("O"))
        return QSerialPort::OddParity;
    *ok = false;
    return QSerialPort::NoParity;
}

// Number options with their limits; false with a message when one is not.
bool number(const QCommandLineParser &p, const QString &name, int min, int max, int *value,
            QString *error)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const int n = p.value(name).toInt(&ok);
    if (ok && n >= min && n <= max) {
        *value = n;
        return true;
    }
    *error = QStringLiteral("--%1 must be a whole number from %2 to %3").arg(name).arg(min).arg(max);
    return false;
}

bool addressRange(const QString &text, cli::Invocation &inv, QString *error)
{
    const QStringList ends = text.split(QLatin1Char('-'));
    bool firstOk = false;
    bool lastOk = false;
    inv.firstAddress = ends.value(0).toInt(&firstOk);
    inv.lastAddress = ends.value(1).toInt(&lastOk);
    if (ends.size() == 2 && firstOk && lastOk && inv.firstAddress >= 1
        && inv.firstAddress <= inv.lastAddress && inv.lastAddress <= 247)
        return true;
    *error = QStringLiteral("--addresses takes a range such as 1-247");
    return false;
}

bool lineOptions(const QCommandLineParser &p, cli::Invocation &inv, QString *error)
{
    inv.line.port = p.value("port");
    int stop = 1;
    if (!number(p, "baud", 300, 921600, &inv.line.baud, error) || !number(p, "address", 1, 247, &inv.line.address, error)
        || !number(p, "stop", 1, 2, &stop, error) || !number(p, "timeout", 1, 60000, &inv.line.timeoutMs, error)
        || !number(p, "count", 0, 1 << 30, &inv.count, error))
        return false;
    inv.line.stopBits = stop == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
    bool ok = true;
    inv.line.parity = parityOf(p.value("parity"), &ok);
    if (!ok) {
        *error = QStringLiteral("--parity must be N, E or O");
        return false;
    }
    inv.intervalSeconds = p.value("interval").toDouble(&ok);
    // At most a day: the pause between reads is a timer of int milliseconds.
    if (!ok || !(inv.intervalSeconds >= 0 && inv.intervalSeconds <= 86400)) {
        *error = QStringLiteral("--interval must be a number of seconds from 0 to 86400");
        return false;
    }
    for (const QString &b : p.value("bauds").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int baud = b.toInt(&ok);
        if (!ok || baud < 300 || baud > 921600) {
            *error = QStringLiteral("--bauds takes rates such as 4800,9600");
            return false;
        }
        inv.bauds << baud;
    }
    return addressRange(p.value("addresses"), inv, error);
}

cli::Parsed refused(const QString &error)
{
    return {std::nullopt, cli::UsageError, QString(), error};
}

} // namespace

namespace cli {

Parsed parseArguments(const QStringList &arguments)
{
    QCommandLineParser p;
    p.setApplicationDescription(QString::fromUtf8(kDescription));
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {"port", "Serial port (required), e.g. /dev/ttyUSB0.", "P"},
        {"baud", "Baud rate (default 4800).", "B", "4800"},
        {"parity", "Parity: N, E or O (default N).", "N|E|O", "N"},
        {"stop", "Stop bits: 1 or 2 (default 1).", "1|2", "1"},
        {"address", "Device address 1-247 (default 192).", "A", "192"},
        {"timeout", "Reply timeout in ms (default: from the baud rate; scan: 600 per address).", "MS"},
        {"tag", "read/save: tag written into the file.", "TEXT"},
        {"description", "read/save: description written into the file.", "TEXT"},
        {"interval", "monitor: seconds between reads (default 1).", "S", "1"},
        {"count", "monitor: number of lines (default 0, until stopped).", "N", "0"},
        {"bauds", "scan: baud rates to try, e.g. 4800,9600 (default: --baud).", "LIST"},
        {"addresses", "scan: address range (default 1-247).", "FROM-TO", "1-247"},
    });
    p.addPositionalArgument("command", "info, read, save, compare, apply, dump, monitor or scan.");
    p.addPositionalArgument("argument", "FILE for save, compare, apply; holding or input for dump.", "[argument]");
    if (!p.parse(arguments))
        return refused(p.errorText());
    if (p.isSet(QStringLiteral("help")))
        return {std::nullopt, cli::Success, p.helpText(), QString()};
    if (p.isSet(QStringLiteral("version")))
        return {std::nullopt, cli::Success,
                QStringLiteral("tcal-cli %1\n").arg(config::toolVersion()), QString()};

    cli::Invocation inv;
    inv.command = p.positionalArguments().value(0);
    inv.arguments = p.positionalArguments().mid(1);
    inv.tag = p.value("tag");
    inv.description = p.value("description");
    if (inv.command.isEmpty())
        return refused(QStringLiteral("no command; see --help"));
    if (!p.isSet("port"))
        return refused(QStringLiteral("--port is required"));
    QString error;
    if (!lineOptions(p, inv, &error))
        return refused(error);
    return {inv, cli::Success, QString(), QString()};
}

} // namespace cli
