#include "arguments.h"

#include "core/configuration.h"
#include "certificate_commands.h"
#include "instruments_commands.h"
#include "person_commands.h"
#include "auto_command.h"
#include "batch_command.h"
#include "calibrate_commands.h"
#include "core/operator_input.h"
#include "records_commands.h"
#include "standards_commands.h"

#include <QCommandLineParser>

namespace {

const char kDescription[] =
    "Configures and reads a 4-20 mA temperature transmitter over Modbus RTU.\n"
    "\n"
    "Commands:\n"
    "  info               live values and work mode\n"
    "  read               the configuration as JSON on standard output\n"
    "  save FILE          the configuration into FILE (JSON), with the unit's address\n"
    "                     and --tag (a tag or serial number) recorded\n"
    "  compare FILE       the device against FILE in two sections, settings and unit\n"
    "                     calibration; exit status 0 when the settings are equal, 1 when\n"
    "                     not (calibration counts too with --include-calibration)\n"
    "  apply FILE         writes the settings that differ from FILE, reads back, and\n"
    "                     stores (321 to holding 62) only when every one verified; on\n"
    "                     any failure the values read first are written back. Unit\n"
    "                     calibration is written only with --include-calibration, and\n"
    "                     from another unit's file only with --other-unit as well.\n"
    "                     A FILE that is malformed or breaks a rule is refused before\n"
    "                     the port is opened. --address may list several: 17,18,21-24\n"
    "  dump holding|input a register block as CSV (register,value)\n"
    "  monitor            CSV lines of time, measured temperature, room temperature, ADC;\n"
    "                     --interval S between reads, --count N lines (0: until Ctrl-C);\n"
    "                     a failed read is a line with empty values\n"
    "  scan               asks every address of --addresses (1-247) at each rate of --bauds\n"
    "                     (the --baud rate) and lists those that answer (address,baud);\n"
    "                     each address waits --timeout ms (600), so a full scan takes\n"
    "                     some 2.5 minutes a rate\n"
    "%1"
    "\n"
    "Exit status: 0 success, 1 different / not verified / nothing found, 2 usage error,\n"
    "3 link error (port missing, no reply, exception reply, store refused), 4 file error.";

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

// "17,18,21-24": every address once, in the order given.
bool addressList(const QString &text, QList<int> &addresses, QString *error)
{
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.split(QLatin1Char('-'));
        bool firstOk = false;
        bool lastOk = ends.size() == 1;
        const int first = ends.value(0).toInt(&firstOk);
        const int last = ends.size() == 2 ? ends.value(1).toInt(&lastOk) : first;
        if (ends.size() > 2 || !firstOk || !lastOk || first < 1 || last < first || last > 247) {
            *error = QStringLiteral("--address takes 1-247, or for apply a list such as 17,18,21-24");
            return false;
        }
        for (int a = first; a <= last; ++a) {
            if (!addresses.contains(a))
                addresses << a;
        }
    }
    return true;
}

