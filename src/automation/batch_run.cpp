#include "automation/batch_run.h"

#include "automation/point_record.h"
#include "automation/settling.h"
#include "core/live_values.h"
#include "core/registers.h"
#include "instruments/instrument.h"
#include "link/link.h"
#include "link/side_by_side.h"
#include "metrology/point_budget.h"
#include "metrology/sensor.h"
#include "procedures/current_calibration.h"
#include "procedures/transaction.h"
#include "procedures/sensor_calibration.h"
#include "procedures/unit_binding.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>

#include <cmath>

namespace autocal {

namespace {

// One read's end, kept alive by the read's handler even past the batch.
struct ReadSlot {
    bool ended = false;
    bool delivered = false;
    QString failure;
    QVector<quint16> words;
};

QString serialOf(const QString &identity)
{
    const QStringList fields = identity.split(',');
    return fields.size() >= 3 ? fields.at(2).trimmed() : QString();
}

// How long a read of every unit at once may take: each ends by its own deadline well before.
constexpr int kReadBoundMs = 10000;

} // namespace

struct BatchRun::Unit {
    BatchUnit given;
    std::unique_ptr<rtu::OperationGuard> guard;
    proc::UnitBinding binding;
    metrology::Sensor sensor{};
    record::Range range;
    double resolution = 0.1;
    record::Header header;
    UnitOutcome outcome;
    bool live = false;
    // The point in progress.
    std::optional<SettlingWindow> window;
    std::shared_ptr<ReadSlot> read;
    std::optional<reg::LiveValues> values;
    double room = 0.0;
    // What it is, as read before the first point.
    std::optional<TransmitterSetup> setup;
    StepFailure setupFailure;
    // The adjustment in progress, through the procedures.
    std::unique_ptr<proc::SensorCalibration> input;
    std::unique_ptr<proc::CurrentCalibration> output;
    // Its loop's meter: the shared one behind its meter channel, or one of its own,
    // with that meter's terms for the current's budget and the instruments its records name.
    std::unique_ptr<instruments::Instrument> ownMeter;
    instruments::Instrument *meter = nullptr;
    QMap<QString, metrology::StandardCalibration> meterTerms;
    QVector<record::UsedInstrument> used;
    bool rtd() const { return !metrology::isThermocouple(sensor); }
};

BatchRun::BatchRun(QVector<BatchUnit> units, instruments::Instrument &source, instruments::Instrument &meter,
                   instruments::Instrument &routeSwitch, QObject *parent)
    : QObject(parent), m_source(source), m_meter(meter), m_switch(routeSwitch)
{
    for (const BatchUnit &b : units) {
        auto u = std::make_shared<Unit>();
        u->given = b;
        m_units << u;
    }
}

BatchRun::~BatchRun() = default;

void BatchRun::abort(const QString &reason)
{
    if (m_abort.isEmpty())
        m_abort = reason;
}

BatchResult BatchRun::check(record::Stage stage, const RunPlan &plan, const record::Header &common)
{
    begin(plan);
    if (prepare(common))
        measure(stage);
    endSafely();
    return collect();
}

BatchResult BatchRun::run(const RunPlan &plan, const record::Header &common)
{
    begin(plan);
    if (prepare(common) && measure(record::Stage::AsFound)) {
        QVector<Unit *> needing;
        for (Unit *u : live())
            if (plan.adjust == Adjust::Always
                || (plan.adjust == Adjust::WhenFailed && record::verdict(*u->outcome.asFound) != record::Verdict::Pass))
                needing << u;
        if (needing.isEmpty() || adjust(needing))
            measure(record::Stage::AsLeft);
    }
    endSafely();
    return collect();
}

void BatchRun::begin(const RunPlan &plan)
{
    m_result = {};
    m_abort.clear();
    m_plan = plan;
    m_used.clear();
    m_sourceTerms.clear();
    m_meterTerms.clear();
    m_outputOn = false;
    m_ambient.reset();
    m_adjusting = m_measuring = false;
    for (auto &u : m_units) {
        const BatchUnit given = u->given;
        *u = Unit{};
        u->given = given;
        u->outcome.unit = given.map.unit;
        u->outcome.serial = given.map.serial;
    }
}

bool BatchRun::prepare(const record::Header &common)
{
    // Type A from the settled samples only: a plan asking for more is not run as if it had it.
    if (m_plan.repeats > 1)
        return failBatch(QStringLiteral("independent repeats per point are not run by a batch yet"));
    if (!prepareInstruments())
        return false;
    for (auto &u : m_units)
        if (stillGoing())
            openUnit(*u, common);
    // What each transmitter is, read on every link at once.
    eachAtOnce(live(), [this](Unit &u) {
        u.setup = readTransmitterSetup(*u.given.link, m_plan, u.header, u.setupFailure);
    });
    for (auto &u : m_units)
        if (u->live && stillGoing())
            prepareUnit(*u);
    m_result.ran = !live().isEmpty() || failBatch(QStringLiteral("no unit of the batch could be calibrated"));
    for (Unit *u : live())
        emit unitPrepared(u->given.map.unit, u->header);
    return m_result.ran && stillGoing();
}

std::optional<record::Record> &BatchRun::recordOf(Unit &u)
{
    return m_stage == record::Stage::AsFound ? u.outcome.asFound : u.outcome.asLeft;
}

// The check of `stage` of every unit still in the batch; each kept as it ends,
// complete or with the reason it ended early.
bool BatchRun::measure(record::Stage stage)
{
    m_stage = stage;
    m_measuring = true;
    emit checkStarted(stage);
    QVector<Unit *> measured = live();
    for (Unit *u : measured) {
        recordOf(*u) = record::newRecord(u->header, stage, pointTemperatures(m_plan, u->range),
                                         QDateTime::currentDateTimeUtc());
        recordOf(*u)->instruments = u->used;
    }
    for (int index = 0; stillGoing() && index < m_plan.points.size(); ++index)
        for (const QVector<Unit *> &group : groups())
            if (!stillGoing() || !measureGroup(group, index))
                break;
    for (Unit *u : measured) {
        if (u->live && !m_result.reason.isEmpty())
            endUnit(*u, m_result.reason, m_abort.isEmpty() ? RunResult::Cause::Instrument : RunResult::Cause::Stopped);
        emit recordEnded(u->given.map.unit, *recordOf(*u));
    }
    m_measuring = false;
    return stillGoing();
}

BatchResult BatchRun::collect()
{
    for (auto &u : m_units)
        m_result.units << u->outcome;
    return m_result;
}

// --- before anything is sourced ---

bool BatchRun::prepareInstruments()
{
    if (!identify(m_source, QStringLiteral("source")) || !identify(m_meter, QStringLiteral("meter"))
        || !identify(m_switch, QStringLiteral("switch"))
        || (m_environment && (!identify(*m_environment, QStringLiteral("environment")) || !readAmbient())))
        return false;
    QStringList channels;
    for (const auto &u : m_units)
        channels << u->given.map.sourceChannel << u->given.map.meterChannel;
    channels.removeAll(QString());
    if (!channels.isEmpty() && !m_switch.routeOpenAll(channels))
        return failBatch(QStringLiteral("the switch: %1").arg(m_switch.lastError()));
    if (!m_source.setOutput(false))
        return failBatch(QStringLiteral("the source: %1").arg(m_source.lastError()));
    return true;
}

// The ambient as every unit's certificate states it, with where it came from.
bool BatchRun::readAmbient()
{
    const auto failed = [this] {
        return failBatch(QStringLiteral("the environment instrument: %1").arg(m_environment->lastError()));
    };
    const auto t = m_environment->measureTemperature();
    if (!t)
        return failed();
    QString source = QStringLiteral("instrument %1 %2").arg(m_environment->model().name, serialOf(m_environment->identity()));
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
    const QString name = role == QLatin1String("environment") ? QStringLiteral("environment instrument") : role;
    if (!used)
        return failBatch(QStringLiteral("the %1: %2").arg(name, why));
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
    used.serial = serialOf(*identity);
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
        why = QStringLiteral("%1 is not a meter's model").arg(model->name);
    if (!model || model->role != instruments::Role::Meter)
        return endUnit(u, QStringLiteral("its own meter %1: %2").arg(map.meter, why), RunResult::Cause::Instrument);
    u.ownMeter = std::make_unique<instruments::Instrument>(*model, *address);
    const auto used = identified(*u.ownMeter, QStringLiteral("meter"), why);
    if (!used)
        return endUnit(u, QStringLiteral("its own meter %1: %2").arg(map.meter, why), RunResult::Cause::Instrument);
    u.meter = u.ownMeter.get();
    u.meterTerms = m_standardTerms ? m_standardTerms(*used) : QMap<QString, metrology::StandardCalibration>();
    for (record::UsedInstrument &instrument : u.used)
        if (instrument.role == QLatin1String("meter"))
            instrument = *used;
}

void BatchRun::openUnit(Unit &u, const record::Header &common)
{
    rtu::Link *link = u.given.link;
    if (!link || !link->isOpen())
        return endUnit(u, QStringLiteral("its line %1 is not open").arg(u.given.map.port), RunResult::Cause::Link);
    u.guard = std::make_unique<rtu::OperationGuard>(*link);
    if (!*u.guard || !link->startOperation())
        return endUnit(u, QStringLiteral("another operation runs on its link"), RunResult::Cause::Link);
    u.binding = proc::UnitBinding::of(*link);
    u.live = true;
    u.header = common;
    u.header.tag = u.given.map.tag;
    u.header.serial = u.given.map.serial;
    openMeter(u);
}

void BatchRun::prepareUnit(Unit &u)
{
    if (!readTransmitter(u))
        return;
    // One source for the batch: every unit must take the same points.
    for (const auto &other : m_units) {
        if (other.get() == &u)
            break;
        if (other->live && (other->sensor.kind != u.sensor.kind || other->sensor.type != u.sensor.type
                            || other->range.lower != u.range.lower || other->range.upper != u.range.upper))
            return endUnit(u, QStringLiteral("its input type or range differs from unit %1's").arg(other->given.map.unit),
                           RunResult::Cause::Transmitter);
    }
    if (u.rtd() && u.given.map.sourceChannel.isEmpty())
        return endUnit(u, QStringLiteral("an RTD input needs a source channel of its own"), RunResult::Cause::Transmitter);
    const char *function = u.rtd() ? "ohm" : "mV";
    for (double t : pointTemperatures(m_plan, u.range)) {
        const auto signal = metrology::signalFor(u.sensor, t, u.room);
        if (!signal || !instruments::rangeFor(m_source.model(), function, *signal))
            return endUnit(u, QStringLiteral("%1 °C is outside what the sensor or the source can give").arg(t),
                           RunResult::Cause::Transmitter);
    }
    if (!m_used.isEmpty()) {
        u.header.reference = QStringLiteral("%1 %2").arg(m_used.first().model, m_used.first().serial);
        u.header.referenceCertificate = m_used.first().certificate;
        u.header.referenceDue = m_used.first().due;
    }
    if (m_ambient) {
        u.header.ambient = m_ambient->first;
        u.header.ambientSource = m_ambient->second;
    } else if (u.header.ambient.isEmpty()) {
        u.header.ambient = QString::number(u.room, 'f', 1);   // its terminals' temperature, as it reads it
        u.header.ambientSource = QStringLiteral("transmitter");
    } else if (u.header.ambientSource.isEmpty()) {
        u.header.ambientSource = QStringLiteral("operator");
    }
}

// As the single run reads it: the plan checked against this unit's range, its header filled in.
bool BatchRun::readTransmitter(Unit &u)
{
    const auto &setup = u.setup;
    if (!setup)
        return endUnit(u, u.setupFailure.reason, u.setupFailure.cause), false;
    // Its own cold junction gives each unit its reference from the shared signal.
    if (!setup->room)
        return endUnit(u, QStringLiteral("the transmitter's room reading cannot be shown"),
                       RunResult::Cause::Transmitter), false;
    u.sensor = setup->sensor;
    u.range = setup->range;
    u.resolution = setup->resolution;
    u.room = *setup->room;
    return true;
}

// The units that share the millivolt source, then each unit behind its own source channel.
QVector<QVector<BatchRun::Unit *>> BatchRun::groups()
{
    QVector<QVector<Unit *>> result(1);
    for (Unit *u : live()) {
        if (sourceIsRouted(u->given.map, u->rtd()))
            result << QVector<Unit *>{u};
        else
            result.first() << u;
    }
    if (result.first().isEmpty())
        result.removeFirst();
    return result;
}

// --- a point ---

bool BatchRun::measureGroup(const QVector<Unit *> &group, int index)
{
    QVector<Unit *> members;
    for (Unit *u : group)
        if (u->live)
            members << u;
    if (members.isEmpty())
        return true;
    // The cold junction of the group: the mean of its units' own.
    if (!readInputs(members))
        return false;
    double rooms = 0.0;
    int counted = 0;
    for (Unit *u : members)
        if (u->live && u->values) {
            rooms += u->room;
            ++counted;
        }
    if (counted == 0)
        return true;
    Unit &first = *members.first();
    const double celsius = pointTemperatures(m_plan, first.range).at(index);
    const auto signal = metrology::signalFor(first.sensor, celsius, rooms / counted);
    if (!signal) {
        for (Unit *u : members)
            endUnit(*u, QStringLiteral("no signal for %1 °C").arg(celsius), RunResult::Cause::Transmitter);
        return true;
    }
    QVector<int> numbers;
    for (Unit *u : members)
        numbers << u->given.map.unit;
    emit pointStarted(index, *signal, QString::fromLatin1(metrology::signalUnit(first.sensor)), numbers);
    const QString routed = sourceIsRouted(first.given.map, first.rtd()) ? first.given.map.sourceChannel : QString();
    // A routed group is one unit: an error of its source channel ends it alone.
    if (!routed.isEmpty() && !route(true, routed)) {
        endUnit(first, QStringLiteral("the switch on its source channel: %1").arg(m_switch.lastError()),
                RunResult::Cause::Instrument);
        return route(false, routed) || route(false, routed)
               || failBatch(QStringLiteral("the switch: %1").arg(m_switch.lastError()));
    }
    const bool settled = source(*signal, !first.rtd()) && settleGroup(members, *signal);
    if (settled)
        for (Unit *u : members)
            if (u->live)
                recordPoint(*u, index, *signal);
    // The resistance leaves this input before it goes to the next.
    if (!routed.isEmpty() && m_source.setOutput(false))
        m_outputOn = false;
    if (!routed.isEmpty() && !route(false, routed))
        return failBatch(QStringLiteral("the switch: %1").arg(m_switch.lastError()));
    return settled;
}

// Samples every unit of the group until each has settled; one that does not by the
// point's time is ended alone.
bool BatchRun::settleGroup(const QVector<Unit *> &group, double)
{
    for (Unit *u : group)
        u->window.emplace(m_plan.settling.samples, m_plan.settling.band, m_plan.settling.bandMa);
    QElapsedTimer clock;
    clock.start();
    const auto pending = [&] {
        QVector<Unit *> open;
        for (Unit *u : group)
            if (u->live && !u->window->settled())
                open << u;
        return open;
    };
    while (!pending().isEmpty()) {
        if (clock.elapsed() > m_plan.settling.timeoutMs) {
            for (Unit *u : pending())
                endUnit(*u, QStringLiteral("its reading did not settle within %1 s").arg(m_plan.settling.timeoutMs / 1000),
                        RunResult::Cause::NotSettled);
            break;
        }
        if (!pause(m_plan.settling.intervalMs))
            return false;
        const QVector<Unit *> sampling = pending();
        if (!readInputs(sampling) || !scanCurrents(sampling))
            return false;
    }
    return true;
}

// The input block of every unit at once, each over its own link; each read
// ends by its own deadline, so the wait ends when the slowest has. False when
// an abort cut the wait short: no unit is blamed for that.
bool BatchRun::readInputs(const QVector<Unit *> &units, bool normalMode)
{
    QVector<Unit *> asked;
    for (Unit *u : units) {
        u->values.reset();
        if (!u->live)
            continue;
        if (!u->binding.holds(*u->given.link)) {
            endUnit(*u, QStringLiteral("its link closed"), RunResult::Cause::Link);
            continue;
        }
        auto slot = std::make_shared<ReadSlot>();
        const quint64 id = u->given.link->sendRead(
            QModbusDataUnit::InputRegisters, 0, reg::kInputCount, [slot](const QModbusDataUnit &unit, const rtu::Verdict &v) {
                slot->ended = true;
                slot->delivered = v.ok && !v.shortReply && unit.valueCount() == uint(reg::kInputCount);
                slot->failure = v.text;
                slot->words = unit.values();
            });
        if (id == 0) {
            endUnit(*u, QStringLiteral("its read did not go out"), RunResult::Cause::Link);
            continue;
        }
        u->read = slot;
        asked << u;
    }
    const bool ended = waitAll([&] {
        for (Unit *u : asked)
            if (!u->read->ended)
                return false;
        return true;
    }, kReadBoundMs);
    if (!ended && !m_abort.isEmpty())
        return failBatch(m_abort);
    for (Unit *u : asked) {
        if (!u->live)
            continue;
        if (!u->read->ended || !u->read->delivered) {
            endUnit(*u, QStringLiteral("it did not answer: %1").arg(u->read->ended ? u->read->failure : QStringLiteral("no end")),
                    RunResult::Cause::Link);
            continue;
        }
        const reg::LiveValues live = reg::decodeLiveValues(u->read->words, QDateTime::currentDateTimeUtc());
        if (!live.measured || !live.room) {
            endUnit(*u, QStringLiteral("it sent a reading that cannot be shown"), RunResult::Cause::Transmitter);
            continue;
        }
        // A power cycle or anything else that left normal mode is not this check's state.
        if (normalMode && live.workMode != reg::ModeNone) {
            endUnit(*u, QStringLiteral("it left normal mode"), RunResult::Cause::Transmitter);
            continue;
        }
        u->values = live;
        u->room = *live.room;
    }
    return true;
}

// Each loop on its meter in turn, the reading paired with the unit's own.
bool BatchRun::scanCurrents(const QVector<Unit *> &units)
{
    for (Unit *u : units) {
        if (!u->live || !u->values)
            continue;
        const auto current = measureLoop(*u);
        if (!stillGoing())
            return false;
        if (current)
            u->window->add({*u->values->measured, *current});
    }
    return true;
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
            endUnit(u, QStringLiteral("its own meter: %1").arg(u.meter->lastError()), RunResult::Cause::Instrument);
        return current;
    }
    const QString channel = u.given.map.meterChannel;
    const bool closed = route(true, channel);
    const QString closeError = m_switch.lastError();
    const auto current = closed ? read() : std::nullopt;
    const QString meterError = m_meter.lastError();
    if (!route(false, channel) && !route(false, channel))
        return failBatch(QStringLiteral("the switch: %1").arg(m_switch.lastError())), std::nullopt;
    if (!closed || !current)
        endUnit(u, closed ? QStringLiteral("the meter on its loop: %1").arg(meterError)
                          : QStringLiteral("the switch on its meter channel: %1").arg(closeError),
                RunResult::Cause::Instrument);
    return current;
}

