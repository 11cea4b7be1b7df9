// The batch's bench of instruments: identified and checked against the register
// of standards before anything is sourced, the source set, the routes changed,
// each loop read on its meter.

#include "texts/engine_texts.h"
#include "automation/batch_unit.h"

#include "core/live_values.h"
#include "core/register_bus.h"
#include "core/registers.h"
#include "instruments/instrument.h"
#include "link/link.h"
#include "link/side_by_side.h"
#include "metrology/point_budget.h"
#include "metrology/sensor.h"
#include "procedures/current_calibration.h"
#include "procedures/sensor_calibration.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>

#include <cmath>
#include <stdexcept>

namespace autocal {

// --- before anything is sourced ---

bool BatchRun::prepareInstruments()
{
    if (!identify(m_source, QStringLiteral("source")) || !identify(m_meter, QStringLiteral("meter"))
        || (m_switch && !identify(*m_switch, QStringLiteral("switch")))
        || (m_environment && (!identify(*m_environment, QStringLiteral("environment")) || !readAmbient())))
        return false;
    QStringList channels;
    for (const auto &u : m_units)
        channels << u->given.map.sourceChannel << u->given.map.meterChannel;
    channels.removeAll(QString());
    if (!channels.isEmpty() && !m_switch)
        return failBatch(enginetext::english(enginetext::Id::NoSwitch));
    if (!channels.isEmpty() && !m_switch->routeOpenAll(channels))
        return failBatch(enginetext::english(enginetext::Id::SwitchFailed).arg(m_switch->lastError()));
    if (!m_source.setOutput(false))
        return failBatch(enginetext::english(enginetext::Id::SourceFailed).arg(m_source.lastError()));
    return true;
}

// The ambient as every unit's certificate states it, with where it came from.
bool BatchRun::readAmbient()
{
    const auto failed = [this] {
        return failBatch(enginetext::english(enginetext::Id::EnvironmentFailed).arg(m_environment->lastError()));
    };
    const auto t = m_environment->measureTemperature();
    if (!t)
        return failed();
    QString source = QStringLiteral("instrument %1 %2").arg(m_environment->model().name, serialOfIdentity(m_environment->identity()));
    if (!m_environment->model().measureHumidity.text.isEmpty()) {
        const auto rh = m_environment->measureHumidity();
        if (!rh)
            return failed();
        source += QStringLiteral("; relative humidity %1 %").arg(*rh, 0, 'f', 0);
    }
    m_ambient = std::pair{QString::number(*t, 'f', 1), source};
    return true;
}

bool BatchRun::identify(instruments::Instrument &instrument, const QString &role)
{
    QString why;
    const auto used = identified(instrument, role, why);
    const QString name = role == QLatin1String("environment") ? enginetext::english(enginetext::Id::EnvironmentInstrument) : role;
    if (!used)
        return failBatch(enginetext::english(enginetext::Id::TheInstrument).arg(name, why));
    if (m_standardTerms && role == QLatin1String("source"))
        m_sourceTerms = m_standardTerms(*used);
    else if (m_standardTerms && role == QLatin1String("meter"))
        m_meterTerms = m_standardTerms(*used);
    if (role != QLatin1String("switch"))
        m_used << *used;
    return true;
}

// Opened, its *IDN? answer checked against its model and, for a standard, by the
// register, then reset: what the records name, or why it cannot be used.
std::optional<record::UsedInstrument> BatchRun::identified(instruments::Instrument &instrument, const QString &role,
                                                           QString &why)
{
    if (!instrument.isOpen() && !instrument.open())
        return why = instrument.lastError(), std::nullopt;
    const auto identity = instrument.identify();
    if (!identity)
        return why = instrument.lastError(), std::nullopt;
    record::UsedInstrument used;
    used.role = role;
    used.model = instrument.model().name;
    used.identity = *identity;
    used.serial = serialOfIdentity(*identity);
    // The switch carries no measurement: it is not a standard of the register.
    if (m_standardCheck && role != QLatin1String("switch"))
        if (const auto refusal = m_standardCheck(used))
            return why = *refusal, std::nullopt;
    if (!instrument.reset())
        return why = instrument.lastError(), std::nullopt;
    return used;
}

// The shared meter, or the unit's own, opened and identified as the shared one
// is (its model the shared meter's unless the map names one). An own meter that
// cannot be used ends this unit alone.
void BatchRun::openMeter(Unit &u)
{
    u.meter = &m_meter;
    u.meterTerms = m_meterTerms;
    u.used = m_used;
    const MapUnit &map = u.given.map;
    if (map.meter.isEmpty())
        return;
    QString why;
    const auto address = instruments::parseAddress(map.meter, &why);
    std::optional<instruments::Model> model;
    if (address && map.meterModel.isEmpty())
        model = m_meter.model();
    else if (address)
        model = instruments::findModel(map.meterModel, &why);
    if (model && model->role != instruments::Role::Meter)
        why = enginetext::english(enginetext::Id::NotMeterModel).arg(model->name);
    if (!model || model->role != instruments::Role::Meter)
        return endUnit(u, enginetext::english(enginetext::Id::OwnMeterNamed).arg(map.meter, why), RunResult::Cause::Instrument);
    u.ownMeter = std::make_unique<instruments::Instrument>(*model, *address);
    const auto used = identified(*u.ownMeter, QStringLiteral("meter"), why);
    if (!used)
        return endUnit(u, enginetext::english(enginetext::Id::OwnMeterNamed).arg(map.meter, why), RunResult::Cause::Instrument);
    u.meter = u.ownMeter.get();
    u.meterTerms = m_standardTerms ? m_standardTerms(*used) : QMap<QString, metrology::StandardCalibration>();
    for (record::UsedInstrument &instrument : u.used)
        if (instrument.role == QLatin1String("meter"))
            instrument = *used;
}

// This unit's loop on its meter, alone: its own where it has one, no route
// changed; else the shared one through its meter channel. An error while it is
// there costs this unit its point: it ends alone. Only a route that cannot be
// opened again ends the batch.
std::optional<double> BatchRun::measureLoop(Unit &u)
{
    const auto read = [&] {
        QElapsedTimer clock;
        clock.start();
        const auto current = u.meter->measureCurrentMa();
        m_result.instrumentMs += clock.nsecsElapsed() / 1e6;
        return current;
    };
    if (u.ownMeter) {
        const auto current = read();
        if (!current)
            endUnit(u, enginetext::english(enginetext::Id::OwnMeter).arg(u.meter->lastError()), RunResult::Cause::Instrument);
        return current;
    }
    const QString channel = u.given.map.meterChannel;
    if (channel.isEmpty()) {   // the shared meter on this loop alone, no route
        const auto current = read();
        if (!current)
            endUnit(u, enginetext::english(enginetext::Id::MeterFailed).arg(m_meter.lastError()), RunResult::Cause::Instrument);
        return current;
    }
    const bool closed = route(true, channel);
    const QString closeError = m_switch->lastError();
    const auto current = closed ? read() : std::nullopt;
    const QString meterError = m_meter.lastError();
    if (!route(false, channel) && !route(false, channel))
        return failBatch(enginetext::english(enginetext::Id::SwitchFailed).arg(m_switch->lastError())), std::nullopt;
    if (!closed || !current)
        endUnit(u, closed ? enginetext::english(enginetext::Id::MeterOnLoop).arg(meterError)
                          : enginetext::english(enginetext::Id::SwitchMeterChannel).arg(closeError),
                RunResult::Cause::Instrument);
    return current;
}

bool BatchRun::source(double signal, bool thermocouple)
{
    QElapsedTimer clock;
    clock.start();
    const auto spent = qScopeGuard([&] { m_result.instrumentMs += clock.nsecsElapsed() / 1e6; });
    const bool set = thermocouple ? m_source.sourceMillivolts(signal) : m_source.sourceOhms(signal);
    if (!set || (!m_outputOn && !m_source.setOutput(true)))
        return failBatch(enginetext::english(enginetext::Id::SourceFailed).arg(m_source.lastError()));
    m_outputOn = true;
    ++m_result.sourceSettings;
    return true;
}

// The switch's exchange, its time counted apart from the calibrator's and the meter's.
bool BatchRun::route(bool close, const QString &channel)
{
    QElapsedTimer clock;
    clock.start();
    if (!m_switch)
        return false;
    const bool done = close ? m_switch->routeClose({channel}) : m_switch->routeOpen({channel});
    m_result.switchMs += clock.nsecsElapsed() / 1e6;
    return done;
}

} // namespace autocal
