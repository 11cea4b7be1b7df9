#include "automation/point_record.h"
#include "texts/engine_texts.h"

#include "core/live_values.h"
#include "core/registers.h"
#include "link/link.h"

#include <QDateTime>
#include <algorithm>

namespace autocal {

namespace {

QString sensorName(const metrology::Sensor &sensor)
{
    switch (sensor.kind) {
    case metrology::Sensor::Kind::Pt100: return QStringLiteral("PT100");
    case metrology::Sensor::Kind::Cu50: return QStringLiteral("Cu50");
    case metrology::Sensor::Kind::Thermocouple: break;
    }
    return QStringLiteral("Type %1").arg(QLatin1Char("KSRBNEJT"[int(sensor.type)]));
}

QVector<record::PointUncertainty::Line> lines(const std::vector<metrology::Contribution> &budget)
{
    QVector<record::PointUncertainty::Line> out;
    for (const metrology::Contribution &c : budget)
        out.push_back({QString::fromStdString(c.name), QString::fromStdString(c.distribution), c.sensitivity,
                       QString::fromStdString(c.inputUnit), c.standardUncertainty, c.degreesOfFreedom, c.bias});
    return out;
}

// The room reading's resolution: the transmitter shows it in tenths.
constexpr double kRoomResolution = 0.1;

std::optional<TransmitterSetup> refuse(StepFailure &failure, const QString &reason,
                                       RunResult::Cause cause = RunResult::Cause::Transmitter)
{
    failure = {reason, cause};
    return std::nullopt;
}

} // namespace

std::optional<TransmitterSetup> readTransmitterSetup(rtu::Link &link, const RunPlan &plan, record::Header &header,
                                                     StepFailure &failure)
{
    const rtu::ReadResult holding = link.read(core::Block::Holding);
    if (holding.outcome != rtu::ReadOutcome::Delivered || holding.words.size() < reg::kHoldingCount)
        return refuse(failure, enginetext::english(enginetext::Id::ParametersNotRead).arg(holding.verdict.text),
                      RunResult::Cause::Link);
    TransmitterSetup setup;
    const quint16 type = holding.words.at(reg::kInputType);
    const auto sensor = metrology::sensorForInputType(type);
    if (!sensor)
        return refuse(failure, enginetext::english(enginetext::Id::NoReferenceFunction).arg(type));
    if (reg::unitSymbol(holding.words.at(reg::kUnit)) != QString::fromUtf8("°C"))
        return refuse(failure, enginetext::english(enginetext::Id::NotCelsius));
    setup.sensor = *sensor;
    setup.range = record::rangeFromWords(holding.words.at(reg::kUpperRange), holding.words.at(reg::kLowerRange));
    if (!setup.range.valid())
        return refuse(failure, enginetext::english(enginetext::Id::RangeNotRange));
    const rtu::ReadResult input = link.read(core::Block::Input);
    if (input.outcome != rtu::ReadOutcome::Delivered)
        return refuse(failure, enginetext::english(enginetext::Id::ReadingsNotRead).arg(input.verdict.text),
                      RunResult::Cause::Link);
    const reg::LiveValues live = reg::decodeLiveValues(input.words, QDateTime::currentDateTimeUtc());
    const auto divisor = reg::temperatureDivisor(live.decimalCode >= 0, quint16(std::max(0, live.decimalCode)));
    if (!divisor || !live.measured)
        return refuse(failure, enginetext::english(enginetext::Id::ReadingUnshown));
    if (live.workMode != reg::ModeNone)
        return refuse(failure, enginetext::english(enginetext::Id::NotNormalMode));
    setup.resolution = 1.0 / *divisor;
    setup.room = live.room;
    header.range = setup.range;
    header.resolution = setup.resolution;
    header.unit = QString::fromUtf8("°C");
    header.address = link.address();
    if (header.inputType.isEmpty())
        header.inputType = sensorName(setup.sensor);
    if (const auto problem = planProblemFor(plan, setup.range))
        return refuse(failure, *problem);
    header.tolerance = plan.tolerance;
    header.decisionRule = plan.decisionRule;
    header.currentToleranceMa = plan.toleranceMa;
    if (header.procedure.isEmpty())
        header.procedure = plan.name;
    return setup;
}

std::optional<StepFailure> recordPoint(record::Point &point, const PointSetup &setup, double celsius, double room,
                                       double sourced, const SettlingWindow &window,
                                       const std::vector<double> &repeatReadings,
                                       const std::vector<double> &repeatCurrents)
{
    const metrology::Sensor &sensor = setup.transmitter.sensor;
    const bool tc = metrology::isThermocouple(sensor);
    const char *function = tc ? "mV" : "ohm";
    metrology::PointInputs in;
    in.sensor = sensor;
    in.celsius = celsius;
    in.coldJunctionCelsius = room;
    const auto range = instruments::rangeFor(setup.source, function, sourced);
    if (!range)
        return StepFailure{enginetext::english(enginetext::Id::SourceNoRange).arg(sourced).arg(function),
                           RunResult::Cause::Instrument};
    in.reference = {range->percentOfReading, range->floor, range->resolution, range->statedAtK2};
    in.referenceTerms = {range->excitationEffect, range->coefficientPercentPerDegree, range->coefficientFloorPerDegree,
                         range->referenceFrom, range->referenceTo};
    in.ambientCelsius = room;   // the source stands in the room the transmitter reads
    in.standard = setup.sourceTerms.value(QString::fromLatin1(function));
    in.transmitterResolution = setup.transmitter.resolution;
    in.readings = window.readings();
    if (tc) {
        in.roomSensorLimit = setup.plan.roomSensorLimit;
        in.coldJunctionDeadBand = kColdJunctionStep;
        in.roomResolution = kRoomResolution;
        in.thermalEmfMicrovolts =
            setup.plan.thermalEmfMicrovolts.value_or(metrology::defaultThermalEmfMicrovolts(sensor.type));
    } else {
        in.leadResistanceOhms = setup.plan.leadResistanceOhms;
    }
    in.rangeLower = setup.transmitter.range.lower;
    in.rangeUpper = setup.transmitter.range.upper;
    const auto meter = instruments::rangeFor(setup.meter, "mA", window.meanCurrent());
    if (!meter)
        return StepFailure{enginetext::english(enginetext::Id::MeterNoRange).arg(window.meanCurrent()),
                           RunResult::Cause::Instrument};
    in.meter = {meter->percentOfReading, meter->floor, meter->resolution, meter->statedAtK2};
    in.meterStandard = setup.meterTerms.value(QStringLiteral("mA"));
    in.currentsMa = window.currents();
    if (repeatReadings.size() >= 2 && repeatCurrents.size() >= 2) {
        in.readings = repeatReadings;
        in.currentsMa = repeatCurrents;
    }
    const auto budget = metrology::pointBudget(in);
    if (!budget)
        return StepFailure{enginetext::english(enginetext::Id::NoUncertaintyFor).arg(celsius),
                           RunResult::Cause::Transmitter};
    point.reference = celsius;
    point.status = record::Point::Status::Recorded;
    point.reading = metrology::typeA(in.readings)->mean;
    point.currentMa = metrology::typeA(in.currentsMa)->mean;
    point.time = QDateTime::currentDateTimeUtc();
    record::PointUncertainty u;
    u.expanded = budget->temperatureResult.expanded;
    u.coverageFactor = budget->temperatureResult.coverageFactor;
    u.effectiveDegreesOfFreedom = budget->temperatureResult.effectiveDegreesOfFreedom;
    u.currentExpandedMa = budget->currentResult.expanded;
    u.currentCoverageFactor = budget->currentResult.coverageFactor;
    u.currentEffectiveDegreesOfFreedom = budget->currentResult.effectiveDegreesOfFreedom;
    u.budget = lines(budget->temperature);
    u.currentBudget = lines(budget->current);
    point.uncertainty = u;
    return std::nullopt;
}

} // namespace autocal
