#include "records_db/draft_store.h"

#include "record/record_store.h"
#include "records_db/record_db.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

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
    QSaveFile f(path);
    if (!QDir().mkpath(m_folder) || !f.open(QIODevice::WriteOnly) || f.write(content) != content.size() || !f.commit()) {
        error = QStringLiteral("cannot write the draft ") + path;
        return QString();
    }
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
    if (!db || !performer) {
        saved.error = db ? QStringLiteral("no performer's key is unlocked to sign it") : QStringLiteral("no database");
        return saved;
    }
    saved.number = db->append(record, *performer, function);
    if (!saved.number) {
        saved.error = db->error();
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
            return error = QStringLiteral("the draft %1 does not match the hash in its name; nothing was stored")
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
