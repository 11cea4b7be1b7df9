#include "commands.h"

#include "config_apply.h"
#include "config_file.h"
#include "live_values.h"
#include "registers.h"
#include "scan.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

namespace cli {

namespace {

const char *const kModeNames[] = {"none", "parameters", "thermocouple calibration",
                                  "RTD calibration", "current output"};

QString lineText(const core::SerialOptions &line)
{
    return QStringLiteral("address %1 at %2 baud on %3").arg(line.address).arg(line.baud).arg(line.port);
}

// The one message for a failed request, whatever the command.
int reportBusError(const core::BusError &error, const Invocation &inv, QTextStream &err)
{
    switch (error.kind) {
    case core::BusErrorKind::NoReply:
        err << "tcal-cli: no reply from " << lineText(inv.line) << " (" << error.text << ")\n";
        break;
    case core::BusErrorKind::Exception:
        err << "tcal-cli: the transmitter refused the request with exception code "
            << error.exceptionCode << " (" << error.text << ")\n";
        break;
    default:
        err << "tcal-cli: " << inv.line.port << ": " << error.text << "\n";
        break;
    }
    return LinkError;
}

bool openSession(core::SerialSession &session, const Invocation &inv, QTextStream &err)
{
    QString error;
    if (session.open(&error))
        return true;
    err << "tcal-cli: cannot open " << inv.line.port << ": " << error << "\n";
    return false;
}

std::optional<config::Configuration> loadOrReport(const QString &path, QTextStream &err)
{
    const config::Loaded loaded = config::loadFile(path);
    if (!loaded.config)
        err << "tcal-cli: " << path << ": " << loaded.error << "\n";
    return loaded.config;
}

int readDeviceConfiguration(core::SerialSession &session, const Invocation &inv, QTextStream &err,
                            config::Configuration &c)
{
    const config::DeviceRead read = config::readConfiguration(session);
    if (!read.config)
        return reportBusError(read.error, inv, err);
    c = *read.config;
    c.identity = {inv.tag, inv.description, inv.line.address,
                  QDateTime::currentDateTimeUtc(), config::toolVersion()};
    return Success;
}

int info(core::SerialSession &session, const Invocation &inv, QTextStream &out, QTextStream &err)
{
    const core::BlockReply reply = session.readBlock(core::Block::Input);
    if (!reply.ok())
        return reportBusError(reply.error, inv, err);
    const reg::LiveValues v = reg::decodeLiveValues(reply.words, QDateTime::currentDateTime());
    const bool haveCode = v.decimalCode >= 0;
    out << lineText(inv.line) << "\n"
        << "measured temperature: "
        << reg::temperatureText(reg::value32(v.words, reg::kMeasuredTemperature), haveCode, quint16(v.decimalCode)) << "\n"
        << "room temperature: "
        << reg::temperatureText(reg::value32(v.words, reg::kRoomTemperature), haveCode, quint16(v.decimalCode)) << QString::fromUtf8(" °C\n")
        << "ADC: " << v.adc << "\n"
        << "decimal places code: " << v.decimalCode << "\n"
        << "work mode: " << v.workMode;
    if (v.workMode >= 0 && v.workMode <= 4)
        out << " (" << kModeNames[v.workMode] << ")";
    out << "\n";
    return Success;
}

int read(core::SerialSession &session, const Invocation &inv, QTextStream &out, QTextStream &err)
{
    config::Configuration c;
    if (const int status = readDeviceConfiguration(session, inv, err, c))
        return status;
    if (inv.command == QLatin1String("read")) {
        out << config::toJson(c);
        return Success;
    }
    QString error;
    if (!config::saveFile(inv.arguments.value(0), c, &error)) {
        err << "tcal-cli: cannot write " << inv.arguments.value(0) << ": " << error << "\n";
        return FileError;
    }
    out << "saved " << lineText(inv.line) << " to " << inv.arguments.value(0) << "\n";
    return Success;
}

int compareWith(core::SerialSession &session, const config::Configuration &file,
                const Invocation &inv, QTextStream &out, QTextStream &err)
{
    config::Configuration device;
    if (const int status = readDeviceConfiguration(session, inv, err, device))
        return status;
    const QVector<config::FieldComparison> rows = config::compare(device, file);
    for (const config::FieldComparison &row : rows) {
        if (row.differs)
            out << row.field->key << ": device " << row.device << ", file " << row.file << "\n";
    }
    const int differing = config::differingCount(rows);
    out << (differing ? QStringLiteral("%1 field(s) differ\n").arg(differing)
                      : QStringLiteral("equal\n"));
    return differing ? Different : Success;
}

int apply(core::SerialSession &session, const config::Configuration &file, QTextStream &out)
{
    const config::ApplyReport report = config::applyConfiguration(session, file);
    for (const config::FieldComparison &row : report.checks) {
        out << row.field->key << ": " << (row.differs ? "DIFFERS" : "verified") << " " << row.device;
        if (row.differs)
            out << " (file " << row.file << ")";
        out << "\n";
    }
    out << config::applySummary(report, 2) << "\n";
    if (report.outcome == config::ApplyOutcome::ReadFailed)
        return LinkError;
    return report.verified() ? Success : Different;
}

int dump(core::SerialSession &session, const Invocation &inv, QTextStream &out, QTextStream &err)
{
    const QString which = inv.arguments.value(0);
    const core::Block block = which == QLatin1String("input") ? core::Block::Input : core::Block::Holding;
    const core::BlockReply reply = session.readBlock(block);
    if (!reply.ok())
        return reportBusError(reply.error, inv, err);
    out << "register,value\n";
    for (int i = 0; i < reply.words.size(); ++i)
        out << i << "," << reply.words.at(i) << "\n";
    return Success;
}

void pause(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

int monitor(core::SerialSession &session, const Invocation &inv, QTextStream &out, QTextStream &err)
{
    out << "time,measured,room,adc\n";
    for (int n = 0; inv.count <= 0 || n < inv.count; ++n) {
        if (n > 0)
            pause(inv.intervalSeconds);
        const core::BlockReply reply = session.readBlock(core::Block::Input);
        if (!reply.ok())
            return reportBusError(reply.error, inv, err);
        const QVector<quint16> &w = reply.words;
        const bool haveCode = w.size() > reg::kDecimalPlaces;
        const quint16 code = reg::word(w, reg::kDecimalPlaces);
        const QDateTime now = QDateTime::currentDateTime();
        out << now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs) << ","
            << reg::temperatureText(reg::value32(w, reg::kMeasuredTemperature), haveCode, code) << ","
            << reg::temperatureText(reg::value32(w, reg::kRoomTemperature), haveCode, code) << ","
            << reg::value32(w, reg::kAdcValue) << "\n";
        out.flush();
    }
    return Success;
}

int scan(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    core::ScanRequest request;
    request.line = inv.line;
    request.bauds = inv.bauds.isEmpty() ? QList<int>{inv.line.baud} : inv.bauds;
    request.firstAddress = inv.firstAddress;
    request.lastAddress = inv.lastAddress;
    if (inv.line.timeoutMs > 0)
        request.probeTimeoutMs = inv.line.timeoutMs;
    out << "address,baud\n";
    const core::ScanResult result = core::scanLine(request, [&out](const core::ScanHit &hit) {
        out << hit.address << "," << hit.baud << "\n";
        out.flush();
    });
    if (!result.error.isEmpty()) {
        err << "tcal-cli: cannot open " << inv.line.port << ": " << result.error << "\n";
        return LinkError;
    }
    return result.hits.isEmpty() ? Different : Success;
}

int arguments(const Invocation &inv, int count, QTextStream &err)
{
    if (inv.arguments.size() == count)
        return Success;
    err << "tcal-cli: " << inv.command << " takes " << count << " argument(s); see --help\n";
    return UsageError;
}

} // namespace

int run(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    const QString &c = inv.command;
    static const QStringList known = {"info", "read", "save", "compare", "apply",
                                      "dump", "monitor", "scan"};
    if (!known.contains(c)) {
        err << "tcal-cli: unknown command \"" << c << "\"; see --help\n";
        return UsageError;
    }
    const bool takesFile = c == QLatin1String("save") || c == QLatin1String("compare")
        || c == QLatin1String("apply") || c == QLatin1String("dump");
    if (const int status = arguments(inv, takesFile ? 1 : 0, err))
        return status;
    if (c == QLatin1String("dump") && inv.arguments.at(0) != QLatin1String("holding")
        && inv.arguments.at(0) != QLatin1String("input")) {
        err << "tcal-cli: dump takes holding or input\n";
        return UsageError;
    }
    if (c == QLatin1String("scan"))
        return scan(inv, out, err);

    // A file is checked whole before the port is even opened: a bad one writes nothing.
    std::optional<config::Configuration> file;
    if (c == QLatin1String("compare") || c == QLatin1String("apply")) {
        file = loadOrReport(inv.arguments.at(0), err);
        if (!file)
            return FileError;
    }
    core::SerialSession session(inv.line);
    if (!openSession(session, inv, err))
        return LinkError;
    if (c == QLatin1String("info"))
        return info(session, inv, out, err);
    if (c == QLatin1String("read") || c == QLatin1String("save"))
        return read(session, inv, out, err);
    if (c == QLatin1String("compare"))
        return compareWith(session, *file, inv, out, err);
    if (c == QLatin1String("apply"))
        return apply(session, *file, out);
    if (c == QLatin1String("dump"))
        return dump(session, inv, out, err);
    return monitor(session, inv, out, err);
}

} // namespace cli
