#include "records_db/keyring.h"

#include "core/whole_file.h"
#include "records_db/signing_key.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace recordsdb {

namespace {

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

} // namespace

QString distrust(const QVector<TrustedKey> &keyring, const QByteArray &fingerprint)
{
    for (const TrustedKey &k : keyring) {
        if (k.fingerprint != fingerprint)
            continue;
        return k.revoked.isEmpty() ? QString() : QStringLiteral("revoked on %1").arg(k.revoked);
    }
    return QStringLiteral("not in the keyring (records trust add)");
}

QString keyringFile(const QString &dataFolder)
{
    const QString named = qEnvironmentVariable("TCAL_KEYRING");
    return named.isEmpty() ? QDir(dataFolder).filePath(QStringLiteral("keyring.json")) : named;
}

std::optional<QVector<TrustedKey>> readKeyringFile(const QString &path, QString &error)
{
    QVector<TrustedKey> keys;
    QFile f(path);
    if (!f.exists())
        return keys;
    QJsonParseError parse{};
    const QJsonDocument doc = f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.read(4 * 1024 * 1024), &parse)
                                                          : QJsonDocument();
    if (!doc.isObject() || doc.object().value("format").toString() != QLatin1String("tcal-keyring"))
        return error = QStringLiteral("the keyring %1 is unreadable").arg(path), std::nullopt;
    for (const QJsonValue &v : doc.object().value("keys").toArray()) {
        const QJsonObject o = v.toObject();
        TrustedKey k{o.value("publicKey").toString().toLatin1(), QByteArray(), o.value("name").toString(),
                     o.value("added").toString(), o.value("revoked").toString()};
        if (!SigningKey::isPublicKeyText(k.publicKey))
            return error = QStringLiteral("the keyring %1 holds a malformed key").arg(path), std::nullopt;
        k.fingerprint = SigningKey::fingerprintOf(k.publicKey);
        keys << k;
    }
    return keys;
}

bool writeKeyringFile(const QString &path, const QVector<TrustedKey> &keys, QString &error)
{
    QJsonArray array;
    for (const TrustedKey &k : keys)
        array.append(QJsonObject{{"publicKey", QString::fromLatin1(k.publicKey)}, {"fingerprint", QString::fromLatin1(k.fingerprint)},
                                 {"name", k.name}, {"added", k.added}, {"revoked", k.revoked}});
    const QByteArray bytes = QJsonDocument(QJsonObject{{"format", "tcal-keyring"}, {"keys", array}}).toJson();
    return files::writeWhole(files::FileKind::Keyring, path, bytes, error);
}

bool addTrusted(QVector<TrustedKey> &keys, const QByteArray &publicKey, const QString &name, QString &error)
{
    if (!SigningKey::isPublicKeyText(publicKey))
        return error = QStringLiteral("\"%1\" is not a public key (64 lower-case hex digits)").arg(QString::fromLatin1(publicKey)),
               false;
    const QByteArray fingerprint = SigningKey::fingerprintOf(publicKey);
    for (const TrustedKey &k : keys) {
        if (k.fingerprint == fingerprint)
            return error = k.revoked.isEmpty() ? QStringLiteral("key %1 is trusted already").arg(QString::fromLatin1(fingerprint))
                                               : QStringLiteral("key %1 was revoked; a revoked key is not trusted again")
                                                     .arg(QString::fromLatin1(fingerprint)),
                   false;
    }
    keys << TrustedKey{publicKey, fingerprint, name.trimmed(), now(), QString()};
    return true;
}

bool revokeTrusted(QVector<TrustedKey> &keys, const QByteArray &fingerprint, QString &error)
{
    for (TrustedKey &k : keys) {
        if (k.fingerprint != fingerprint)
            continue;
        if (!k.revoked.isEmpty())
            return error = QStringLiteral("key %1 was revoked already").arg(QString::fromLatin1(fingerprint)), false;
        k.revoked = now();
        return true;
    }
    return error = QStringLiteral("key %1 is not in the keyring").arg(QString::fromLatin1(fingerprint)), false;
}

} // namespace recordsdb
