#pragma once
// What an unattended calibration does: its points, the tolerance, when a
// point counts as settled and whether the transmitter is adjusted. Read from
// a procedure file (JSON) or from the two options of the simple case; every
// value is checked before a run may use it. Plain data, no bus.

#include "metrology/decision_rule.h"
#include "record/calibration_record.h"
#include "record/record_math.h"

#include <QJsonObject>
#include <QString>
#include <QVector>
#include <optional>

namespace autocal {

enum class Adjust { WhenFailed, Always, Never };

struct Settling {
    double band = 0.1;          // largest spread of the readings, in the transmitter's unit
    double bandMa = 0.005;      // largest spread of the loop current
    int samples = 5;            // consecutive samples inside both bands
    int intervalMs = 500;       // between samples
    int timeoutMs = 120000;     // per point, from the source's setting on
};

struct RunPlan {
    QString name;
    QVector<double> points;     // degrees, or percent of range when `percent`
    bool percent = true;
    record::Tolerance tolerance;
    Settling settling;
    Adjust adjust = Adjust::WhenFailed;
    double roomSensorLimit = 0.2;   // ± °C of the transmitter's cold-junction sensor, from its data sheet
    bool roomSensorLimitMeasured = false;   // a limit of 0 is accepted only as a measured one
    metrology::DecisionRule decisionRule;   // guarded acceptance, w = 1·U, unless the procedure names another
    std::optional<double> toleranceMa;      // the output's own tolerance; else the temperature's over the span
    std::optional<double> thermalEmfMicrovolts;   // ± at the terminals; else the type's default
    double leadResistanceOhms = 0.02;       // ± uncompensated lead resistance of an RTD input
    int repeats = 1;                        // independent settlings per point; Type A from them when 2 or more
};

// What makes `plan` unusable on a transmitter ranged `range` (points outside
// it, a tolerance wider than the span); nullopt when nothing does.
std::optional<QString> planProblemFor(const RunPlan &plan, const record::Range &range);

// The points of `plan` on a transmitter ranged `range`, in its unit.
QVector<double> pointTemperatures(const RunPlan &plan, const record::Range &range);

std::optional<RunPlan> planFromJson(const QJsonObject &object, QString &why);
// The file's text: refused when a key is given twice, then planFromJson().
std::optional<RunPlan> planFromText(const QByteArray &json, QString &why);
std::optional<RunPlan> readPlan(const QString &path, QString &why);
QJsonObject planToJson(const RunPlan &plan);

// --points "0,50,100" (degrees) or "0%,25%,100%"; --tolerance "0.5" (degrees) or "0.2%" (of span).
std::optional<RunPlan> planFromOptions(const QString &points, const QString &tolerance, QString &why);
// The procedure file when one is named, else the points and tolerance given: as both tabs and tcal-cli take them.
std::optional<RunPlan> planFrom(const QString &file, const QString &points, const QString &tolerance, QString &why);

QString adjustKey(Adjust adjust);

} // namespace autocal