void BatchRun::recordPoint(Unit &u, int index, double signal)
{
    record::Point &point = recordOf(u)->points[index];
    // The shared signal at this unit's own cold junction.
    const auto reference = metrology::celsiusFor(u.sensor, signal, u.room);
    if (!reference)
        return endUnit(u, QStringLiteral("no reference for point %1").arg(index + 1), RunResult::Cause::Transmitter);
    // Budget and uncertainties as the single run records them, so decide() judges both alike.
    const TransmitterSetup transmitter{u.sensor, u.range, u.resolution, u.room};
    const PointSetup setup{transmitter, m_plan, m_source.model(), u.meter->model(), m_sourceTerms, u.meterTerms};
    if (const auto failure = autocal::recordPoint(point, setup, *reference, u.room, signal, *u.window))
        return endUnit(u, QStringLiteral("point %1: %2").arg(index + 1).arg(failure->reason), failure->cause);
    emit pointRecorded(u.given.map.unit, index, point);
}

bool BatchRun::source(double signal, bool thermocouple)
{
    QElapsedTimer clock;
    clock.start();
    const auto spent = qScopeGuard([&] { m_result.instrumentMs += clock.nsecsElapsed() / 1e6; });
    const bool set = thermocouple ? m_source.sourceMillivolts(signal) : m_source.sourceOhms(signal);
    if (!set || (!m_outputOn && !m_source.setOutput(true)))
        return failBatch(QStringLiteral("the source: %1").arg(m_source.lastError()));
    m_outputOn = true;
    ++m_result.sourceSettings;
    return true;
}

