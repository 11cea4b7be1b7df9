#include "commands.h"

#include "procedures/config_apply.h"
#include "core/config_file.h"
#include "core/config_rules.h"
#include "core/live_values.h"
#include "core/registers.h"
#include "link/scan.h"
#include "calibrate_commands.h"
#include "output.h"

#include <QDateTime>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <csignal>

namespace cli {

namespace {

const char *const kModeNames[] = {"none", "parameters", "thermocouple calibration",
                                  "RTD calibration", "current output"};
const char *const kOutcomeNames[] = {"verified", "read failed", "write refused", "write failed",
                                     "store failed", "read-back failed", "mismatch"};
const char *const kRestoreNames[] = {"not needed", "restored", "incomplete", "stored image unknown"};

volatile std::sig_atomic_t g_interrupted = 0;

// A file is taken only when it is readable and, to be written, every field
// keeps the rules; compare shows whatever a readable file holds.
std::optional<config::Configuration> loadOrReport(const QString &path, bool toWrite, Output &o)
{
    const config::Loaded loaded = config::loadFile(path);
    if (!loaded.config) {
        o.fail(FileError, QStringLiteral("%1: %2").arg(path, loaded.error));
        return std::nullopt;
    }
    const QVector<config::Violation> broken =
        toWrite ? config::violations(*loaded.config) : QVector<config::Violation>{};
    if (!broken.isEmpty()) {
        QStringList texts;
        for (const config::Violation &v : broken)
            texts << config::violationText(v, 2);
        o.fail(FileError, QStringLiteral("%1: refused, nothing sent: %2").arg(path, texts.join(QStringLiteral("; "))));
        return std::nullopt;
    }
    return loaded.config;
}

int readDeviceConfiguration(rtu::Link &session, const Invocation &inv, Output &o,
                            config::Configuration &c)
{
    const config::DeviceRead read = config::readConfiguration(session);
    if (!read.config)
        return reportBusError(read.error, inv.line, o);
    c = *read.config;
    c.identity = {inv.tag, inv.description, inv.line.address,
                  QDateTime::currentDateTimeUtc(), config::toolVersion()};
    return Success;
}

QJsonValue temperature(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

int info(rtu::Link &session, const Invocation &inv, Output &o)
{
    const core::BlockReply reply = session.readBlock(core::Block::Input);
    if (!reply.ok())
        return reportBusError(reply.error, inv.line, o);
    const reg::LiveValues v = reg::decodeLiveValues(reply.words, QDateTime::currentDateTime());
    const bool haveCode = v.decimalCode >= 0;
    const QString measured = reg::temperatureText(reg::value32(v.words, reg::kMeasuredTemperature), haveCode, quint16(v.decimalCode));
    const QString room = reg::temperatureText(reg::value32(v.words, reg::kRoomTemperature), haveCode, quint16(v.decimalCode));
    const bool named = v.workMode >= 0 && v.workMode <= 4;
    o.doc.insert("measuredTemperature", temperature(measured));
    o.doc.insert("roomTemperature", temperature(room));
    o.doc.insert("adc", v.adc);
    o.doc.insert("decimalCode", v.decimalCode);
    o.doc.insert("workMode", v.workMode);
    o.doc.insert("workModeName", named ? QJsonValue(kModeNames[v.workMode]) : QJsonValue(QJsonValue::Null));
    o.text(lineText(inv.line));
    o.text(QStringLiteral("measured temperature: ") + measured);
    o.text(QStringLiteral("room temperature: ") + room + QString::fromUtf8(" °C"));
    o.text(QStringLiteral("ADC: %1").arg(v.adc));
    o.text(QStringLiteral("decimal places code: %1").arg(v.decimalCode));
    o.text(QStringLiteral("work mode: %1").arg(v.workMode)
           + (named ? QStringLiteral(" (%1)").arg(QLatin1String(kModeNames[v.workMode])) : QString()));
    return Success;
}

int read(rtu::Link &session, const Invocation &inv, Output &o)
{
    config::Configuration c;
    if (const int status = readDeviceConfiguration(session, inv, o, c))
        return status;
    if (inv.command == QLatin1String("read")) {
        if (o.json)
            o.doc.insert("configuration", QJsonDocument::fromJson(config::toJson(c)).object());
        else
            o.out << config::toJson(c);
        return Success;
    }
    QString error;
    const QString path = inv.arguments.value(0);
    if (!config::saveFile(path, c, &error))
        return o.fail(FileError, QStringLiteral("cannot write %1: %2").arg(path, error));
    o.doc.insert("file", path);
    o.text(QStringLiteral("saved %1 to %2").arg(lineText(inv.line), path));
    return Success;
}

// Values as numbers (a code as its name, null without one), with the texts shown.
QJsonObject rowObject(const config::FieldComparison &row, const config::Configuration &device,
                      const config::Configuration &file)
{
    const config::FieldDef &f = *row.field;
    return {{"name", QLatin1String(f.key)},
            {"register", f.address},
            {"calibration", config::isCalibration(f)},
            {"deviceValue", config::engineeringValue(f, config::fieldWords(device, f))},
            {"fileValue", config::engineeringValue(f, config::fieldWords(file, f))},
            {"unit", config::unitText(file, f)},
            {"device", row.device},
            {"file", row.file},
            {"differs", row.differs}};
}

// Settings first, then calibration; calibration counts only when asked for.
int compareWith(rtu::Link &session, const config::Configuration &file,
                const Invocation &inv, Output &o)
{
    config::Configuration device;
    if (const int status = readDeviceConfiguration(session, inv, o, device))
        return status;
    const QVector<config::FieldComparison> rows = config::compare(device, file);
    int differing[2] = {0, 0};
    QJsonArray sections[2];
    for (int calibration = 0; calibration < 2; ++calibration) {
        o.text(calibration ? QStringLiteral("calibration of the unit%1").arg(inv.includeCalibration ? QString() : QStringLiteral(" (information)"))
                           : QStringLiteral("settings"));
        for (const config::FieldComparison &row : rows) {
            if (config::isCalibration(*row.field) != bool(calibration))
                continue;
            sections[calibration] << rowObject(row, device, file);
            if (!row.differs)
                continue;
            ++differing[calibration];
            o.text(QStringLiteral("%1: device %2, file %3").arg(QLatin1String(row.field->key), row.device, row.file));
        }
    }
    const bool equal = differing[0] == 0 && (!inv.includeCalibration || differing[1] == 0);
    o.doc.insert("settings", sections[0]);
    o.doc.insert("calibration", sections[1]);
    o.doc.insert("settingsDiffering", differing[0]);
    o.doc.insert("calibrationDiffering", differing[1]);
    o.doc.insert("equal", equal);
    o.text(QStringLiteral("%1 setting field(s) differ, %2 calibration field(s) differ%3")
               .arg(differing[0]).arg(differing[1])
               .arg(inv.includeCalibration ? QString() : QStringLiteral(" (information)")));
    o.text(equal ? QStringLiteral("equal") : QStringLiteral("different"));
    return equal ? Success : Different;
}

int applyStatus(const config::ApplyReport &report)
{
    switch (report.outcome) {
    case config::ApplyOutcome::Verified: return Success;
    case config::ApplyOutcome::Mismatch: return Different;
    case config::ApplyOutcome::WriteRefused:
    case config::ApplyOutcome::WriteFailed:
    case config::ApplyOutcome::StoreFailed:
    case config::ApplyOutcome::ReadBackFailed:
    case config::ApplyOutcome::ReadFailed: return LinkError;
    }
    return LinkError;
}

QJsonArray addressArray(const QVector<int> &addresses)
{
    QJsonArray a;
    for (int address : addresses)
        a << address;
    return a;
}

QJsonObject applyObject(int address, const config::ApplyReport &report, const config::Configuration &file)
{
    QJsonArray fields;
    for (const config::FieldComparison &row : report.checks)
        fields << rowObject(row, *report.checked, file);
    return {{"address", address},
            {"outcome", kOutcomeNames[int(report.outcome)]},
            {"verified", report.verified()},
            {"registersWritten", report.registersWritten},
            {"stored", report.storeSent},
            {"refused", addressArray(report.refused)},
            {"restore", kRestoreNames[int(report.restore)]},
            {"unrestored", addressArray(report.unrestored)},
            {"summary", config::applySummary(report, 2)},
            {"exitStatus", applyStatus(report)},
            {"fields", fields}};
}

// Calibration from another unit's file goes only with --other-unit, and any
// calibration write is announced with the fields it covers.
int calibrationAllowed(const config::Configuration &file, const Invocation &inv, Output &o)
{
    if (!inv.includeCalibration)
        return Success;
    for (int address : inv.addresses) {
        if (!inv.otherUnit && !config::sameUnit(file.identity, address, inv.tag)) {
            return o.fail(UsageError, QStringLiteral("the file's calibration was saved from address %1%2, not this "
                                                     "unit at address %3; add --other-unit to write it anyway")
                                          .arg(file.identity.address)
                                          .arg(file.identity.tag.isEmpty() ? QString() : QStringLiteral(" (tag %1)").arg(file.identity.tag))
                                          .arg(address));
        }
    }
    o.err << "tcal-cli: warning: writing unit calibration as well: "
          << config::calibrationKeys().join(QStringLiteral(", ")) << "\n";
    o.err.flush();
    return Success;
}

// Each address on its own: one that fails does not stop the others, and the
// exit status is the worst of them.
int apply(rtu::Link &session, const config::Configuration &file, const Invocation &inv, Output &o)
{
    const bool several = inv.addresses.size() > 1;
    int worst = Success;
    int verified = 0;
    QJsonArray results;
    for (int address : inv.addresses) {
        session.setAddress(address);
        const config::ApplyReport report =
            config::applyConfiguration(session, file, {inv.includeCalibration});
        if (!several) {
            for (const config::FieldComparison &row : report.checks)
                o.text(QStringLiteral("%1: %2 %3%4").arg(QLatin1String(row.field->key),
                                                        row.differs ? QStringLiteral("DIFFERS") : QStringLiteral("verified"),
                                                        row.device,
                                                        row.differs ? QStringLiteral(" (file %1)").arg(row.file) : QString()));
        }
        const QString summary = config::applySummary(report, 2);
        o.text(several ? QStringLiteral("address %1: %2").arg(address).arg(summary) : summary);
        results << applyObject(address, report, file);
        worst = qMax(worst, applyStatus(report));
        verified += report.verified() ? 1 : 0;
    }
    if (several)
        o.text(QStringLiteral("%1 of %2 address(es) verified").arg(verified).arg(inv.addresses.size()));
    o.doc.insert("results", results);
    o.doc.insert("verified", verified);
    return worst;
}

int dump(rtu::Link &session, const Invocation &inv, Output &o)
{
    const QString which = inv.arguments.value(0);
    const core::Block block = which == QLatin1String("input") ? core::Block::Input : core::Block::Holding;
    const core::BlockReply reply = session.readBlock(block);
    if (!reply.ok())
        return reportBusError(reply.error, inv.line, o);
    QJsonArray words;
    o.text(QStringLiteral("register,value"));
    for (int i = 0; i < reply.words.size(); ++i) {
        o.text(QStringLiteral("%1,%2").arg(i).arg(reply.words.at(i)));
        words << reply.words.at(i);
    }
    o.doc.insert("block", which);
    o.doc.insert("registers", words);
    return Success;
}

void onInterrupt(int)
{
    g_interrupted = 1;
}

// Waits `seconds`, or less when Ctrl-C comes.
void pause(double seconds)
{
    const qint64 until = QDateTime::currentMSecsSinceEpoch() + qint64(seconds * 1000);
    while (!g_interrupted && QDateTime::currentMSecsSinceEpoch() < until) {
        QEventLoop loop;
        const qint64 left = until - QDateTime::currentMSecsSinceEpoch();
        QTimer::singleShot(int(qBound(qint64(0), left, qint64(50))), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// ISO 8601 with the offset from UTC, so lines from anywhere sort and compare.
QString timeStamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// A failed read is a line with empty values, and the monitor goes on.
int monitor(rtu::Link &session, const Invocation &inv, QTextStream &out, QTextStream &err)
{
    g_interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    out << "time,measured,room,adc\n";
    int polls = 0;
    int failures = 0;
    for (int n = 0; (inv.count <= 0 || n < inv.count) && !g_interrupted; ++n) {
        if (n > 0)
            pause(inv.intervalSeconds);
        if (g_interrupted)
            break;
        ++polls;
        const core::BlockReply reply = session.readBlock(core::Block::Input);
        if (!reply.ok()) {
            ++failures;
            out << timeStamp() << ",,,\n";
            err << "tcal-cli: " << busErrorText(reply.error, inv.line) << "\n";
        } else {
            const QVector<quint16> &w = reply.words;
            const bool haveCode = w.size() > reg::kDecimalPlaces;
            const quint16 code = reg::word(w, reg::kDecimalPlaces);
            out << timeStamp() << ","
                << reg::temperatureText(reg::value32(w, reg::kMeasuredTemperature), haveCode, code) << ","
                << reg::temperatureText(reg::value32(w, reg::kRoomTemperature), haveCode, code) << ","
                << reg::value32(w, reg::kAdcValue) << "\n";
        }
        out.flush();
        err.flush();
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    err << "tcal-cli: " << failures << " of " << polls << " read(s) failed\n";
    return polls > 0 && failures == polls ? LinkError : Success;
}

int scan(const Invocation &inv, Output &o)
{
    rtu::ScanRequest request;
    request.line = inv.line;
    request.bauds = inv.bauds.isEmpty() ? QList<int>{inv.line.baud} : inv.bauds;
    request.firstAddress = inv.firstAddress;
    request.lastAddress = inv.lastAddress;
    if (inv.line.timeoutMs > 0)
        request.probeTimeoutMs = inv.line.timeoutMs;
    o.text(QStringLiteral("address,baud"));
    QJsonArray found;
    const rtu::ScanResult result = rtu::scanLine(request, [&](const rtu::ScanHit &hit) {
        found << QJsonObject{{"address", hit.address}, {"baud", hit.baud}};
        o.text(QStringLiteral("%1,%2").arg(hit.address).arg(hit.baud));
        o.out.flush();
    });
    o.doc.insert("found", found);
    if (!result.error.isEmpty())
        return o.fail(LinkError, QStringLiteral("cannot open %1: %2").arg(inv.line.port, result.error));
    return result.hits.isEmpty() ? Different : Success;
}

int arguments(const Invocation &inv, int count, Output &o)
{
    if (inv.arguments.size() == count)
        return Success;
    return o.fail(UsageError, QStringLiteral("%1 takes %2 argument(s); see --help").arg(inv.command).arg(count));
}

int runCommand(const Invocation &inv, Output &o)
{
    const QString &c = inv.command;
    static const QStringList known = {"info", "read", "save", "compare", "apply",
                                      "dump", "monitor", "scan", "calibrate"};
    if (!known.contains(c))
        return o.fail(UsageError, QStringLiteral("unknown command \"%1\"; see --help").arg(c));
    const bool takesFile = c == QLatin1String("save") || c == QLatin1String("compare")
        || c == QLatin1String("apply") || c == QLatin1String("dump");
    if (c == QLatin1String("calibrate"))
        return calibrate(inv, o);
    if (const int status = arguments(inv, takesFile ? 1 : 0, o))
        return status;
    if (c == QLatin1String("dump") && inv.arguments.at(0) != QLatin1String("holding")
        && inv.arguments.at(0) != QLatin1String("input"))
        return o.fail(UsageError, QStringLiteral("dump takes holding or input"));
    if (c == QLatin1String("scan"))
        return scan(inv, o);

    // A file is checked whole before the port is even opened: a bad one writes nothing.
    std::optional<config::Configuration> file;
    if (c == QLatin1String("compare") || c == QLatin1String("apply")) {
        file = loadOrReport(inv.arguments.at(0), c == QLatin1String("apply"), o);
        if (!file)
            return FileError;
    }
    if (c == QLatin1String("apply")) {
        if (const int status = calibrationAllowed(*file, inv, o))
            return status;
    }
    rtu::Link session;
    if (!openSession(session, inv, o))
        return LinkError;
    if (c == QLatin1String("info"))
        return info(session, inv, o);
    if (c == QLatin1String("read") || c == QLatin1String("save"))
        return read(session, inv, o);
    if (c == QLatin1String("compare"))
        return compareWith(session, *file, inv, o);
    if (c == QLatin1String("apply"))
        return apply(session, *file, inv, o);
    if (c == QLatin1String("dump"))
        return dump(session, inv, o);
    return monitor(session, inv, o.out, o.err);
}

} // namespace

QString lineText(const rtu::SerialOptions &line)
{
    return QStringLiteral("address %1 at %2 baud on %3").arg(line.address).arg(line.baud).arg(line.port);
}

// The one message for a failed request, whatever the command.
QString busErrorText(const core::BusError &error, const rtu::SerialOptions &line)
{
    switch (error.kind) {
    case core::BusErrorKind::NoReply:
        return QStringLiteral("no reply from %1 (%2)").arg(lineText(line), error.text);
    case core::BusErrorKind::Exception:
        return QStringLiteral("the transmitter refused the request with exception code %1 (%2)")
            .arg(error.exceptionCode).arg(error.text);
    default:
        return QStringLiteral("%1: %2").arg(line.port, error.text);
    }
}

int reportBusError(const core::BusError &error, const rtu::SerialOptions &line, Output &o)
{
    return o.fail(LinkError, busErrorText(error, line));
}

bool openSession(rtu::Link &session, const Invocation &inv, Output &o)
{
    session.setRetries(inv.retries);
    if (session.open(inv.line))
        return true;
    o.fail(LinkError, QStringLiteral("cannot open %1: %2").arg(inv.line.port, session.errorString()));
    return false;
}


int run(const Invocation &inv, QTextStream &out, QTextStream &err)
{
    Output o{out, err, inv.json && inv.command != QLatin1String("monitor"), {}};
    o.doc.insert("command", inv.command);
    if (inv.command != QLatin1String("scan"))
        o.doc.insert("address", inv.line.address);
    const int status = runCommand(inv, o);
    if (o.json) {
        o.doc.insert("exitStatus", status);
        // The unattended run writes JSON lines; its summary is the last of them.
        const bool lines = inv.command == QLatin1String("calibrate")
                           && (inv.arguments.value(0) == QLatin1String("auto") || inv.arguments.value(0) == QLatin1String("batch"));
        out << QJsonDocument(o.doc).toJson(lines ? QJsonDocument::Compact : QJsonDocument::Indented) << (lines ? "\n" : "");
    }
    return status;
}

} // namespace cli
