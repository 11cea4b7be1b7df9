#include "record/record_store.h"

#include "core/whole_file.h"
#include "record/record_validation.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace record {

namespace {

QString safeSerial(const QString &serial)
{
    QString s = serial.trimmed();
    s.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("-"));
    s.replace(QRegularExpression(QStringLiteral("^\\.+")), QStringLiteral("-"));   // never a hidden file
    return s.isEmpty() ? QStringLiteral("no-serial") : s;
}

const Point *recordedAt(const Record &record, double reference)
{
    for (const Point &p : record.points) {
        if (p.status == Point::Status::Recorded && std::abs(p.reference - reference) < 0.05)
            return &p;
    }
    return nullptr;
}

} // namespace

QString fileName(const Record &record)
{
    return QStringLiteral("%1_%2_%3.json")
        .arg(safeSerial(record.header.serial), record.started.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss'Z'")),
             stageKey(record.stage));
}

QString save(const Record &record, const QString &folder)
{
    const QString path = QDir(folder).filePath(fileName(record));
    QString error;
    return files::writeWhole(files::FileKind::RecordFile, path, QJsonDocument(toJson(record)).toJson(), error) ? path
                                                                                                              : QString();
}

std::optional<Record> load(const QString &path, QString &why, std::optional<int> assumeOffsetSeconds)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return why = QStringLiteral("cannot be read"), std::nullopt;
    // One byte past the limit is enough to refuse a larger file.
    return readRecordFile(file.read(kMaxRecordFileBytes + 1), why, assumeOffsetSeconds);
}

std::optional<Record> load(const QString &path)
{
    QString why;
    return load(path, why);
}

std::optional<Record> fromFileBytes(const QByteArray &bytes)
{
    QString why;
    return readRecordFile(bytes, why);
}

QVector<StoredRecord> history(const QString &folder, const QString &serial)
{
    QVector<StoredRecord> list;
    const QString prefix = safeSerial(serial) + QLatin1Char('_');
    const QDir dir(folder);
    for (const QString &name : dir.entryList({prefix + QStringLiteral("*.json")}, QDir::Files)) {
        const QString path = dir.filePath(name);
        // The file name is only a hint; the serial inside decides.
        if (auto r = load(path); r && r->header.serial.trimmed() == serial.trimmed())
            list.append({path, *r});
    }
    std::sort(list.begin(), list.end(), [](const StoredRecord &a, const StoredRecord &b) {
        return a.record.started < b.record.started;
    });
    return list;
}

std::optional<Record> lastAsLeftBefore(const QVector<StoredRecord> &history, const QDateTime &before)
{
    std::optional<Record> last;
    for (const StoredRecord &s : history) {
        if (s.record.stage == Stage::AsLeft && s.record.started < before)
            last = s.record;
    }
    return last;
}

QVector<DriftRow> drift(const Record &asLeftBefore, const Record &asFoundNow)
{
    QVector<DriftRow> rows;
    for (const Point &now : asFoundNow.points) {
        if (now.status != Point::Status::Recorded)
            continue;
        if (const Point *then = recordedAt(asLeftBefore, now.reference))
            rows.append({now.reference, then->reading, now.reading});
    }
    return rows;
}

} // namespace record