// The switch's exchange, its time counted apart from the calibrator's and the meter's.
bool BatchRun::route(bool close, const QString &channel)
{
    QElapsedTimer clock;
    clock.start();
    const bool done = close ? m_switch.routeClose({channel}) : m_switch.routeOpen({channel});
    m_result.switchMs += clock.nsecsElapsed() / 1e6;
    return done;
}

// --- waits ---

// `step` for every unit of `units` still in the batch, each on its own link,
// side by side (link/side_by_side.h). A step only records what happened: a
// unit is ended afterwards, one at a time.
void BatchRun::eachAtOnce(const QVector<Unit *> &units, const std::function<void(Unit &)> &step)
{
    QVector<std::function<void()>> steps;
    for (Unit *u : units)
        if (u->live)
            steps << [u, &step] { step(*u); };
    rtu::runSideBySide(steps);
}

QVector<int> BatchRun::numbersOf(const QVector<Unit *> &units)
{
    QVector<int> numbers;
    for (Unit *u : units)
        if (u->live)
            numbers << u->given.map.unit;
    return numbers;
}

// A local event loop over every link's bookkeeping; ends early on abort.
bool BatchRun::waitAll(const std::function<bool()> &done, int boundMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer bound, look;
    bound.setSingleShot(true);
    bound.setTimerType(Qt::PreciseTimer);
    connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done() || !m_abort.isEmpty())
            loop.quit();
    };
    for (const auto &u : m_units)
        if (u->given.link)
            connect(u->given.link, &rtu::Link::bookkeepingChanged, &loop, check);
    connect(&look, &QTimer::timeout, &loop, check);   // an abort from a signal handler
    look.start(50);
    bound.start(boundMs);
    loop.exec();
    return done();
}

