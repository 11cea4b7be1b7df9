// The JSON record files of earlier versions, each stored once in the
// database, in the order they were taken. The files are only read; the check
// for what is stored already runs in the same transaction as the appends, so
// two imports at once store each record once.

#include "record/record_store.h"
#include "records_db/record_db.h"
#include "records_db/record_hash.h"

#include <QDir>
#include <QSet>

#include <algorithm>

namespace recordsdb {

ImportReport RecordDb::importFolder(const QString &folder, std::optional<int> assumeOffsetSeconds)
{
    ImportReport report;
    QVector<record::Record> found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        QString why;
        if (auto r = record::load(dir.filePath(name), why, assumeOffsetSeconds))
            found << *r;
        else
            report.unreadable << name + QStringLiteral(": ") + why;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const record::Record &a, const record::Record &b) { return a.started < b.started; });
    if (found.isEmpty() || !beginWrite())
        return report;
    QSet<QByteArray> stored;
    const auto existing = entries(QStringLiteral("record"));
    for (const ChainEntry &e : existing.value_or(QVector<ChainEntry>()))
        stored.insert(canonicalRecordContent(e.content));
    std::optional<ChainEntry> last;
    for (const record::Record &r : found) {
        const QByteArray content = canonicalContent(r);
        if (stored.contains(content)) {
            ++report.already;
            continue;
        }
        last = existing ? appendLocked(QStringLiteral("record"), [&](qint64, QString &) { return record::toJson(r); })
                        : std::nullopt;
        if (!last) {
            rollback();
            report.unreadable << QStringLiteral("nothing imported: ") + m_error;
            report.imported = report.already = 0;
            return report;
        }
        stored.insert(content);
        ++report.imported;
    }
    if (!commitWrite()) {
        report.unreadable << QStringLiteral("nothing imported: ") + m_error;
        report.imported = 0;
    } else if (last) {
        noteHead(*last);
    }
    return report;
}

} // namespace recordsdb