bool lineOptions(const QCommandLineParser &p, cli::Invocation &inv, QString *error)
{
    inv.line.port = p.value("port");
    int stop = 1;
    if (!addressList(p.value("address"), inv.addresses, error))
        return false;
    inv.line.address = inv.addresses.value(0);
    if (!number(p, "baud", 300, 921600, &inv.line.baud, error) || !number(p, "retries", 0, 10, &inv.retries, error)
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

// The options of the records and instruments commands, each within its limits.
bool recordOptions(const QCommandLineParser &p, cli::Invocation &inv, QString *error)
{
    int days = 0;
    if (!number(p, QStringLiteral("due-within"), 0, 3650, &days, error))
        return false;
    if (p.isSet("due-within"))
        inv.dueWithin = days;
    if (p.isSet("since")) {
        inv.since = QDate::fromString(p.value("since"), Qt::ISODate);
        if (!inv.since.isValid()) {
            *error = QStringLiteral("--since takes a date such as 2026-01-31");
            return false;
        }
    }
    for (const auto &[name, target] : {std::pair{"reprint", &inv.reprint}, std::pair{"replaces", &inv.replaces}}) {
        bool ok = true;
        if (p.isSet(name) && ((*target = p.value(name).toLongLong(&ok)) <= 0 || !ok)) {
            *error = QStringLiteral("--%1 takes a certificate number").arg(QLatin1String(name));
            return false;
        }
    }
    inv.signAs = p.value("as");
    if (p.isSet("as") && inv.signAs != QLatin1String("reviewer") && inv.signAs != QLatin1String("approver")) {
        *error = QStringLiteral("--as takes reviewer or approver");
        return false;
    }
    inv.out = p.value("out");
    inv.name = p.value("name").trimmed();
    inv.function = p.value("function").trimmed();
    inv.person = p.value("person").trimmed();
    inv.passphraseFile = p.value("passphrase-file");
    if (p.isSet("roles"))
        inv.roles = p.value("roles").split(QLatin1Char(','), Qt::SkipEmptyParts);
    inv.reason = p.value("reason").trimmed();
    inv.receipt.place = p.value("place").trimmed();
    inv.receipt.condition = p.value("condition").trimmed();
    inv.receipt.externalProviders = p.value("external").trimmed();
    if (p.isSet("received")) {
        inv.receipt.received = QDate::fromString(p.value("received"), Qt::ISODate);
        if (!inv.receipt.received.isValid()) {
            *error = QStringLiteral("--received takes a date such as 2026-12-01");
            return false;
        }
    }
    for (const QString &field : p.value("customer-supplied").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!record::customerFields().contains(field.trimmed())) {
            *error = QStringLiteral("--customer-supplied takes %1").arg(record::customerFields().join(QLatin1Char(',')));
            return false;
        }
        inv.receipt.customerSupplied << field.trimmed();
    }
    return true;
}

// standards save: dates as yyyy-MM-dd, texts trimmed; what is required is the register's to say.
bool standardOptions(const QCommandLineParser &p, cli::Invocation &inv, QString *error)
{
    for (const char *name : {"serial", "model", "certificate", "due", "calibrated", "status", "description"}) {
        if (p.values(name).size() > 1) {
            *error = QStringLiteral("--%1 is given more than once").arg(QLatin1String(name));
            return false;
        }
    }
    for (const auto &[name, target] : {std::pair{"due", &inv.due}, std::pair{"calibrated", &inv.calibrated}}) {
        if (!p.isSet(name))
            continue;
        *target = QDate::fromString(p.value(name), Qt::ISODate);
        if (!target->isValid()) {
            *error = QStringLiteral("--%1 takes a date such as 2027-06-30").arg(QLatin1String(name));
            return false;
        }
    }
    inv.serial = p.value("serial").trimmed();
    inv.model = p.value("model").trimmed();
    inv.certificate = p.value("certificate").trimmed();
    inv.status = p.value("status").trimmed();
    inv.certificateTerms = p.values("certificate-terms");
    return true;
}

// Readings in mA to three places, checked before the port is opened.
bool meterReadings(const QCommandLineParser &p, cli::Invocation &inv, QString *error)
{
    for (const char *name : {"at-4ma", "at-20ma"}) {
        if (!p.isSet(name))
            continue;
        const auto microamps = input::scaled(p.value(name), 1000, input::kMicroamperes);
        if (!microamps) {
            *error = QStringLiteral("--%1 must be a current from 0 to 65.535 mA").arg(name);
            return false;
        }
        (QLatin1String(name) == QLatin1String("at-4ma") ? inv.at4mA : inv.at20mA) = input::toWord(*microamps);
    }
    return true;
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
    p.setApplicationDescription(QString::fromUtf8(kDescription).arg(QString::fromUtf8(cli::kCalibrateHelp) + QString::fromUtf8(cli::kAutoHelp)
                                                                    + QString::fromUtf8(cli::kBatchHelp))
                                + QStringLiteral("\n\nCalibration records:\n") + QString::fromUtf8(cli::kRecordsHelp)
                                + QString::fromUtf8(cli::kCertificateHelp) + QString::fromUtf8(cli::kPersonHelp)
                                + QStringLiteral("\nInstrument register:\n")
                                + QString::fromUtf8(cli::kInstrumentsHelp) + QStringLiteral("\nReference standards:\n")
                                + QString::fromUtf8(cli::kStandardsHelp));
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {"port", "Serial port (required), e.g. /dev/ttyUSB0.", "P"},
        {"baud", "Baud rate (default 4800).", "B", "4800"},
        {"parity", "Parity: N, E or O (default N).", "N|E|O", "N"},
        {"stop", "Stop bits: 1 or 2 (default 1).", "1|2", "1"},
        {"address", "Device address 1-247 (default 192); apply takes a list, e.g. 17,18,21-24.", "A", "192"},
        {"retries", "Resends of a request that got no answer (default 1).", "N", "1"},
        {"json", "info, read, save, compare, apply, dump, scan, calibrate, records list, instruments list, standards list: JSON on standard output."},
        {"include-calibration", "apply: write the unit calibration too; compare: count it."},
        {"settings", "compare: judge by the settings alone (the default)."},
        {"other-unit", "apply: with --include-calibration, accept calibration saved from another unit."},
        {"timeout", "Reply timeout in ms (default: from the baud rate; scan: 600 per address).", "MS"},
        {"tag", "read/save: tag or serial number written into the file; apply: the unit's.", "TEXT"},
        {"description", "read/save: description written into the file; standards save: the standard's.", "TEXT"},
        {"interval", "monitor: seconds between reads (default 1).", "S", "1"},
        {"count", "monitor: number of lines (default 0, until stopped).", "N", "0"},
        {"bauds", "scan: baud rates to try, e.g. 4800,9600 (default: --baud).", "LIST"},
        {"addresses", "scan: address range (default 1-247).", "FROM-TO", "1-247"},
        {"records", "records, instruments, standards: the records folder (default: the window's).", "FOLDER"},
        {"due-within", "instruments list: only those due within DAYS (overdue and never calibrated too).", "DAYS"},
        {"since", "records by-reference: checks from DATE (yyyy-MM-dd) on.", "DATE"},
        {"out", "records certificate: the PDF file to write.", "FILE"},
        {"reprint", "records certificate: reprint the stored certificate NUMBER as a copy.", "NUMBER"},
        {"replaces", "records certificate: the certificate NUMBER the new one corrects (it is withdrawn).", "NUMBER"},
        {"as", "records approve: reviewer or approver.", "ROLE"},
        {"name", "records trust add: whose key it is.", "TEXT"},
        {"function", "records approve: the signer's function, e.g. \"Head of laboratory\".", "TEXT"},
        {"person", "records approve, import, calibrate auto/batch: the enrolled person who signs.", "NAME"},
        {"roles", "records person enrol: performs,reviews,approves (one or more).", "LIST"},
        {"passphrase-file", "the signer's passphrase: the file's first line (default: typed, not shown).", "FILE"},
        {"place", "records certificate: where it was calibrated (the laboratory, or the site).", "TEXT"},
        {"received", "records certificate: the date the item was received (yyyy-MM-dd).", "DATE"},
        {"condition", "records certificate: the item's condition on receipt.", "TEXT"},
        {"external", "records certificate: results from external providers (default: none).", "TEXT"},
        {"customer-supplied", "records certificate: fields the customer supplied, marked *: tag,description,range,tolerance.",
         "FIELDS"},
        {"reason", "records key new: why this workstation needs a new signing key (kept in the chain).", "TEXT"},
        {"at-4ma", "calibrate current: the meter's reading at 4 mA, in mA.", "MA"},
        {"at-20ma", "calibrate current: the meter's reading at 20 mA, in mA.", "MA"},
        {"anchor", "records verify: also check against this checkpoint file.", "FILE"},
        {"source", "calibrate auto: the calibrator, e.g. tcp:192.168.1.20 or /dev/ttyUSB1:9600.", "ADDRESS"},
        {"meter", "calibrate auto: the meter, e.g. usbtmc:/dev/usbtmc0.", "ADDRESS"},
        {"source-model", "calibrate auto: the calibrator's model name or file.", "MODEL",
         "Generic SCPI calibrator"},
        {"meter-model", "calibrate auto: the meter's model name or file.", "MODEL", "Generic SCPI meter"},
        {"map", "calibrate batch: the channel map file (units, ports, channels, tags, serials).", "FILE"},
        {"switch", "calibrate batch: the switch, e.g. tcp:192.168.1.22.", "ADDRESS"},
        {"switch-model", "calibrate batch: the switch's model name or file.", "MODEL", "Generic SCPI switch"},
        {"environment", "calibrate auto and batch: a thermometer/hygrometer for the ambient (else the operator's, else the "
                        "transmitter's room sensor, as the certificate says).", "ADDRESS"},
        {"environment-model", "calibrate auto and batch: its model name or file.", "MODEL", "Generic SCPI thermohygrometer"},
        {"procedure", "calibrate auto: the procedure file (points, tolerance, settling, adjustment).", "FILE"},
        {"points", "calibrate auto: test points in degrees, or percent of range: 0%,25%,50%,75%,100%.", "LIST"},
        {"tolerance", "calibrate auto: in degrees, or percent of span: 0.2%.", "X"},
        {"assume-offset", "records import: the UTC offset of files written without one, e.g. +08:00.",
         "OFFSET"},
        {"serial", "standards save: the serial number the standard gives in its *IDN? answer; "
                   "calibrate auto: the transmitter's, for the records.", "TEXT"},
        {"model", "standards save: the standard's model.", "TEXT"},
        {"certificate", "standards save: the number of the standard's calibration certificate.", "TEXT"},
        {"due", "standards save: the standard's calibration due date (yyyy-MM-dd).", "DATE"},
        {"calibrated", "standards save: the date it was calibrated (yyyy-MM-dd).", "DATE"},
        {"status", "standards save: e.g. \"in service\" (the default) or \"out of service\".", "TEXT"},
        {"certificate-terms", "standards save: what its certificate states for one function, in that function's unit: "
                              "FUNCTION:U:k:correction:drift-per-year, e.g. mV:0.004:2:0.001:0.002 (repeatable).", "TERMS"},
    });
    p.addPositionalArgument("command", "info, read, save, compare, apply, dump, monitor or scan.");
    p.addPositionalArgument("argument", "FILE for save, compare, apply; holding or input for dump.", "[argument]");
    // parse, not process: a typo must be a usage error (2), never 1.
    if (!p.parse(arguments))
        return refused(p.errorText() + QStringLiteral(" See --help."));
    if (p.isSet(QStringLiteral("help")) || p.isSet(QStringLiteral("help-all")))
        return {std::nullopt, cli::Success, p.helpText(), QString()};
    if (p.isSet(QStringLiteral("version")))
        return {std::nullopt, cli::Success,
                QStringLiteral("tcal-cli %1\n").arg(config::toolVersion()), QString()};

    cli::Invocation inv;
    inv.command = p.positionalArguments().value(0);
    inv.arguments = p.positionalArguments().mid(1);
    inv.tag = p.value("tag");
    inv.description = p.value("description");
    inv.json = p.isSet("json");
    inv.includeCalibration = p.isSet("include-calibration");
    inv.otherUnit = p.isSet("other-unit");
    inv.recordsFolder = p.value("records");
    inv.anchor = p.value("anchor");
    inv.assumeOffset = p.value("assume-offset");
    inv.source = p.value("source");
    inv.meter = p.value("meter");
    inv.sourceModel = p.value("source-model");
    inv.meterModel = p.value("meter-model");
    inv.environment = p.value("environment");
    inv.environmentModel = p.value("environment-model");
    inv.procedureFile = p.value("procedure");
    inv.points = p.value("points");
    inv.tolerance = p.value("tolerance");
    inv.mapFile = p.value("map");
    inv.routeSwitch = p.value("switch");
    inv.switchModel = p.value("switch-model");
    if (inv.command.isEmpty())
        return refused(QStringLiteral("no command; see --help"));
    // The records and the register need no port.
    const bool database = inv.command == QLatin1String("records") || inv.command == QLatin1String("instruments")
                          || inv.command == QLatin1String("standards");
    // A batch's ports are in its channel map.
    const bool batch = inv.command == QLatin1String("calibrate") && inv.arguments.value(0) == QLatin1String("batch");
    if (batch && p.isSet("port"))
        return refused(QStringLiteral("calibrate batch takes its ports from --map, not --port"));
    if (!p.isSet("port") && !database && !batch)
        return refused(QStringLiteral("--port is required"));
    QString error;
    if (!lineOptions(p, inv, &error) || !recordOptions(p, inv, &error) || !meterReadings(p, inv, &error)
        || !standardOptions(p, inv, &error))
        return refused(error);
    if (inv.addresses.size() > 1 && inv.command != QLatin1String("apply"))
        return refused(QStringLiteral("only apply takes several addresses"));
    return {inv, cli::Success, QString(), QString()};
}

} // namespace cli
