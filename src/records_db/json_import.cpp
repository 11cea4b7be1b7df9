// The JSON record files of earlier versions, each stored once in the
// database, in the order they were taken. The files are only read; the check
// for what is stored already runs in the same transaction as the appends, so
// two imports at once store each record once.

#include "record/record_store.h"
#include "records_db/approvals.h"
#include "records_db/record_db.h"
#include "records_db/record_hash.h"
#include "records_db/db_texts.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>

namespace recordsdb {

ImportReport RecordDb::importFolder(const QString &folder, const PersonSigner &importer,
                                   std::optional<int> assumeOffsetSeconds)
{
    ImportReport report;
    struct Found {
        record::Record record;
        QJsonObject provenance;
    };
    QVector<Found> found;
    const QDir dir(folder);
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        QString why;
        QFile file(dir.filePath(name));
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.read(2 * 1024 * 1024) : QByteArray();
        if (auto r = record::load(dir.filePath(name), why, assumeOffsetSeconds))
            found << Found{*r, QJsonObject{{"file", name},
                                           {"sha256", QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())},
                                           {"user", user},
                                           {"at", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}}};
        else
            report.unreadable << name + QStringLiteral(": ") + why;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Found &a, const Found &b) { return a.record.started < b.record.started; });
    if (found.isEmpty())
        return report;
    if (!beginWrite()) {
        report.refused = m_error;
        return report;
    }
    // What is stored already is read from the chain, so the gate comes first even when nothing is new.
    if (!(m_gatePassed = passGate(QStringLiteral("record")))) {
        rollback();
        report.refused = m_error;
        return report;
    }
    QSet<QByteArray> stored;
    const auto existing = entries(QStringLiteral("record"));
    for (const ChainEntry &e : existing.value_or(QVector<ChainEntry>()))
        stored.insert(canonicalRecordContent(e.content));
    std::optional<ChainEntry> last;
    for (const auto &[r, provenance] : found) {
        const QByteArray content = canonicalContent(r);
        if (stored.contains(content)) {
            ++report.already;
            continue;
        }
        // The rules of a live entry, and where it came from, by whom and when.
        last = existing ? appendLocked(QStringLiteral("record"), [&, &r = r, &provenance = provenance](qint64, QString &why)
                                                                     -> std::optional<QJsonObject> {
                              auto refused = amendmentRefusal(r);
                              if (!refused)
                                  refused = datesRefusal(r, QDateTime::currentDateTimeUtc(), dbtext::en(dbtext::Id::ItsImport));
                              if (refused)
                                  return why = provenance.value("file").toString() + QStringLiteral(": ") + *refused,
                                         std::nullopt;
                              QJsonObject o = record::toJson(r);
                              o.insert(QStringLiteral("imported"), provenance);
                              return o;
                          })
                        : std::nullopt;
        // Signed by who imports it, in the same transaction: no check is stored unsigned.
        const qint64 number = last ? last->number : 0;
        if (last)
            last = appendLocked(QStringLiteral("signature"), [&](qint64, QString &why) {
                return Approvals(*this).signatureContent(number, record::Signature::Meaning::Performed, importer,
                                                         QStringLiteral("imported"), why);
            });
        if (!last) {
            rollback();
            report.refused = m_error;
            report.imported = report.already = 0;
            return report;
        }
        stored.insert(content);
        ++report.imported;
    }
    if (!commitWrite()) {
        report.refused = m_error;
        report.imported = 0;
    } else if (last) {
        noteHead(*last);
    }
    return report;
}

} // namespace recordsdb
