#pragma once
// The instruments the records belong to, in the records database: tag,
// serial, where it is, what it measures and how often it is calibrated. Each
// change is an "instrument" entry of the chain, so the register keeps its
// history; the newest entry of a tag is the instrument as it stands. The last
// as-left date comes from the records themselves, the next due date from it.

#include "records_db/record_db.h"

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <optional>

namespace recordsdb {

struct Instrument {
    QString tag;                 // the key
    QString serial;
    QString description;
    QString location;
    QString inputType;
    double rangeLower = 0.0;
    double rangeUpper = 100.0;
    QString unit = QStringLiteral("°C");
    int intervalMonths = 12;
    QString status = QStringLiteral("in service");
    QString procedure;           // the automatic calibration's procedure file; empty: none named
};

QJsonObject instrumentToJson(const Instrument &instrument);
std::optional<Instrument> instrumentFromJson(const QJsonObject &object);

enum class DueState { Never, Ok, DueSoon, Overdue };

// Due within `soonDays` counts as due soon; the due day itself is still on time.
DueState dueState(const QDate &nextDue, const QDate &today, int soonDays = 30);
QDate nextDue(const QDate &lastAsLeft, int intervalMonths);

// The check the interval counts from: the last as-left check that is complete,
// passed and not superseded by an amendment, and did not start after `now` (a
// file dated in the future counts for nothing). nullopt: none.
std::optional<record::Record> lastValidAsLeft(const QVector<StoredRecord> &records, const QDateTime &now);

struct InstrumentRow {
    Instrument instrument;
    QDate lastAsLeft;            // invalid: never calibrated here
    QDate due;                   // invalid with it
};

class InstrumentRegister
{
public:
    explicit InstrumentRegister(RecordDb &db) : m_db(db) {}

    // Adds the instrument or a new state of the one with its tag, every field as
    // given; false on a missing tag, serial, unit or status, a range that is not
    // one, or an interval under a month.
    bool save(const Instrument &instrument);
    // Those whose tag, serial, description or location contain `search`, by tag.
    QVector<InstrumentRow> list(const QString &search = QString());
    std::optional<InstrumentRow> find(const QString &tag);
    QString error() const { return m_error; }

private:
    RecordDb &m_db;
    QString m_error;
};

} // namespace recordsdb
