// The JSON record files of earlier versions, each stored once in the
// database, in the order they were taken. The files are only read.

#include "record/record_store.h"
#include "records_db/record_db.h"
#include "records_db/record_hash.h"

#include <QDir>

#include <algorithm>

namespace recordsdb {

ImportReport RecordDb::importFolder(const QString &folder)
{
    ImportReport report;
    QVector<record::Record> found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        if (auto r = record::load(dir.filePath(name)))
            found << *r;
        else
            report.unreadable << name;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const record::Record &a, const record::Record &b) { return a.started < b.started; });
    for (const record::Record &r : found) {
        if (contentStored(canonicalContent(r))) {
            ++report.already;
        } else if (append(r)) {
            ++report.imported;
        } else {
            report.unreadable << r.header.serial + QLatin1Char(' ') + m_error;
        }
    }
    return report;
}

} // namespace recordsdb