bool BatchRun::pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    waitAll([] { return false; }, ms);
    m_result.waitedMs += clock.elapsed();
    return m_abort.isEmpty() || failBatch(m_abort);
}

QVector<BatchRun::Unit *> BatchRun::live()
{
    QVector<Unit *> result;
    for (const auto &u : m_units)
        if (u->live)
            result << u.get();
    return result;
}

// --- ends ---

// This unit alone: a procedure in progress left as the procedures leave it
// (captures not stored put back, normal mode), its check kept with the reason,
// its link free again; its source route is opened with its group's.
void BatchRun::endUnit(Unit &u, const QString &reason, RunResult::Cause cause)
{
    if (u.outcome.endedEarly)
        return;
    u.live = false;
    u.outcome.endedEarly = true;
    u.outcome.cause = cause;
    u.outcome.reason = reason;
    const QString unit = QStringLiteral("unit %1").arg(u.given.map.unit);
    if (u.input && u.input->leave() != proc::SensorCalibration::Result::Done)
        m_result.notes << QStringLiteral("%1: leaving the input calibration mode was not confirmed").arg(unit);
    if (u.output && u.output->running() && u.output->leave() != proc::CurrentCalibration::Result::Done)
        m_result.notes << QStringLiteral("%1: leaving the output calibration mode was not confirmed").arg(unit);
    // What the unit's transmitter holds, as its procedure found it.
    if (u.input)
        m_result.notes << QStringLiteral("%1 input points: %2").arg(unit, proc::outcomeText(u.input->outcome(), 2));
    if (u.output)
        m_result.notes << QStringLiteral("%1 output points: %2").arg(unit, proc::outcomeText(u.output->outcome(), 2));
    u.input.reset();
    u.output.reset();
    if (m_measuring && recordOf(u))
        recordOf(u)->incompleteReason = reason;
    if (m_adjusting) {
        // An adjustment that ended early is told by an as-left check that never began.
        u.outcome.asLeft = record::newRecord(u.header, record::Stage::AsLeft, pointTemperatures(m_plan, u.range),
                                             QDateTime::currentDateTimeUtc());
        u.outcome.asLeft->instruments = u.used;
        u.outcome.asLeft->incompleteReason = QStringLiteral("the adjustment ended early: %1").arg(reason);
        emit recordEnded(u.given.map.unit, *u.outcome.asLeft);
    }
    u.guard.reset();
    emit unitEnded(u.given.map.unit, reason);
}

