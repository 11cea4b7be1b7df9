#pragma once
// One check of a transmitter (as found or as left): the header the quality
// system asks for, the test points and what was read at each, and its JSON form.

#include "record_math.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <optional>

namespace record {

enum class Stage { AsFound, AsLeft };
QString stageKey(Stage stage);   // "as-found" / "as-left", used in files

struct Header {
    QString tag;
    QString serial;
    QString description;
    QString technician;
    QString reference;           // reference instrument
    QDate referenceDue;          // its calibration due date
    QString ambient;             // as typed, e.g. "23.5"
    QString unit = QStringLiteral("°C");
    Tolerance tolerance;
    Range range;
};

struct Point {
    // NotStable: the wait timed out; like Skipped, never counted as passed.
    enum class Status { Pending, Recorded, Skipped, NotStable };
    double reference = 0.0;
    Status status = Status::Pending;
    double reading = 0.0;
    std::optional<double> currentMa;   // typed by the technician
    QDateTime time;
};

struct Record {
    Header header;
    Stage stage = Stage::AsFound;
    QDateTime started;
    QVector<Point> points;
};

Record newRecord(const Header &header, Stage stage, const QVector<double> &references,
                 const QDateTime &started);

// The loop current the technician typed for point `index`; nullopt clears it.
void setTypedCurrent(Record &record, int index, std::optional<double> currentMa);

// What a point's row shows; meaningful for recorded points.
struct PointFigures {
    double error = 0.0;
    double errorPercent = 0.0;
    double expectedMa = 0.0;
    std::optional<double> currentErrorMa;
    bool passed = false;
};
PointFigures figures(const Point &point, const Header &header);

// Fail as soon as one recorded point fails; Incomplete while any point is
// pending, skipped or not stable; Pass only when every point passed.
enum class Verdict { Pass, Fail, Incomplete };
Verdict verdict(const Record &record);

QJsonObject toJson(const Record &record);
// nullopt when the object is not a record this tool wrote.
std::optional<Record> fromJson(const QJsonObject &object);

} // namespace record
