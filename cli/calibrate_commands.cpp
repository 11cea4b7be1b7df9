#include "calibrate_commands.h"

#include "auto_command.h"
#include "batch_command.h"
#include "core/operator_input.h"
#include "procedures/current_calibration.h"
#include "procedures/sensor_calibration.h"

#include <QJsonArray>

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

// A line from the technician; nullopt at the end of input.
std::optional<QString> ask(const QString &prompt, Output &o)
{
    o.err << prompt << Qt::flush;
    char line[256];
    if (!std::fgets(line, sizeof line, stdin))
        return std::nullopt;
    return QString::fromLocal8Bit(line).trimmed();
}

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

int currentFailure(Current::Result result, const QString &step, Output &o)
{
    switch (result) {
    case Current::Result::StateLost:
        return o.fail(Different, QStringLiteral("%1: the transmitter is no longer where the calibration left "
                                                "it (mode, command or 4 mA point changed); nothing was stored")
                                     .arg(step));
    case Current::Result::Done:
        return Success;
    default:
        return o.fail(LinkError, QStringLiteral("%1: the transmitter did not take the step; the old points "
                                                "are back and nothing was stored").arg(step));
    }
}

int calibrateCurrent(rtu::Link &link, const Invocation &inv, Output &o)
{
    Current calibration(link);
    auto step = [&](Current::Result result, const QString &name) {
        if (result != Current::Result::Done)
            calibration.abandon();
        return currentFailure(result, name, o);
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
    if (const int status = step(calibration.measured20mA(*at20), QStringLiteral("20 mA point")))
        return status;
    o.doc.insert("points", QJsonObject{{"holding11", *at4}, {"holding12", *at20}});
    o.doc.insert("stored", true);
    o.text(QStringLiteral("stored and read back: 4 mA point %1, 20 mA point %2").arg(*at4).arg(*at20));
    return Success;
}

int sensorFailure(Sensor &calibration, Sensor::Result result, const Invocation &inv, Output &o)
{
    switch (result) {
    case Sensor::Result::Done:
        return Success;
    case Sensor::Result::StateLost:
        return o.fail(Different, QStringLiteral("a captured point changed before the store; it was put back "
                                                "and nothing was stored"));
    case Sensor::Result::Differs:
        return o.fail(Different, QStringLiteral("stored, but a point reads back otherwise"));
    case Sensor::Result::ReadFailed:
        return reportBusError(calibration.lastError(), inv.line, o);
    default:
        return o.fail(LinkError, QStringLiteral("the transmitter did not take the step; nothing was stored"));
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
            return o.fail(UsageError, QStringLiteral("input ended before %1; nothing was stored").arg(sources.at(i)));
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
    o.doc.insert("stored", true);
    o.text(QStringLiteral("stored and read back"));
    if (calibration.leave() != Sensor::Result::Done)
        return o.fail(LinkError, QStringLiteral("stored, but the transmitter did not leave the calibration mode"));
    return Success;
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
    return current ? calibrateCurrent(link, inv, o) : calibrateInput(link, inv, o);
}

} // namespace cli