bool BatchRun::stillGoing()
{
    if (!m_abort.isEmpty())
        failBatch(m_abort);
    return m_result.reason.isEmpty();
}

bool BatchRun::failBatch(const QString &reason)
{
    if (m_result.reason.isEmpty())
        m_result.reason = m_abort.isEmpty() ? reason : m_abort;
    return false;
}

// The source off and every route open whatever happened; the checks in
// progress kept with the reason.
void BatchRun::endSafely()
{
    if (m_source.isOpen() && !m_source.setOutput(false))
        m_result.notes << QStringLiteral("the source output could not be switched off (%1): switch it off by hand")
                              .arg(m_source.lastError());
    m_outputOn = false;
    QStringList channels;
    for (const auto &u : m_units)
        channels << u->given.map.sourceChannel << u->given.map.meterChannel;
    channels.removeAll(QString());
    if (m_switch.isOpen() && !channels.isEmpty() && !m_switch.routeOpenAll(channels))
        m_result.notes << QStringLiteral("the switch's routes could not be opened (%1): open them by hand")
                              .arg(m_switch.lastError());
    for (const auto &u : m_units) {
        if (u->live && !m_result.reason.isEmpty())
            endUnit(*u, m_result.reason, m_abort.isEmpty() ? RunResult::Cause::Instrument : RunResult::Cause::Stopped);
        u->live = false;
        u->guard.reset();
        if (u->ownMeter)
            u->ownMeter->close();
    }
}

