#include "records_db/anchor.h"

#include "core/whole_file.h"
#include "records_db/record_hash.h"
#include "records_db/db_texts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLockFile>

namespace recordsdb {

namespace {

const char kFile[] = "anchors.json";
// Notes are a few hundred bytes a database; far more is not notes.
constexpr qint64 kMaxNotesBytes = 16 * 1024 * 1024;
// A writer holds the lock for one small file's write.
constexpr int kLockWaitMs = 10000;

QString notesPath(const QString &folder)
{
    return QDir(folder).filePath(QLatin1String(kFile));
}

QJsonObject headJson(const ChainHead &h)
{
    return {{"count", double(h.count)}, {"hash", QString::fromLatin1(h.hash)},
            {"signature", QString::fromLatin1(h.signature)}};
}

std::optional<ChainHead> headFrom(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const double count = o.value("count").toDouble(-1);
    if (!value.isObject() || !(count >= 1) || count != double(qint64(count))
        || !isHashText(o.value("hash").toString().toLatin1()) || !o.value("signature").isString())
        return std::nullopt;
    return ChainHead{qint64(count), o.value("hash").toString().toLatin1(), o.value("signature").toString().toLatin1()};
}

// Whole notes, or nullopt with what is wrong; no file is no notes.
std::optional<QHash<QString, ChainHead>> readNotes(const QString &folder, QString &error)
{
    const QString path = notesPath(folder);
    QHash<QString, ChainHead> heads;
    QFile f(path);
    if (!f.exists())
        return heads;
    if (!f.open(QIODevice::ReadOnly))
        return error = dbtext::en(dbtext::Id::NotesUnreadable).arg(path, f.errorString()), std::nullopt;
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.read(kMaxNotesBytes + 1), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject() || f.size() > kMaxNotesBytes)
        return error = dbtext::en(dbtext::Id::NotesDamaged)
                           .arg(path, parse.error != QJsonParseError::NoError ? parse.errorString()
                                                                              : dbtext::en(dbtext::Id::NotAnObject)),
               std::nullopt;
    const QJsonObject all = doc.object();
    for (auto it = all.begin(); it != all.end(); ++it) {
        const auto head = headFrom(it.value());
        if (!head)
            return error = dbtext::en(dbtext::Id::NotesNotAHead).arg(path, it.key()),
                   std::nullopt;
        heads.insert(it.key(), *head);
    }
    return heads;
}

// The notes' lock, waited for a while. Where it cannot be made at all (a full
// or read-only folder) a reader goes on: the notes are replaced whole, so a
// read never sees half of them.
enum class Locked { Yes, CannotMake, HeldElsewhere };
Locked lockNotes(QLockFile &lock)
{
    if (lock.tryLock(kLockWaitMs))
        return Locked::Yes;
    return lock.error() == QLockFile::LockFailedError ? Locked::HeldElsewhere : Locked::CannotMake;
}

} // namespace

std::optional<QHash<QString, ChainHead>> localAnchors(const QString &folder, QString &error)
{
    QLockFile lock(notesPath(folder) + QStringLiteral(".lock"));
    if (QFileInfo::exists(folder) && lockNotes(lock) == Locked::HeldElsewhere)
        return error = dbtext::en(dbtext::Id::NotesLocked).arg(notesPath(folder)),
               std::nullopt;
    return readNotes(folder, error);
}

bool noteLocalAnchor(const QString &folder, const QString &database, const ChainHead &head, QString &error)
{
    if (!QDir().mkpath(folder))
        return error = dbtext::en(dbtext::Id::NotesNoFolder).arg(folder), false;
    QLockFile lock(notesPath(folder) + QStringLiteral(".lock"));
    const Locked locked = lockNotes(lock);
    if (locked != Locked::Yes)
        return error = dbtext::en(dbtext::Id::NotesNoLock)
                           .arg(notesPath(folder), locked == Locked::HeldElsewhere
                                                       ? dbtext::en(dbtext::Id::OtherProcessHolds)
                                                       : dbtext::en(dbtext::Id::NoLockFile)),
               false;
    const auto heads = readNotes(folder, error);
    if (!heads)
        return false;
    if (heads->value(database).count >= head.count)
        return true;
    QJsonObject all;
    for (auto it = heads->begin(); it != heads->end(); ++it)
        all.insert(it.key(), headJson(it.value()));
    all.insert(database, headJson(head));
    return files::writeWhole(files::FileKind::HeadNotes, notesPath(folder), QJsonDocument(all).toJson(), error);
}

QJsonObject checkpoint(const QByteArray &identity, const ChainHead &head, const SigningKey &key)
{
    QJsonObject o = headJson(head);
    o.insert("format", "tcal-records-checkpoint");
    o.insert("database", QString::fromLatin1(identity));
    o.insert("taken", QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    o.insert("publicKey", QString::fromLatin1(key.publicKey()));
    o.insert("checkpointSignature", QString::fromLatin1(key.sign(canonicalJson(o))));
    return o;
}

std::optional<ChainHead> readCheckpoint(const QJsonObject &checkpoint, QByteArray &keyId, QByteArray &identity,
                                        QString &error)
{
    QJsonObject signedPart = checkpoint;
    signedPart.remove("checkpointSignature");
    const QByteArray publicKey = checkpoint.value("publicKey").toString().toLatin1();
    if (checkpoint.value("format").toString() != QLatin1String("tcal-records-checkpoint")
        || !(checkpoint.value("count").toDouble() >= 1)
        || checkpoint.value("count").toDouble() != double(qint64(checkpoint.value("count").toDouble()))
        || !isHashText(checkpoint.value("hash").toString().toLatin1())
        || !isHashText(checkpoint.value("database").toString().toLatin1()))
        return error = dbtext::en(dbtext::Id::NotCheckpoint), std::nullopt;
    if (!SigningKey::verify(publicKey, canonicalJson(signedPart),
                            checkpoint.value("checkpointSignature").toString().toLatin1()))
        return error = dbtext::en(dbtext::Id::CheckpointSignature), std::nullopt;
    keyId = SigningKey::fingerprintOf(publicKey);
    identity = checkpoint.value("database").toString().toLatin1();
    const auto head = headFrom(checkpoint);
    if (!head)
        return error = dbtext::en(dbtext::Id::NotCheckpoint), std::nullopt;
    return head;
}

} // namespace recordsdb
