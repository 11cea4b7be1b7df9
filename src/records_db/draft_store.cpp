#include "records_db/draft_store.h"

#include "core/whole_file.h"
#include "record/record_store.h"
#include "records_db/record_db.h"
#include "records_db/db_texts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>

namespace recordsdb {

DraftStore::DraftStore(const QString &recordsFolder)
    : m_folder(QDir(recordsFolder).filePath(QStringLiteral("drafts")))
{
}

QStringList DraftStore::pending() const
{
    QStringList paths;
    const QDir dir(m_folder);
    for (const QString &name : dir.entryList({QStringLiteral("draft-*.json")}, QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

namespace {

QString draftName(const QByteArray &content)
{
    return QStringLiteral("draft-%1.json")
        .arg(QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex().left(24)));
}

} // namespace

QString DraftStore::keep(const record::Record &record, QString &error)
{
    const QByteArray content = canonicalContent(record);
    const QString path = QDir(m_folder).filePath(draftName(content));
    if (!files::writeWhole(files::FileKind::Draft, path, content, error))
        return QString();
    return path;
}

// The number of the record whose content is `content`, when the chain holds it.
std::optional<qint64> DraftStore::storedAs(RecordDb &db, const QByteArray &content)
{
    const auto records = db.entries(QStringLiteral("record"));
    for (const ChainEntry &e : records.value_or(QVector<ChainEntry>())) {
        if (canonicalRecordContent(e.content) == content)
            return e.number;
    }
    return std::nullopt;
}

DraftStore::Saved DraftStore::save(RecordDb *db, const record::Record &record, const PersonSigner *performer,
                                   const QString &function)
{
    Saved saved;
    saved.draft = keep(record, saved.error);
    const QString notKept = saved.draft.isEmpty() ? saved.error + QStringLiteral("; ") : QString();
    if (!db || !performer) {
        saved.error = notKept + (db ? dbtext::en(dbtext::Id::NoPerformerKey) : dbtext::en(dbtext::Id::NoDatabase));
        return saved;
    }
    saved.number = db->append(record, *performer, function);
    if (!saved.number) {
        saved.error = notKept + db->error();
        return saved;
    }
    // Only once the chain holds it; a draft left behind is removed by the next storePending.
    if (!saved.draft.isEmpty() && QFile::remove(saved.draft))
        saved.draft.clear();
    return saved;
}

std::optional<QVector<DraftStore::Stored>> DraftStore::storePending(RecordDb &db, const PersonSigner &performer,
                                                                     QString &error)
{
    // A draft is stored only as it was kept: its name is the hash of its
    // content, so an edited draft (or one put there by hand) is refused whole.
    QVector<QPair<QString, record::Record>> drafts;
    for (const QString &path : pending()) {
        const auto r = record::load(path);
        if (!r || QFileInfo(path).fileName() != draftName(canonicalContent(*r)))
            return error = dbtext::en(dbtext::Id::DraftHashMismatch)
                               .arg(QDir::toNativeSeparators(path)),
                   std::nullopt;
        drafts.append({path, *r});
    }
    std::stable_sort(drafts.begin(), drafts.end(),
                     [](const auto &a, const auto &b) { return a.second.started < b.second.started; });
    QVector<Stored> stored;
    for (const auto &[path, r] : drafts) {
        const QByteArray content = canonicalContent(r);
        std::optional<qint64> number = storedAs(db, content);
        if (!number && !(number = db.append(r, performer)))
            return error = db.error(), std::nullopt;
        QFile::remove(path);
        stored.append({content, *number});
    }
    return stored;
}

} // namespace recordsdb
