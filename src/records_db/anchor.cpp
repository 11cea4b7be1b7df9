#include "records_db/anchor.h"

#include "records_db/record_hash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace recordsdb {

namespace {

const char kFile[] = "anchors.json";

QJsonObject readAnchors(const QString &folder)
{
    QFile f(QDir(folder).filePath(QLatin1String(kFile)));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.read(16 * 1024 * 1024)).object();
}

QJsonObject headJson(const ChainHead &h)
{
    return {{"count", double(h.count)}, {"hash", QString::fromLatin1(h.hash)},
            {"signature", QString::fromLatin1(h.signature)}};
}

ChainHead headFrom(const QJsonObject &o)
{
    return {qint64(o.value("count").toDouble()), o.value("hash").toString().toLatin1(),
            o.value("signature").toString().toLatin1()};
}

} // namespace

std::optional<ChainHead> localAnchor(const QString &folder, const QString &database)
{
    const QJsonObject all = readAnchors(folder);
    if (!all.value(database).isObject())
        return std::nullopt;
    return headFrom(all.value(database).toObject());
}

QHash<QString, ChainHead> localAnchors(const QString &folder)
{
    QHash<QString, ChainHead> heads;
    const QJsonObject all = readAnchors(folder);
    for (auto it = all.begin(); it != all.end(); ++it)
        if (it.value().isObject())
            heads.insert(it.key(), headFrom(it.value().toObject()));
    return heads;
}

bool noteLocalAnchor(const QString &folder, const QString &database, const ChainHead &head)
{
    QJsonObject all = readAnchors(folder);
    if (headFrom(all.value(database).toObject()).count >= head.count)
        return true;
    all.insert(database, headJson(head));
    QSaveFile f(QDir(folder).filePath(QLatin1String(kFile)));
    return QDir().mkpath(folder) && f.open(QIODevice::WriteOnly)
           && f.write(QJsonDocument(all).toJson()) > 0 && f.commit();
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
        return error = QStringLiteral("not a records checkpoint"), std::nullopt;
    if (!SigningKey::verify(publicKey, canonicalJson(signedPart),
                            checkpoint.value("checkpointSignature").toString().toLatin1()))
        return error = QStringLiteral("the checkpoint's signature does not match it"), std::nullopt;
    keyId = SigningKey::fingerprintOf(publicKey);
    identity = checkpoint.value("database").toString().toLatin1();
    return headFrom(checkpoint);
}

} // namespace recordsdb
