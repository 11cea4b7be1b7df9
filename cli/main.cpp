// tcal-cli: the transmitter's configuration, live values and registers from a
// shell or a script, on the same core as the window.

#include "commands.h"
#include "configuration.h"
#include "records_commands.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

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
bool number(const QCommandLineParser &p, const QString &name, int min, int max, int *value)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    *value = p.value(name).toInt(&ok);
    if (ok && *value >= min && *value <= max)
        return true;
    std::fprintf(stderr, "tcal-cli: --%s must be a whole number from %d to %d\n",
                 qPrintable(name), min, max);
    return false;
}

bool addressRange(const QString &text, cli::Invocation &inv)
{
    const QStringList ends = text.split(QLatin1Char('-'));
    bool firstOk = false;
    bool lastOk = false;
    inv.firstAddress = ends.value(0).toInt(&firstOk);
    inv.lastAddress = ends.value(1).toInt(&lastOk);
    if (ends.size() == 2 && firstOk && lastOk && inv.firstAddress >= 1
        && inv.firstAddress <= inv.lastAddress && inv.lastAddress <= 247)
        return true;
    std::fprintf(stderr, "tcal-cli: --addresses takes a range such as 1-247\n");
    return false;
}

bool lineOptions(const QCommandLineParser &p, cli::Invocation &inv)
{
    inv.line.port = p.value("port");
    int stop = 1;
    if (!number(p, "baud", 300, 921600, &inv.line.baud) || !number(p, "address", 1, 247, &inv.line.address)
        || !number(p, "stop", 1, 2, &stop) || !number(p, "timeout", 1, 60000, &inv.line.timeoutMs)
        || !number(p, "count", 0, 1 << 30, &inv.count))
        return false;
    inv.line.stopBits = stop == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
    bool ok = true;
    inv.line.parity = parityOf(p.value("parity"), &ok);
    if (!ok) {
        std::fprintf(stderr, "tcal-cli: --parity must be N, E or O\n");
        return false;
    }
    inv.intervalSeconds = p.value("interval").toDouble(&ok);
    if (!ok || inv.intervalSeconds < 0) {
        std::fprintf(stderr, "tcal-cli: --interval must be a number of seconds\n");
        return false;
    }
    for (const QString &b : p.value("bauds").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int baud = b.toInt(&ok);
        if (!ok || baud < 300) {
            std::fprintf(stderr, "tcal-cli: --bauds takes rates such as 4800,9600\n");
            return false;
        }
        inv.bauds << baud;
    }
    return addressRange(p.value("addresses"), inv);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tcal-cli"));
    QCoreApplication::setApplicationVersion(config::toolVersion());

    QCommandLineParser p;
    p.setApplicationDescription(QString::fromUtf8(kDescription) + QStringLiteral("\n\nCalibration records:\n")
                                + QString::fromUtf8(cli::kRecordsHelp));
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
        {"records", "records: the records folder (default: the window's).", "FOLDER"},
    });
    p.addPositionalArgument("command", "info, read, save, compare, apply, dump, monitor or scan.");
    p.addPositionalArgument("argument", "FILE for save, compare, apply; holding or input for dump.", "[argument]");
    p.process(app);

    cli::Invocation inv;
    inv.command = p.positionalArguments().value(0);
    inv.arguments = p.positionalArguments().mid(1);
    inv.tag = p.value("tag");
    inv.description = p.value("description");
    if (inv.command.isEmpty()) {
        std::fprintf(stderr, "tcal-cli: no command; see --help\n");
        return cli::UsageError;
    }
    if (inv.command == QLatin1String("records")) {
        QTextStream out(stdout);
        QTextStream err(stderr);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        out.setCodec("UTF-8");
        err.setCodec("UTF-8");
#endif
        return cli::runRecords(inv.arguments, p.value("records"), out, err);
    }
    if (!p.isSet("port")) {
        std::fprintf(stderr, "tcal-cli: --port is required\n");
        return cli::UsageError;
    }
    if (!lineOptions(p, inv))
        return cli::UsageError;

    QTextStream out(stdout);
    QTextStream err(stderr);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");   // Qt 6 streams write UTF-8 already
    err.setCodec("UTF-8");
#endif
    return cli::run(inv, out, err);
}
