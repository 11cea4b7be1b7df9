#include "records_db/instrument_register.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace recordsdb {

DueState dueState(const QDate &due, const QDate &today, int soonDays)
{
    if (!due.isValid())
        return DueState::Never;
    if (due < today)
        return DueState::Overdue;
    return today.daysTo(due) <= soonDays ? DueState::DueSoon : DueState::Ok;
}

QDate nextDue(const QDate &lastAsLeft, int intervalMonths)
{
    return lastAsLeft.isValid() ? lastAsLeft.addMonths(intervalMonths) : QDate();
}

std::optional<record::Record> lastValidAsLeft(const QVector<StoredRecord> &records, const QDateTime &now)
{
    std::optional<record::Record> last;
    for (const StoredRecord &s : records) {
        const record::Record &r = s.record;
        if (r.stage != record::Stage::AsLeft || s.supersededBy != 0 || r.started > now
            || record::verdict(r) != record::Verdict::Pass)
            continue;
        if (!last || r.started > last->started)
            last = r;
    }
    return last;
}

bool InstrumentRegister::save(const Instrument &i)
{
    if (i.tag.trimmed().isEmpty() || i.serial.trimmed().isEmpty() || !(i.rangeUpper > i.rangeLower)
        || i.intervalMonths < 1 || i.unit.trimmed().isEmpty() || i.status.trimmed().isEmpty()) {
        m_error = QStringLiteral("an instrument needs a tag, a serial number, a range, a unit, a status and an interval");
        return false;
    }
    QSqlDatabase &db = m_db.connection();
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("DELETE FROM instruments WHERE tag = ?"));
    q.addBindValue(i.tag.trimmed());
    const bool removed = q.exec();
    q.prepare(QStringLiteral("INSERT INTO instruments (tag, serial, description, location, input_type, range_lower,"
                             " range_upper, unit, interval_months, status) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &v : {sqlText(i.tag.trimmed()), sqlText(i.serial.trimmed()), sqlText(i.description),
                              sqlText(i.location), sqlText(i.inputType), QVariant(i.rangeLower),
                              QVariant(i.rangeUpper), sqlText(i.unit), QVariant(i.intervalMonths),
                              sqlText(i.status)})
        q.addBindValue(v);
    if (!removed || !q.exec()) {
        m_error = q.lastError().text();
        db.rollback();
        return false;
    }
    return db.commit();
}

QVector<InstrumentRow> InstrumentRegister::list(const QString &search)
{
    QSqlQuery q(m_db.connection());
    q.prepare(QStringLiteral("SELECT tag, serial, description, location, input_type, range_lower, range_upper,"
                             " unit, interval_months, status FROM instruments ORDER BY tag"));
    QVector<InstrumentRow> rows;
    if (!q.exec()) {
        m_error = q.lastError().text();
        return rows;
    }
    const QString s = search.trimmed();
    while (q.next()) {
        InstrumentRow row;
        Instrument &i = row.instrument;
        i = {q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
             q.value(4).toString(), q.value(5).toDouble(), q.value(6).toDouble(), q.value(7).toString(),
             q.value(8).toInt(), q.value(9).toString()};
        if (!s.isEmpty() && !(i.tag + '\n' + i.serial + '\n' + i.description + '\n' + i.location)
                                 .contains(s, Qt::CaseInsensitive))
            continue;
        rows << row;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (InstrumentRow &row : rows) {
        if (const auto last = lastValidAsLeft(m_db.list(row.instrument.serial), now))
            row.lastAsLeft = last->started.toLocalTime().date();
        row.due = nextDue(row.lastAsLeft, row.instrument.intervalMonths);
    }
    return rows;
}

std::optional<InstrumentRow> InstrumentRegister::find(const QString &tag)
{
    for (const InstrumentRow &row : list()) {
        if (row.instrument.tag == tag.trimmed())
            return row;
    }
    return std::nullopt;
}

} // namespace recordsdb