// --- the adjustment, through the procedures ---

bool BatchRun::adjust(const QVector<Unit *> &units)
{
    m_adjusting = true;
    const auto done = qScopeGuard([this] { m_adjusting = false; });
    QVector<Unit *> shared;
    QVector<QVector<Unit *>> inputGroups;
    for (Unit *u : units) {
        if (sourceIsRouted(u->given.map, u->rtd()))
            inputGroups << QVector<Unit *>{u};
        else
            shared << u;
    }
    if (!shared.isEmpty())
        inputGroups.prepend(shared);
    bool ok = true;
    for (int i = 0; ok && i < inputGroups.size(); ++i)
        ok = adjustInputs(inputGroups.at(i));
    ok = ok && adjustOutputs(units);
    if (ok && stillGoing())
        return true;
    // The batch ends here: every unit still in it is left as its procedure leaves
    // it, and its as-left check is one that never began.
    for (Unit *u : live())
        endUnit(*u, m_result.reason, m_abort.isEmpty() ? RunResult::Cause::Instrument : RunResult::Cause::Stopped);
    return false;
}

// Both input points of every unit of the group: each point sourced once, every
// unit's converter settled, every unit captured; then each stores its pair.
bool BatchRun::adjustInputs(const QVector<Unit *> &group)
{
    using Cal = proc::SensorCalibration;
    Unit &first = *group.first();
    const bool tc = !first.rtd();
    for (Unit *u : group)
        if (u->live)
            u->input = std::make_unique<Cal>(*u->given.link, tc ? Cal::Input::Thermocouple : Cal::Input::Rtd);
    QHash<Unit *, Cal::Result> entered;
    eachAtOnce(group, [&](Unit &u) { entered[&u] = u.input->enter(); });
    for (Unit *u : group)
        if (u->live && entered.value(u) != Cal::Result::Done)
            endUnit(*u, QStringLiteral("it did not enter its input calibration mode"), RunResult::Cause::Transmitter);
    const QString routed = sourceIsRouted(first.given.map, first.rtd()) ? first.given.map.sourceChannel : QString();
    if (!routed.isEmpty() && !route(true, routed))
        return failBatch(QStringLiteral("the switch: %1").arg(m_switch.lastError()));
    const double points[2] = {tc ? 50.0 : 100.0, tc ? 0.0 : 200.0};
    bool ok = true;
    for (int i = 0; ok && i < 2; ++i)
        ok = captureAll(group, i, points[i], tc);
    // Each unit's pair through its own transaction, every link at once.
    QHash<Unit *, Cal::Result> storedBy;
    if (ok && !numbersOf(group).isEmpty()) {
        emit adjustmentStep(QStringLiteral("storing the input points"), numbersOf(group));
        eachAtOnce(group, [&](Unit &u) { storedBy[&u] = u.input->store(); });
    }
    for (Unit *u : group) {
        if (!ok || !u->live)
            continue;
        const Cal::Result stored = storedBy.value(u, Cal::Result::NotRun);
        if (stored == Cal::Result::Done)
            u->outcome.adjusted = true;
        else
            endUnit(*u, stored == Cal::Result::StateLost
                            ? QStringLiteral("it lost a captured point before the store; nothing was stored")
                            : QStringLiteral("its input points were not stored as captured"),
                    RunResult::Cause::Transmitter);
    }
    QHash<Unit *, Cal::Result> left;
    eachAtOnce(group, [&](Unit &u) {
        if (u.input)
            left[&u] = u.input->leave();
    });
    for (Unit *u : group) {
        if (u->live && u->input && left.value(u) != Cal::Result::Done)
            m_result.notes << QStringLiteral("unit %1: leaving the input calibration mode was not confirmed")
                                  .arg(u->given.map.unit);
        if (u->live)
            u->input.reset();
    }
    if (!routed.isEmpty()) {
        if (m_source.setOutput(false))
            m_outputOn = false;
        if (!route(false, routed))
            return failBatch(QStringLiteral("the switch: %1").arg(m_switch.lastError()));
    }
    return ok && stillGoing();
}

