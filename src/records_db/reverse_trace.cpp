#include "records_db/reverse_trace.h"

namespace recordsdb {

QVector<StoredRecord> checksWithReference(const QVector<StoredRecord> &records, const QString &reference,
                                          const QDate &since)
{
    const QString wanted = reference.trimmed();
    const auto same = [&](const QString &s) { return s.trimmed().compare(wanted, Qt::CaseInsensitive) == 0; };
    QVector<StoredRecord> found;
    for (const StoredRecord &s : records) {
        const record::Header &h = s.record.header;
        if (wanted.isEmpty() || !(same(h.reference) || same(h.referenceCertificate)))
            continue;
        if (since.isValid() && s.record.started.toUTC().date() < since)
            continue;
        found << s;
    }
    return found;
}

} // namespace recordsdb
