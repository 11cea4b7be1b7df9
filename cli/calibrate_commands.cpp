#include "calibrate_commands.h"

#include "auto_command.h"
#include "batch_command.h"
#include "core/operator_input.h"
#include "platform/console_input.h"
#include "procedures/current_calibration.h"
#include "procedures/sensor_calibration.h"

#include <QJsonArray>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace cli {

const char kCalibrateHelp[] =
    "  calibrate current  the automatic 4/20 mA calibration: drives 4 mA, takes the\n"
    "                     meter's reading (--at-4ma, or asked for), drives 20 mA, takes\n"
    "                     the second (--at-20ma, or asked for), stores both and reads\n"
    "                     them back; anything short of that puts the old points back\n"
    "  calibrate input thermocouple|rtd\n"
    "                     enters the calibration mode and captures the transmitter's\n"
    "                     own reading at 50 mV then 0 mV (thermocouple) or 100 ohm then\n"
    "                     200 ohm (RTD), each after Enter once the source is applied;\n"
    "                     stores both, reads them back and leaves the mode\n";

namespace {

using Current = proc::CurrentCalibration;
using Sensor = proc::SensorCalibration;

volatile std::sig_atomic_t g_stop = 0;
void onStop(int) { g_stop = 1; }
QTimer *g_watch = nullptr;   // closes the link when a signal comes during a step

// A line from the technician; nullopt at the end of input or on Ctrl-C /
// SIGTERM. Read a byte at a time, so that nothing waits in a buffer that
// the wait for input cannot see.
std::optional<QString> ask(const QString &prompt, Output &o)
{
    o.err << prompt << Qt::flush;
    QByteArray line;
    while (!g_stop) {
        char c = 0;
        const platform::InputByte got = platform::readInputByte(c, 100);
        if (got == platform::InputByte::NotYet)
            continue;
        if (got == platform::InputByte::Ended)
            return line.isEmpty() ? std::nullopt : std::optional<QString>(QString::fromLocal8Bit(line).trimmed());
        if (c == '\n')
            return QString::fromLocal8Bit(line).trimmed();
        line += c;
    }
    // Stopped at a prompt: the caller leaves the procedure itself, on an open link.
    if (g_watch)
        g_watch->stop();
    return std::nullopt;
}

// The outcome as the transmitter holds it, on every path: text, JSON and exit status.
int reportOutcome(const proc::Outcome &outcome, int failure, const QString &why, Output &o)
{
    o.doc.insert("outcome", proc::outcomeKey(outcome));
    o.doc.insert("stored", outcome.stored());
    const QString held = proc::outcomeText(outcome, 2);
    if (outcome.held == proc::Outcome::Held::StoredVerified)
        return Success;
    const int code = outcome.held == proc::Outcome::Held::NotStoredRamHolds
            || outcome.held == proc::Outcome::Held::ImageUnknown
        ? Unsettled
        : outcome.held == proc::Outcome::Held::StoredModeNotLeft ? LinkError : failure;
    return o.fail(code, why.isEmpty() ? held : why + QStringLiteral("; ") + held);
}

// Ctrl-C and SIGTERM close the link in the middle of a step: the link puts
// back what is unstored and the mode before it closes, and the step ends.
struct StopOnSignal {
    explicit StopOnSignal(rtu::Link &link)
    {
        g_stop = 0;
        std::signal(SIGINT, onStop);
        std::signal(SIGTERM, onStop);
        QObject::connect(&watch, &QTimer::timeout, &link, [&link] {
            if (g_stop && link.isOpen())
                link.close();
        });
        watch.start(100);
        g_watch = &watch;
    }
    ~StopOnSignal()
    {
        g_watch = nullptr;
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    QTimer watch;
};

// The meter's reading at `nominal`: from the command line, or asked for.
std::optional<quint16> reading(const std::optional<quint16> &given, const QString &nominal, Output &o)
{
    if (given)
        return given;
    const auto typed = ask(QStringLiteral("Loop current at %1, as the meter reads it (mA): ").arg(nominal), o);
    const auto microamps = typed ? input::scaled(*typed, 1000, input::kMicroamperes) : std::nullopt;
    if (!microamps) {
        o.fail(UsageError, QStringLiteral("no current from 0 to 65.535 mA was given at %1; nothing was stored")
                               .arg(nominal));
        return std::nullopt;
    }
    return input::toWord(*microamps);
}

int currentFailure(Current &calibration, Current::Result result, const QString &step, Output &o)
{
    if (result == Current::Result::Done)
        return Success;
    calibration.abandon();   // ended already on a failed step; here for a refused start
    if (g_stop)
        return reportOutcome(calibration.outcome(), LinkError, QStringLiteral("%1: stopped by a signal").arg(step), o);
    if (result == Current::Result::StateLost)
        return reportOutcome(calibration.outcome(), Different,
                             QStringLiteral("%1: the transmitter is no longer where the calibration left it "
                                            "(mode, command or 4 mA point changed)").arg(step), o);
    return reportOutcome(calibration.outcome(), LinkError,
                         QStringLiteral("%1: the transmitter did not take the step").arg(step), o);
}

int calibrateCurrent(rtu::Link &link, const Invocation &inv, Output &o)
{
    Current calibration(link);
    auto step = [&](Current::Result result, const QString &name) {
        return currentFailure(calibration, result, name, o);
    };
    if (const int status = step(calibration.start(), QStringLiteral("driving 4 mA")))
        return status;
    const auto at4 = reading(inv.at4mA, QStringLiteral("4 mA"), o);
    if (!at4) {
        calibration.abandon();
        return UsageError;
    }
    if (const int status = step(calibration.measured4mA(*at4), QStringLiteral("4 mA point")))
        return status;
    const auto at20 = reading(inv.at20mA, QStringLiteral("20 mA"), o);
    if (!at20) {
        calibration.abandon();
        return UsageError;
    }
    const Current::Result last = calibration.measured20mA(*at20);
    if (!calibration.outcome().stored())
        return step(last, QStringLiteral("20 mA point"));
    o.doc.insert("points", QJsonObject{{"holding11", *at4}, {"holding12", *at20}});
    o.text(QStringLiteral("stored and read back: 4 mA point %1, 20 mA point %2").arg(*at4).arg(*at20));
    return reportOutcome(calibration.outcome(), LinkError, {}, o);
}

int sensorFailure(Sensor &calibration, Sensor::Result result, const Invocation &inv, Output &o)
{
    if (g_stop)
        return reportOutcome(calibration.outcome(), LinkError, QStringLiteral("stopped by a signal"), o);
    switch (result) {
    case Sensor::Result::Done:
        return Success;
    case Sensor::Result::StateLost:
        return reportOutcome(calibration.outcome(), Different, QStringLiteral("a captured point changed before the store"), o);
    case Sensor::Result::Differs:
        return reportOutcome(calibration.outcome(), Different, QStringLiteral("a point read back otherwise"), o);
    case Sensor::Result::ReadFailed:
        if (calibration.outcome().held == proc::Outcome::Held::NotStoredRestored)
            return reportBusError(calibration.lastError(), inv.line, o);
        return reportOutcome(calibration.outcome(), LinkError, busErrorText(calibration.lastError(), inv.line), o);
    default:
        return reportOutcome(calibration.outcome(), LinkError, QStringLiteral("the transmitter did not take the step"), o);
    }
}

int calibrateInput(rtu::Link &link, const Invocation &inv, Output &o)
{
    const bool rtd = inv.arguments.value(1) == QLatin1String("rtd");
    Sensor calibration(link, rtd ? Sensor::Input::Rtd : Sensor::Input::Thermocouple);
    const QStringList sources = rtd ? QStringList{"100 ohm", "200 ohm"} : QStringList{"50 mV", "0 mV"};
    auto fail = [&](Sensor::Result result) {
        calibration.leave();   // puts back what was captured
        return sensorFailure(calibration, result, inv, o);
    };
    if (const Sensor::Result entered = calibration.enter(); entered != Sensor::Result::Done)
        return fail(entered);
    QJsonArray points;
    for (int i = 0; i < 2; ++i) {
        if (!ask(QStringLiteral("Apply %1 to the input, then press Enter: ").arg(sources.at(i)), o)) {
            calibration.leave();
            return reportOutcome(calibration.outcome(), g_stop ? LinkError : UsageError,
                                 g_stop ? QStringLiteral("stopped by a signal before %1").arg(sources.at(i))
                                        : QStringLiteral("input ended before %1").arg(sources.at(i)), o);
        }
        if (const Sensor::Result captured = calibration.capture(i); captured != Sensor::Result::Done)
            return fail(captured);
        points.append(QJsonObject{{"source", sources.at(i)}, {"register", calibration.pointRegister(i)},
                                  {"value", *calibration.point(i)}});
        o.text(QStringLiteral("%1: %2 into holding %3").arg(sources.at(i)).arg(*calibration.point(i))
                   .arg(calibration.pointRegister(i)));
    }
    if (const Sensor::Result stored = calibration.store(); stored != Sensor::Result::Done)
        return fail(stored);
    o.doc.insert("points", points);
    o.text(QStringLiteral("stored and read back"));
    calibration.leave();
    return reportOutcome(calibration.outcome(), LinkError, {}, o);
}

} // namespace

int calibrate(const Invocation &inv, Output &o)
{
    const QString what = inv.arguments.value(0);
    const bool current = what == QLatin1String("current") && inv.arguments.size() == 1;
    if (what == QLatin1String("auto") && inv.arguments.size() == 1)
        return calibrateAuto(inv, o);
    if (what == QLatin1String("batch") && inv.arguments.size() == 1)
        return calibrateBatch(inv, o);
    const bool input = what == QLatin1String("input") && inv.arguments.size() == 2
        && (inv.arguments.at(1) == QLatin1String("thermocouple") || inv.arguments.at(1) == QLatin1String("rtd"));
    if (!current && !input)
        return o.fail(UsageError, QStringLiteral("calibrate takes current, input thermocouple|rtd, auto or batch"));
    o.doc.insert("procedure", inv.arguments.join(QLatin1Char(' ')));
    rtu::Link link;
    if (!openSession(link, inv, o))
        return LinkError;
    int status = Success;
    {
        StopOnSignal stop(link);
        status = current ? calibrateCurrent(link, inv, o) : calibrateInput(link, inv, o);
    }
    // Whatever ended it, nothing unstored stays behind, or the operator is told what does.
    link.close();
    if (!link.heldText().isEmpty()) {
        o.doc.insert("held", link.heldText());
        return o.fail(Unsettled, link.heldText());
    }
    return status;
}

} // namespace cli