// Point `index` of every unit of the group, from one setting of the source.
bool BatchRun::captureAll(const QVector<Unit *> &units, int index, double signal, bool thermocouple)
{
    using Cal = proc::SensorCalibration;
    QVector<int> numbers;
    for (Unit *u : units)
        if (u->live)
            numbers << u->given.map.unit;
    if (numbers.isEmpty())
        return true;
    emit adjustmentStep(QStringLiteral("input point %1 %2").arg(signal).arg(thermocouple ? "mV" : "ohm"), numbers);
    if (!source(signal, thermocouple))
        return false;
    for (Unit *u : units)
        u->window.reset();
    QElapsedTimer clock;
    clock.start();
    const auto pending = [&] {
        QVector<Unit *> open;
        for (Unit *u : units)
            if (u->live && (!u->window || !u->window->settled()))
                open << u;
        return open;
    };
    while (!pending().isEmpty()) {
        if (clock.elapsed() > m_plan.settling.timeoutMs) {
            for (Unit *u : pending())
                endUnit(*u, QStringLiteral("its input did not settle"), RunResult::Cause::NotSettled);
            break;
        }
        if (!pause(m_plan.settling.intervalMs))
            return false;
        const QVector<Unit *> sampling = pending();
        if (!readInputs(sampling, false))
            return false;
        for (Unit *u : sampling) {
            if (!u->live || !u->values)
                continue;
            const double adc = u->values->adc;
            // A few counts, or a few parts in ten thousand of a large reading.
            if (!u->window)
                u->window.emplace(m_plan.settling.samples, std::max(3.0, std::abs(adc) * 2e-4), 0.0);
            u->window->add({adc, 0.0});
        }
    }
    QHash<Unit *, Cal::Result> taken;
    eachAtOnce(units, [&](Unit &u) { taken[&u] = u.input->capture(index); });
    for (Unit *u : units)
        if (u->live && taken.value(u) != Cal::Result::Done)
            endUnit(*u, QStringLiteral("it did not take its input point"), RunResult::Cause::Transmitter);
    return stillGoing();
}

