#include "records_db/signing_key.h"

#include "core/whole_file.h"
#include "records_db/db_texts.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRegularExpression>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <sodium.h>

namespace recordsdb {

namespace {

const char kFile[] = "signing.key";

// Written with owner-only permissions from the first byte on: never a moment
// in which another user could read the secret half.
bool writeSecret(const QString &path, const QByteArray &hex, QString &error)
{
    return files::writeWhole(files::FileKind::SigningKey, path, hex, error, files::Access::OwnerOnly,
                             files::Existing::Keep);
}

} // namespace

std::optional<SigningKey> SigningKey::create(const QString &folder, QString &error, bool replace)
{
    if (sodium_init() < 0)
        return error = dbtext::en(dbtext::Id::SodiumStart), std::nullopt;
    const QString path = QDir(folder).filePath(QLatin1String(kFile));
    const QString aside = path + QStringLiteral(".replaced-")
                          + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmsszzz"));
    if (!replace && QFileInfo::exists(path))
        return load(folder, error);
    const bool movedAside = QFileInfo::exists(path);
    if (movedAside && !QFile::rename(path, aside))
        return error = dbtext::en(dbtext::Id::KeepAsideFailed).arg(aside), std::nullopt;
    SigningKey key;
    key.m_secret.resize(crypto_sign_SECRETKEYBYTES);
    key.m_public.resize(crypto_sign_PUBLICKEYBYTES);
    crypto_sign_keypair(reinterpret_cast<unsigned char *>(key.m_public.data()),
                        reinterpret_cast<unsigned char *>(key.m_secret.data()));
    if (!writeSecret(path, key.m_secret.toHex(), error)) {
        if (!replace && QFileInfo::exists(path))
            return load(folder, error);
        if (movedAside && !QFile::rename(aside, path))   // the old key back in its place
            error = dbtext::en(dbtext::Id::OldKeyStays).arg(error, aside);
        return std::nullopt;
    }
    return key;
}

std::optional<SigningKey> SigningKey::load(const QString &folder, QString &error, bool *missing)
{
    if (sodium_init() < 0)
        return error = dbtext::en(dbtext::Id::SodiumStart), std::nullopt;
    const QString path = QDir(folder).filePath(QLatin1String(kFile));
    if (missing)
        *missing = !QFileInfo::exists(path);
    if (!QFileInfo::exists(path))
        return error = dbtext::en(dbtext::Id::NoSigningKey).arg(path), std::nullopt;
    SigningKey key;
    key.m_public.resize(crypto_sign_PUBLICKEYBYTES);
    auto *pk = reinterpret_cast<unsigned char *>(key.m_public.data());
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                                            | QFileDevice::WriteOther;
    if (QFileInfo(path).permissions() & others)
        return error = dbtext::en(dbtext::Id::KeyReadable).arg(path), std::nullopt;
    QFile f(path);
    const QByteArray secret = f.open(QIODevice::ReadOnly) ? QByteArray::fromHex(f.read(4 * crypto_sign_SECRETKEYBYTES).trimmed())
                                                          : QByteArray();
    if (secret.size() != int(crypto_sign_SECRETKEYBYTES))
        return error = dbtext::en(dbtext::Id::KeyUnreadable).arg(path), std::nullopt;
    key.m_secret = secret;
    crypto_sign_ed25519_sk_to_pk(pk, reinterpret_cast<const unsigned char *>(key.m_secret.constData()));
    return key;
}

QByteArray SigningKey::sign(const QByteArray &message) const
{
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
                         reinterpret_cast<const unsigned char *>(m_secret.constData()));
    return signature.toHex();
}

namespace {

bool lowerHex(const QByteArray &text, int length)
{
    if (text.size() != length)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

} // namespace

bool SigningKey::isPublicKeyText(const QByteArray &text)
{
    return lowerHex(text, 2 * crypto_sign_PUBLICKEYBYTES);
}

bool SigningKey::isSignatureText(const QByteArray &text)
{
    return lowerHex(text, 2 * crypto_sign_BYTES);
}

bool SigningKey::isFingerprintText(const QByteArray &text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{4}(-[0-9a-f]{4}){7}$"));
    return form.match(QString::fromLatin1(text)).hasMatch();
}

QByteArray SigningKey::fingerprintOf(const QByteArray &publicKeyHex)
{
    const QByteArray hex = QCryptographicHash::hash(QByteArray::fromHex(publicKeyHex), QCryptographicHash::Sha256)
                               .toHex().left(32);
    QByteArray grouped;
    for (int i = 0; i < hex.size(); i += 4)
        grouped += (i ? "-" : "") + hex.mid(i, 4);
    return grouped;
}

bool SigningKey::verify(const QByteArray &publicKeyHex, const QByteArray &message, const QByteArray &signatureHex)
{
    // fromHex skips what is not hex and takes either case: only the one text is read.
    if (!isPublicKeyText(publicKeyHex) || !isSignatureText(signatureHex))
        return false;
    const QByteArray pk = QByteArray::fromHex(publicKeyHex);
    const QByteArray sig = QByteArray::fromHex(signatureHex);
    if (sodium_init() < 0 || pk.size() != int(crypto_sign_PUBLICKEYBYTES) || sig.size() != int(crypto_sign_BYTES))
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(sig.constData()),
                                       reinterpret_cast<const unsigned char *>(message.constData()),
                                       quint64(message.size()),
                                       reinterpret_cast<const unsigned char *>(pk.constData())) == 0;
}

} // namespace recordsdb
