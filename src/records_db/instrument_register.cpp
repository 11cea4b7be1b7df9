#include "records_db/instrument_register.h"

#include "records_db/approvals.h"
#include "records_db/record_db.h"
#include "records_db/db_texts.h"

#include <algorithm>

#include <QHash>
#include <QMap>

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
        // An imported file counts once someone here has approved it.
        if (r.stage != record::Stage::AsLeft || s.supersededBy != 0 || r.started > now || (s.imported && !s.approved)
            || record::verdict(r) != record::Verdict::Pass)
            continue;
        if (!last || r.started > last->started)
            last = r;
    }
    return last;
}

QJsonObject instrumentToJson(const Instrument &i)
{
    QJsonObject o{{"tag", i.tag.trimmed()}, {"serial", i.serial.trimmed()}, {"description", i.description},
                  {"location", i.location}, {"inputType", i.inputType}, {"rangeLower", i.rangeLower},
                  {"rangeUpper", i.rangeUpper}, {"unit", i.unit}, {"intervalMonths", i.intervalMonths},
                  {"status", i.status}};
    if (!i.procedure.trimmed().isEmpty())   // entries from before it named none, and hash as they were
        o.insert("procedure", i.procedure.trimmed());
    return o;
}

std::optional<Instrument> instrumentFromJson(const QJsonObject &o)
{
    for (const char *key : {"tag", "serial", "description", "location", "inputType", "unit", "status"}) {
        if (!o.value(key).isString())
            return std::nullopt;
    }
    for (const char *key : {"rangeLower", "rangeUpper", "intervalMonths"}) {
        if (!o.value(key).isDouble())
            return std::nullopt;
    }
    if (o.contains("procedure") && !o.value("procedure").isString())
        return std::nullopt;
    return Instrument{o.value("tag").toString(), o.value("serial").toString(), o.value("description").toString(),
                      o.value("location").toString(), o.value("inputType").toString(),
                      o.value("rangeLower").toDouble(), o.value("rangeUpper").toDouble(),
                      o.value("unit").toString(), o.value("intervalMonths").toInt(), o.value("status").toString(),
                      o.value("procedure").toString()};
}

bool InstrumentRegister::save(const Instrument &i)
{
    if (i.tag.trimmed().isEmpty() || i.serial.trimmed().isEmpty() || !(i.rangeUpper > i.rangeLower)
        || i.intervalMonths < 1 || i.unit.trimmed().isEmpty() || i.status.trimmed().isEmpty()) {
        m_error = dbtext::en(dbtext::Id::InstrumentNeeds);
        return false;
    }
    if (m_db.appendEntry(QStringLiteral("instrument"), instrumentToJson(i)))
        return true;
    m_error = m_db.error();
    return false;
}

QVector<InstrumentRow> InstrumentRegister::list(const QString &search)
{
    const auto changes = m_db.entries(QStringLiteral("instrument"));
    const auto records = m_db.list();
    if (!changes || !records) {
        m_error = m_db.error();
        return {};
    }
    QMap<QString, Instrument> current;   // by tag, the newest entry
    for (const ChainEntry &e : *changes) {
        if (const auto i = instrumentFromJson(e.content))
            current.insert(i->tag, *i);
    }
    QHash<QString, QVector<StoredRecord>> bySerial;
    Approvals approvals(m_db);
    for (StoredRecord s : *records) {
        if (s.imported) {
            const auto signatures = approvals.of(s.record.id).value_or(QVector<record::Signature>());
            s.approved = std::any_of(signatures.begin(), signatures.end(),
                                     [](const record::Signature &g) { return g.meaning == record::Signature::Meaning::Approved; });
        }
        bySerial[s.record.header.serial].append(s);
    }
    const QString s = search.trimmed();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVector<InstrumentRow> rows;
    for (const Instrument &i : current) {
        if (!s.isEmpty() && !(i.tag + '\n' + i.serial + '\n' + i.description + '\n' + i.location)
                                 .contains(s, Qt::CaseInsensitive))
            continue;
        InstrumentRow row;
        row.instrument = i;
        if (const auto last = lastValidAsLeft(bySerial.value(i.serial), now))
            row.lastAsLeft = last->started.toLocalTime().date();
        row.due = nextDue(row.lastAsLeft, i.intervalMonths);
        rows << row;
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