// The outputs of every unit at once: each drives 4 mA, the loops are scanned
// until each has settled, each takes its own reading; then the same at 20 mA.
bool BatchRun::adjustOutputs(const QVector<Unit *> &units)
{
    using Cal = proc::CurrentCalibration;
    const auto numbers = [&] {
        QVector<int> list;
        for (Unit *u : units)
            if (u->live)
                list << u->given.map.unit;
        return list;
    };
    emit adjustmentStep(QStringLiteral("output at 4 mA"), numbers());
    for (Unit *u : units)
        if (u->live)
            u->output = std::make_unique<Cal>(*u->given.link);
    QHash<Unit *, Cal::Result> result;
    eachAtOnce(units, [&](Unit &u) { result[&u] = u.output->start(); });
    for (Unit *u : units)
        if (u->live && result.value(u) != Cal::Result::Done)
            endUnit(*u, QStringLiteral("it did not drive 4 mA"), RunResult::Cause::Transmitter);
    if (!settleCurrents(units))
        return false;
    const auto measured = [](Unit &u) { return quint16(std::lround(u.window->meanCurrent() * 1000.0)); };
    result.clear();
    eachAtOnce(units, [&](Unit &u) { result[&u] = u.output->measured4mA(measured(u)); });
    for (Unit *u : units)
        if (u->live && result.value(u) != Cal::Result::Done)
            endUnit(*u, QStringLiteral("it did not take its 4 mA point"), RunResult::Cause::Transmitter);
    emit adjustmentStep(QStringLiteral("output at 20 mA"), numbers());
    if (!settleCurrents(units))
        return false;
    // Each unit's pair stored through its own transaction, every link at once.
    result.clear();
    eachAtOnce(units, [&](Unit &u) { result[&u] = u.output->measured20mA(measured(u)); });
    for (Unit *u : units) {
        if (!u->live)
            continue;
        if (result.value(u) == Cal::Result::Done)
            u->output.reset();
        else
            endUnit(*u, QStringLiteral("its output points were not stored as measured"), RunResult::Cause::Transmitter);
    }
    return stillGoing();
}

// Every unit's loop current, sampled in turn through the switch, until each has
// settled; one that does not by the point's time ends alone.
bool BatchRun::settleCurrents(const QVector<Unit *> &units)
{
    for (Unit *u : units)
        u->window.emplace(m_plan.settling.samples, 0.0, m_plan.settling.bandMa);
    QElapsedTimer clock;
    clock.start();
    const auto pending = [&] {
        QVector<Unit *> open;
        for (Unit *u : units)
            if (u->live && !u->window->settled())
                open << u;
        return open;
    };
    while (!pending().isEmpty()) {
        if (clock.elapsed() > m_plan.settling.timeoutMs) {
            for (Unit *u : pending())
                endUnit(*u, QStringLiteral("its loop current did not settle"), RunResult::Cause::NotSettled);
            break;
        }
        if (!pause(m_plan.settling.intervalMs))
            return false;
        for (Unit *u : pending()) {
            if (!u->binding.holds(*u->given.link)) {
                endUnit(*u, QStringLiteral("its link closed"), RunResult::Cause::Link);
                continue;
            }
            const auto current = measureLoop(*u);
            if (!stillGoing())
                return false;
            if (current)
                u->window->add({0.0, *current});
        }
    }
    return stillGoing();
}

} // namespace autocal
