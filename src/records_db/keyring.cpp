#include "records_db/keyring.h"

#include "records_db/approvals.h"
#include "core/whole_file.h"
#include "records_db/signing_key.h"
#include "records_db/db_texts.h"

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

const QStringList &personRoles()
{
    static const QStringList roles{QStringLiteral("performs"), QStringLiteral("reviews"), QStringLiteral("approves")};
    return roles;
}

const TrustedKey *findKey(const QVector<TrustedKey> &keyring, const QByteArray &fingerprint)
{
    for (const TrustedKey &k : keyring)
        if (k.fingerprint == fingerprint)
            return &k;
    return nullptr;
}

QString distrust(const QVector<TrustedKey> &keyring, const QByteArray &fingerprint)
{
    const TrustedKey *k = findKey(keyring, fingerprint);
    if (!k)
        return dbtext::en(dbtext::Id::NotInKeyring);
    return k->revoked.isEmpty() ? QString() : dbtext::en(dbtext::Id::RevokedOn).arg(k->revoked);
}

QString distrust(const QVector<TrustedKey> &keyring, const QByteArray &fingerprint, const QByteArray &identity,
                 qint64 seq)
{
    const TrustedKey *k = findKey(keyring, fingerprint);
    if (!k || k->revoked.isEmpty())
        return distrust(keyring, fingerprint);
    const QJsonValue from = k->revokedFrom.value(QString::fromLatin1(identity));
    if (from.isUndefined())
        return dbtext::en(dbtext::Id::RevokedNoPoint)
            .arg(k->revoked);
    const qint64 point = qint64(from.toDouble());
    return seq < point ? QString() : dbtext::en(dbtext::Id::RevokedFrom).arg(point).arg(k->revoked);
}

QJsonObject keyToJson(const TrustedKey &k)
{
    QJsonObject o{{"publicKey", QString::fromLatin1(k.publicKey)}, {"fingerprint", QString::fromLatin1(k.fingerprint)},
                  {"name", k.name}, {"added", k.added}, {"revoked", k.revoked}};
    if (k.isPerson()) {
        o.insert("roles", QJsonArray::fromStringList(k.roles));
        o.insert("sealed", k.sealed);
    }
    if (!k.revokedFrom.isEmpty())
        o.insert("revokedFrom", k.revokedFrom);
    return o;
}

std::optional<TrustedKey> keyFromJson(const QJsonObject &o)
{
    TrustedKey k{o.value("publicKey").toString().toLatin1(), QByteArray(), o.value("name").toString(),
                 o.value("added").toString(), o.value("revoked").toString(), {}, o.value("sealed").toObject(),
                 o.value("revokedFrom").toObject()};
    for (const QJsonValue &r : o.value("roles").toArray()) {
        if (!personRoles().contains(r.toString()))
            return std::nullopt;
        k.roles << r.toString();
    }
    for (const QJsonValue &seq : k.revokedFrom)
        if (!seq.isDouble() || seq.toDouble() < 1)
            return std::nullopt;
    if (!SigningKey::isPublicKeyText(k.publicKey))
        return std::nullopt;
    k.fingerprint = SigningKey::fingerprintOf(k.publicKey);
    return k;
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
        return error = dbtext::en(dbtext::Id::KeyringUnreadable).arg(path), std::nullopt;
    for (const QJsonValue &v : doc.object().value("keys").toArray()) {
        const auto k = keyFromJson(v.toObject());
        if (!k)
            return error = dbtext::en(dbtext::Id::KeyringMalformedAt).arg(path), std::nullopt;
        keys << *k;
    }
    return keys;
}

bool writeKeyringFile(const QString &path, const QVector<TrustedKey> &keys, QString &error)
{
    QJsonArray array;
    for (const TrustedKey &k : keys)
        array.append(keyToJson(k));
    const QByteArray bytes = QJsonDocument(QJsonObject{{"format", "tcal-keyring"}, {"keys", array}}).toJson();
    return files::writeWhole(files::FileKind::Keyring, path, bytes, error);
}

bool addTrusted(QVector<TrustedKey> &keys, const QByteArray &publicKey, const QString &name, QString &error)
{
    if (!SigningKey::isPublicKeyText(publicKey))
        return error = dbtext::en(dbtext::Id::NotPublicKey).arg(QString::fromLatin1(publicKey)),
               false;
    const QByteArray fingerprint = SigningKey::fingerprintOf(publicKey);
    for (const TrustedKey &k : keys) {
        if (k.fingerprint == fingerprint)
            return error = k.revoked.isEmpty() ? dbtext::en(dbtext::Id::TrustedAlready).arg(QString::fromLatin1(fingerprint))
                                               : dbtext::en(dbtext::Id::RevokedNotAgain)
                                                     .arg(QString::fromLatin1(fingerprint)),
                   false;
    }
    keys << TrustedKey{publicKey, fingerprint, name.trimmed(), now(), QString(), {}, {}, {}};
    return true;
}

bool revokeTrusted(QVector<TrustedKey> &keys, const QByteArray &fingerprint, const QByteArray &identity,
                   qint64 fromSeq, QString &error)
{
    for (TrustedKey &k : keys) {
        if (k.fingerprint != fingerprint)
            continue;
        if (k.revokedFrom.contains(QString::fromLatin1(identity)) || (!k.revoked.isEmpty() && identity.isEmpty()))
            return error = dbtext::en(dbtext::Id::RevokedAlready).arg(QString::fromLatin1(fingerprint)), false;
        if (k.revoked.isEmpty())
            k.revoked = now();
        if (!identity.isEmpty())
            k.revokedFrom.insert(QString::fromLatin1(identity), double(fromSeq));
        return true;
    }
    return error = dbtext::en(dbtext::Id::KeyNotInKeyring).arg(QString::fromLatin1(fingerprint)), false;
}

bool addPerson(QVector<TrustedKey> &keys, const TrustedKey &person, QString &error)
{
    if (personKey(person.name).isEmpty())
        return error = dbtext::en(dbtext::Id::EnrolledUnderName), false;
    if (person.roles.isEmpty())
        return error = dbtext::en(dbtext::Id::AtLeastOneRole), false;
    for (const QString &role : person.roles)
        if (!personRoles().contains(role))
            return error = dbtext::en(dbtext::Id::NotARole).arg(role), false;
    for (const TrustedKey &k : keys) {
        if (k.fingerprint == person.fingerprint)
            return error = dbtext::en(dbtext::Id::InKeyringAlready).arg(QString::fromLatin1(k.fingerprint)), false;
        // One key a person: a second under the same name would let one person sign twice.
        if (k.isPerson() && k.revoked.isEmpty() && personKey(k.name) == personKey(person.name))
            return error = dbtext::en(dbtext::Id::EnrolledAlready)
                               .arg(k.name, QString::fromLatin1(k.fingerprint)),
                   false;
    }
    TrustedKey added = person;
    added.name = person.name.trimmed();
    added.added = now();
    added.revoked.clear();
    added.revokedFrom = {};
    keys << added;
    return true;
}

} // namespace recordsdb
