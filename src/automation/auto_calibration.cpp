#include "automation/auto_calibration.h"

#include "automation/point_record.h"

#include "core/live_values.h"
#include "core/registers.h"
#include "instruments/instrument.h"
#include "link/link.h"
#include "metrology/point_budget.h"
#include "procedures/current_calibration.h"
#include "procedures/sensor_calibration.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <cmath>

namespace autocal {

namespace {

QString serialOf(const QString &identity)
{
    const QStringList fields = identity.split(',');
    return fields.size() >= 3 ? fields.at(2).trimmed() : QString();
}

} // namespace

QString phaseKey(Phase phase)
{
    switch (phase) {
    case Phase::Preparing: return QStringLiteral("preparing");
    case Phase::AsFound: return QStringLiteral("as-found");
    case Phase::Adjusting: return QStringLiteral("adjusting");
    case Phase::AsLeft: return QStringLiteral("as-left");
    case Phase::Finishing: break;
    }
    return QStringLiteral("finishing");
}

AutoCalibration::AutoCalibration(rtu::Link &link, instruments::Instrument &source,
                                 instruments::Instrument &meter, QObject *parent)
    : QObject(parent), m_link(link), m_source(source), m_meter(meter)
{
}

void AutoCalibration::abort(const QString &reason)
{
    if (m_running && m_abort.isEmpty())
        m_abort = reason;
}

bool AutoCalibration::fail(const QString &reason, RunResult::Cause cause)
{
    if (!m_result.reason.isEmpty())
        return false;
    m_result.reason = m_abort.isEmpty() ? reason : m_abort;
    m_result.cause = m_abort.isEmpty() ? cause : RunResult::Cause::Stopped;
    return false;
}

bool AutoCalibration::wait(int ms)
{
    QElapsedTimer clock;
    clock.start();
    m_link.waitUntil([this] { return !m_abort.isEmpty(); }, ms);
    m_result.waitedMs += clock.elapsed();
    if (!m_abort.isEmpty())
        return fail(m_abort);
    if (!m_unit.holds(m_link))
        return fail(QStringLiteral("the link to the transmitter closed"), RunResult::Cause::Link);
    return true;
}

RunResult AutoCalibration::run(const RunPlan &plan, const record::Header &given)
{
    m_result = {};
    m_abort.clear();
    m_plan = plan;
    m_used.clear();
    m_sourceTerms.clear();
    m_meterTerms.clear();
    m_outputOn = false;
    rtu::OperationGuard guard(m_link);
    if (!guard || !m_link.startOperation()) {
        m_result.reason = guard ? QStringLiteral("the link to the transmitter is not open")
                                : QStringLiteral("another operation is running; nothing was done");
        return m_result;
    }
    m_running = true;
    m_unit = proc::UnitBinding::of(m_link);
    record::Header header = given;
    emit phaseChanged(Phase::Preparing);
    if (!prepare(plan, header)) {
        endSafely();
        m_running = false;
        return m_result;
    }
    m_result.outcome = RunResult::Outcome::Aborted;
    emit prepared(header);
    bool ok = check(record::Stage::AsFound, header);
    const bool needed = ok && (plan.adjust == Adjust::Always
                               || (plan.adjust == Adjust::WhenFailed
                                   && record::verdict(*m_result.asFound) != record::Verdict::Pass));
    if (ok && needed) {
        emit phaseChanged(Phase::Adjusting);
        ok = adjust();
        if (!ok)
            keepUnfinishedAdjustment(header);
    }
    if (ok)
        ok = check(record::Stage::AsLeft, header);
    emit phaseChanged(Phase::Finishing);
    endSafely();
    if (ok)
        m_result.outcome = record::verdict(*m_result.asLeft) == record::Verdict::Pass ? RunResult::Outcome::Passed
                                                                                      : RunResult::Outcome::Failed;
    m_running = false;
    return m_result;
}

// --- before anything is sourced ---

bool AutoCalibration::prepare(const RunPlan &plan, record::Header &header)
{
    // Its records and certificate name the transmitter by its serial number.
    if (header.serial.trimmed().isEmpty())
        return fail(QStringLiteral("the transmitter's serial number is needed for its records"));
    if (!readTransmitter(header))
        return false;
    record::Record probe;
    if (!identify(m_source, QStringLiteral("source"), probe) || !identify(m_meter, QStringLiteral("meter"), probe)
        || (m_environment && !identify(*m_environment, QStringLiteral("environment"), probe)))
        return false;
    m_used = probe.instruments;
    const record::UsedInstrument &src = m_used.first();
    header.reference = QStringLiteral("%1 %2").arg(src.model, src.serial);
    header.referenceCertificate = src.certificate;
    header.referenceDue = src.due;
    // Every point must be one the source can set, before the first is set.
    double room = 0.0;
    if (!sample(&room))
        return false;
    if (!readAmbient(header, room))
        return false;
    const char *function = metrology::isThermocouple(m_sensor) ? "mV" : "ohm";
    for (double t : pointTemperatures(plan, m_range)) {
        const auto signal = metrology::signalFor(m_sensor, t, room);
        if (!signal || !instruments::rangeFor(m_source.model(), function, *signal))
            return fail(QStringLiteral("%1 °C is outside what the sensor or the source can give").arg(t));
    }
    return true;
}

// The ambient as the certificate states it, with where it came from.
bool AutoCalibration::readAmbient(record::Header &header, double room)
{
    if (m_environment) {
        const auto t = m_environment->measureTemperature();
        if (!t)
            return fail(QStringLiteral("the environment instrument: %1").arg(m_environment->lastError()),
                        RunResult::Cause::Instrument);
        header.ambient = QString::number(*t, 'f', 1);
        header.ambientSource = QStringLiteral("instrument %1 %2").arg(m_environment->model().name, serialOf(m_environment->identity()));
        if (!m_environment->model().measureHumidity.text.isEmpty()) {
            const auto rh = m_environment->measureHumidity();
            if (!rh)
                return fail(QStringLiteral("the environment instrument: %1").arg(m_environment->lastError()),
                            RunResult::Cause::Instrument);
            header.ambientSource += QStringLiteral("; relative humidity %1 %").arg(*rh, 0, 'f', 0);
        }
    } else if (header.ambient.isEmpty()) {
        header.ambient = QString::number(room, 'f', 1);   // the terminals' temperature, as the transmitter reads it
        header.ambientSource = QStringLiteral("transmitter");
    } else if (header.ambientSource.isEmpty()) {
        header.ambientSource = QStringLiteral("operator");
    }
    return true;
}

bool AutoCalibration::readTransmitter(record::Header &header)
{
    StepFailure failure;
    const auto setup = readTransmitterSetup(m_link, m_plan, header, failure);
    if (!setup)
        return fail(failure.reason, failure.cause);
    m_sensor = setup->sensor;
    m_range = setup->range;
    m_resolution = setup->resolution;
    return true;
}

bool AutoCalibration::identify(instruments::Instrument &instrument, const QString &role, record::Record &into)
{
    const QString name = QStringLiteral("the %1").arg(role == QLatin1String("environment") ? QStringLiteral("environment instrument") : role);
    if (!instrument.isOpen() && !instrument.open())
        return fail(QStringLiteral("%1: %2").arg(name, instrument.lastError()), RunResult::Cause::Instrument);
    const auto identity = instrument.identify();
    if (!identity)
        return fail(QStringLiteral("%1: %2").arg(name, instrument.lastError()), RunResult::Cause::Instrument);
    record::UsedInstrument used;
    used.role = role;
    used.model = instrument.model().name;
    used.identity = *identity;
    used.serial = serialOf(*identity);
    if (m_standardCheck)
        if (const auto refusal = m_standardCheck(used))
            return fail(QStringLiteral("%1: %2").arg(name, *refusal), RunResult::Cause::Instrument);
    if (!instrument.reset())
        return fail(QStringLiteral("%1: %2").arg(name, instrument.lastError()), RunResult::Cause::Instrument);
    if (role == QLatin1String("source") && !instrument.setOutput(false))
        return fail(QStringLiteral("%1: %2").arg(name, instrument.lastError()), RunResult::Cause::Instrument);
    if (m_standardTerms && role == QLatin1String("source"))
        m_sourceTerms = m_standardTerms(used);
    else if (m_standardTerms && role == QLatin1String("meter"))
        m_meterTerms = m_standardTerms(used);
    into.instruments << used;
    return true;
}

// --- the checks ---

// The check of `stage`, in the result as far as it got; false when it ended early.
bool AutoCalibration::check(record::Stage stage, const record::Header &header)
{
    const Phase phase = stage == record::Stage::AsFound ? Phase::AsFound : Phase::AsLeft;
    emit phaseChanged(phase);
    std::optional<record::Record> &slot = stage == record::Stage::AsFound ? m_result.asFound : m_result.asLeft;
    slot = record::newRecord(header, stage, pointTemperatures(m_plan, m_range), QDateTime::currentDateTimeUtc());
    if (stage == record::Stage::AsLeft)
        slot->adjusted = m_result.adjusted;
    slot->instruments = m_used;
    m_current = &slot;
    for (int i = 0; i < slot->points.size(); ++i) {
        if (!measurePoint(*slot, i)) {
            slot->incompleteReason = m_result.reason;
            keep(*slot);
            return false;
        }
        emit pointRecorded(phase, i, slot->points.at(i));
    }
    keep(*slot);
    return true;
}

// An adjustment that ended early is told by an as-left check that never began.
void AutoCalibration::keepUnfinishedAdjustment(const record::Header &header)
{
    m_result.asLeft = record::newRecord(header, record::Stage::AsLeft, pointTemperatures(m_plan, m_range),
                                        QDateTime::currentDateTimeUtc());
    m_result.asLeft->instruments = m_used;
    m_result.asLeft->adjusted = m_result.adjusted;
    m_result.asLeft->incompleteReason = QStringLiteral("the adjustment ended early: %1").arg(m_result.reason);
    keep(*m_result.asLeft);
}

void AutoCalibration::keep(record::Record &record)
{
    m_current = nullptr;
    emit recordEnded(record);
}

bool AutoCalibration::measurePoint(record::Record &record, int index)
{
    record::Point &point = record.points[index];
    double room = 0.0;
    if (!sample(&room))
        return false;
    const auto signal = metrology::signalFor(m_sensor, point.reference, room);
    if (!signal)
        return fail(QStringLiteral("no signal for %1 °C").arg(point.reference));
    emit pointStarted(record.stage == record::Stage::AsFound ? Phase::AsFound : Phase::AsLeft, index,
                      point.reference, *signal, QString::fromLatin1(metrology::signalUnit(m_sensor)));
    SettlingWindow window(m_plan.settling.samples, m_plan.settling.band, m_plan.settling.bandMa);
    std::vector<double> readings, currents;   // one mean per independent repeat
    for (int repeat = 0; repeat < m_plan.repeats; ++repeat) {
        if (repeat > 0 && !approachAgain(point.reference, room))
            return false;
        window.clear();
        const auto again = metrology::signalFor(m_sensor, point.reference, room);
        if (!again || !source(*again) || !settle(window, *again, room))
            return again ? false : fail(QStringLiteral("no signal for %1 °C").arg(point.reference));
        readings.push_back(window.meanReading());
        currents.push_back(window.meanCurrent());
    }
    const auto sourced = metrology::signalFor(m_sensor, point.reference, room);
    if (!sourced)
        return fail(QStringLiteral("no signal for %1 °C").arg(point.reference));
    const TransmitterSetup transmitter{m_sensor, m_range, m_resolution, std::nullopt};
    const PointSetup setup{transmitter, m_plan, m_source.model(), m_meter.model(), m_sourceTerms, m_meterTerms};
    // One mean per independent repeat; with a single settling its samples stand.
    if (const auto failure = recordPoint(point, setup, point.reference, room, *sourced, window, readings, currents))
        return fail(failure->reason, failure->cause);
    return true;
}

// Between independent repeats the point is left: the far end of the range is
// sourced for the samples' time, so each repeat settles from away (up and down
// in turn across the points).
bool AutoCalibration::approachAgain(double celsius, double &room)
{
    const double away = celsius - m_range.lower > m_range.upper - celsius ? m_range.lower : m_range.upper;
    const auto signal = metrology::signalFor(m_sensor, away, room);
    if (!signal || !source(*signal))
        return signal ? false : fail(QStringLiteral("no signal for %1 °C").arg(away));
    if (!wait(m_plan.settling.samples * m_plan.settling.intervalMs))
        return false;
    return sample(&room).has_value();
}

// Samples until the last few agree, or the point's time is up.
bool AutoCalibration::settle(SettlingWindow &window, double signal, double &room)
{
    QElapsedTimer clock;
    clock.start();
    double sourcedRoom = room;
    while (!window.settled()) {
        if (clock.elapsed() > m_plan.settling.timeoutMs)
            return fail(QStringLiteral("the reading did not settle within %1 s").arg(m_plan.settling.timeoutMs / 1000), RunResult::Cause::NotSettled);
        if (!wait(m_plan.settling.intervalMs))
            return false;
        const auto s = sample(&room);
        if (!s)
            return false;
        if (metrology::isThermocouple(m_sensor) && std::abs(room - sourcedRoom) > kColdJunctionStep) {
            const double point = *metrology::celsiusFor(m_sensor, signal, sourcedRoom);
            const auto again = metrology::signalFor(m_sensor, point, room);
            if (!again || !source(*again))
                return again ? false : fail(QStringLiteral("no signal for the new cold junction"));
            signal = *again;
            sourcedRoom = room;
            window.clear();
            continue;
        }
        window.add(*s);
        emit sampled(s->reading, s->currentMa, window.count());
    }
    return true;
}

std::optional<Sample> AutoCalibration::sample(double *room, qint32 *adc)
{
    if (!m_unit.holds(m_link))
        return fail(QStringLiteral("the link to the transmitter closed"), RunResult::Cause::Link), std::nullopt;
    const rtu::ReadResult input = m_link.read(core::Block::Input);
    if (input.outcome != rtu::ReadOutcome::Delivered)
        return fail(QStringLiteral("the transmitter did not answer: %1").arg(input.verdict.text), RunResult::Cause::Link), std::nullopt;
    const reg::LiveValues live = reg::decodeLiveValues(input.words, QDateTime::currentDateTimeUtc());
    if (!live.room || (!adc && !live.measured))
        return fail(QStringLiteral("the transmitter sent a reading that cannot be shown")), std::nullopt;
    Sample s;
    s.reading = live.measured.value_or(0.0);
    if (room)
        *room = *live.room;
    if (adc) {
        *adc = live.adc;
        return s;
    }
    const auto current = measureCurrent();
    if (!current)
        return std::nullopt;
    s.currentMa = *current;
    return s;
}

std::optional<double> AutoCalibration::measureCurrent()
{
    QElapsedTimer clock;
    clock.start();
    const auto current = m_meter.measureCurrentMa();
    m_result.instrumentMs += clock.nsecsElapsed() / 1e6;
    if (!current)
        return fail(QStringLiteral("the meter: %1").arg(m_meter.lastError()), RunResult::Cause::Instrument), std::nullopt;
    return current;
}

bool AutoCalibration::source(double signal)
{
    QElapsedTimer clock;
    clock.start();
    const auto spent = qScopeGuard([&] { m_result.instrumentMs += clock.nsecsElapsed() / 1e6; });
    const bool set = metrology::isThermocouple(m_sensor) ? m_source.sourceMillivolts(signal) : m_source.sourceOhms(signal);
    if (!set || (!m_outputOn && !m_source.setOutput(true)))
        return fail(QStringLiteral("the source: %1").arg(m_source.lastError()), RunResult::Cause::Instrument);
    m_outputOn = true;
    return true;
}

// --- the adjustment, through the procedures ---

bool AutoCalibration::adjust()
{
    if (!adjustInput())
        return false;
    m_result.adjusted = true;
    if (!adjustOutput())
        return false;
    return true;
}

bool AutoCalibration::adjustInput()
{
    using Cal = proc::SensorCalibration;
    const bool tc = metrology::isThermocouple(m_sensor);
    Cal cal(m_link, tc ? Cal::Input::Thermocouple : Cal::Input::Rtd);
    const double points[2] = {tc ? 50.0 : 100.0, tc ? 0.0 : 200.0};
    bool ok = cal.enter() == Cal::Result::Done || fail(QStringLiteral("the transmitter did not enter its calibration mode"));
    for (int i = 0; ok && i < 2; ++i) {
        emit adjustmentStep(QStringLiteral("input point %1 %2").arg(points[i]).arg(metrology::signalUnit(m_sensor)));
        ok = source(points[i]) && settledAdc()
            && (cal.capture(i) == Cal::Result::Done || fail(QStringLiteral("the transmitter did not take its input point")));
    }
    if (ok) {
        emit adjustmentStep(QStringLiteral("storing the input points"));
        const Cal::Result stored = cal.store();
        ok = stored == Cal::Result::Done
            || fail(stored == Cal::Result::StateLost
                        ? QStringLiteral("the transmitter lost a captured point before the store; nothing was stored")
                        : QStringLiteral("the input points were not stored as captured"));
    }
    if (cal.leave() != Cal::Result::Done)
        m_result.notes << QStringLiteral("leaving the input calibration mode was not confirmed");
    // What the transmitter holds, from the one outcome every store reports.
    if (!cal.outcome().stored() || !ok)
        m_result.notes << QStringLiteral("input points: ") + proc::outcomeText(cal.outcome(), 2);
    return ok;
}

bool AutoCalibration::adjustOutput()
{
    using Cal = proc::CurrentCalibration;
    Cal cal(m_link);
    emit adjustmentStep(QStringLiteral("output at 4 mA"));
    bool ok = cal.start() == Cal::Result::Done || fail(QStringLiteral("the transmitter did not drive 4 mA"));
    std::optional<double> at4 = ok ? settledCurrent() : std::nullopt;
    ok = at4 && (cal.measured4mA(quint16(std::lround(*at4 * 1000.0))) == Cal::Result::Done
                 || fail(QStringLiteral("the transmitter did not take its 4 mA point")));
    if (ok)
        emit adjustmentStep(QStringLiteral("output at 20 mA"));
    std::optional<double> at20 = ok ? settledCurrent() : std::nullopt;
    ok = at20 && (cal.measured20mA(quint16(std::lround(*at20 * 1000.0))) == Cal::Result::Done
                  || fail(QStringLiteral("the output points were not stored as measured")));
    if (!ok && cal.leave() != Cal::Result::Done)
        m_result.notes << QStringLiteral("leaving the output calibration mode was not confirmed");
    if (!ok || cal.outcome().held != proc::Outcome::Held::StoredVerified)
        m_result.notes << QStringLiteral("output points: ") + proc::outcomeText(cal.outcome(), 2);
    return ok;
}

std::optional<double> AutoCalibration::settledAdc()
{
    QElapsedTimer clock;
    clock.start();
    std::optional<SettlingWindow> window;
    while (!window || !window->settled()) {
        if (clock.elapsed() > m_plan.settling.timeoutMs)
            return fail(QStringLiteral("the transmitter's input did not settle"), RunResult::Cause::NotSettled), std::nullopt;
        if (!wait(m_plan.settling.intervalMs))
            return std::nullopt;
        qint32 adc = 0;
        if (!sample(nullptr, &adc))
            return std::nullopt;
        // A few counts, or a few parts in ten thousand of a large reading.
        if (!window)
            window.emplace(m_plan.settling.samples, std::max(3.0, std::abs(adc) * 2e-4), 0.0);
        window->add({double(adc), 0.0});
    }
    return window->meanReading();
}

std::optional<double> AutoCalibration::settledCurrent()
{
    QElapsedTimer clock;
    clock.start();
    SettlingWindow window(m_plan.settling.samples, 0.0, m_plan.settling.bandMa);
    while (!window.settled()) {
        if (clock.elapsed() > m_plan.settling.timeoutMs)
            return fail(QStringLiteral("the loop current did not settle"), RunResult::Cause::NotSettled), std::nullopt;
        if (!wait(m_plan.settling.intervalMs))
            return std::nullopt;
        const auto current = measureCurrent();
        if (!current)
            return std::nullopt;
        window.add({0.0, *current});
        emit sampled(0.0, *current, window.count());
    }
    return window.meanCurrent();
}

// The source off whatever happened; the procedures have put back their own.
void AutoCalibration::endSafely()
{
    if (m_source.isOpen() && !m_source.setOutput(false))
        m_result.notes << QStringLiteral("the source output could not be switched off (%1): switch it off by hand")
                              .arg(m_source.lastError());
    m_outputOn = false;
    if (m_current && *m_current) {
        (*m_current)->incompleteReason = m_result.reason;
        keep(**m_current);
    }
}

} // namespace autocal
