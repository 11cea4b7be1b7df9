#include "records_db/person_key.h"

#include "records_db/signing_key.h"
#include "records_db/db_texts.h"

#include <sodium.h>

namespace recordsdb {

namespace {

const char kKdf[] = "argon2id13";

// Interactive costs: an unlock takes a fraction of a second and 64 MiB. A box
// asking for more than the sensitive limits, or less than the interactive
// ones, was not made here and is not opened.
bool costsInBounds(double ops, double mem)
{
    return ops >= crypto_pwhash_OPSLIMIT_INTERACTIVE && ops <= crypto_pwhash_OPSLIMIT_SENSITIVE
           && mem >= crypto_pwhash_MEMLIMIT_INTERACTIVE && mem <= crypto_pwhash_MEMLIMIT_SENSITIVE;
}

bool deriveKey(unsigned char *key, const QByteArray &passphrase, const QByteArray &salt, unsigned long long ops,
               size_t mem)
{
    return crypto_pwhash(key, crypto_secretbox_KEYBYTES, passphrase.constData(), quint64(passphrase.size()),
                         reinterpret_cast<const unsigned char *>(salt.constData()), ops, mem,
                         crypto_pwhash_ALG_ARGON2ID13)
           == 0;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

struct SecretKeyBytes {
    unsigned char key[crypto_sign_SECRETKEYBYTES];
    ~SecretKeyBytes() { sodium_memzero(key, sizeof key); }
};

std::optional<Sealed> sealNewKey(const QByteArray &passphrase, QString &error)
{
    if (passphrase.size() < kMinPassphrase)
        return error = dbtext::en(dbtext::Id::PassphraseLength).arg(kMinPassphrase), std::nullopt;
    if (sodium_init() < 0)
        return error = dbtext::en(dbtext::Id::SodiumStart), std::nullopt;
    unsigned char pk[crypto_sign_PUBLICKEYBYTES];
    SecretKeyBytes sk;
    crypto_sign_keypair(pk, sk.key);
    QByteArray salt(crypto_pwhash_SALTBYTES, '\0'), nonce(crypto_secretbox_NONCEBYTES, '\0');
    randombytes_buf(salt.data(), size_t(salt.size()));
    randombytes_buf(nonce.data(), size_t(nonce.size()));
    unsigned char key[crypto_secretbox_KEYBYTES];
    const auto ops = crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const auto mem = crypto_pwhash_MEMLIMIT_INTERACTIVE;
    if (!deriveKey(key, passphrase, salt, ops, mem))
        return error = dbtext::en(dbtext::Id::NoMemorySeal), std::nullopt;
    QByteArray box(int(crypto_secretbox_MACBYTES + sizeof sk.key), '\0');
    crypto_secretbox_easy(reinterpret_cast<unsigned char *>(box.data()), sk.key, sizeof sk.key,
                          reinterpret_cast<const unsigned char *>(nonce.constData()), key);
    sodium_memzero(key, sizeof key);
    const QJsonObject sealed{{"kdf", kKdf}, {"opslimit", double(ops)}, {"memlimit", double(mem)},
                             {"salt", hex(salt)}, {"nonce", hex(nonce)}, {"box", hex(box)}};
    return Sealed{sealed, QByteArray(reinterpret_cast<const char *>(pk), sizeof pk).toHex()};
}

std::optional<PersonSigner> PersonSigner::unlock(const QJsonObject &sealed, const QByteArray &publicKey,
                                                 const QByteArray &passphrase, QString &error)
{
    if (sodium_init() < 0)
        return error = dbtext::en(dbtext::Id::SodiumStart), std::nullopt;
    const QByteArray salt = QByteArray::fromHex(sealed.value("salt").toString().toLatin1());
    const QByteArray nonce = QByteArray::fromHex(sealed.value("nonce").toString().toLatin1());
    const QByteArray box = QByteArray::fromHex(sealed.value("box").toString().toLatin1());
    const double ops = sealed.value("opslimit").toDouble(), mem = sealed.value("memlimit").toDouble();
    if (sealed.value("kdf").toString() != QLatin1String(kKdf) || !costsInBounds(ops, mem)
        || salt.size() != int(crypto_pwhash_SALTBYTES) || nonce.size() != int(crypto_secretbox_NONCEBYTES)
        || box.size() != int(crypto_secretbox_MACBYTES + crypto_sign_SECRETKEYBYTES)
        || !SigningKey::isPublicKeyText(publicKey))
        return error = dbtext::en(dbtext::Id::SealedMalformed), std::nullopt;
    unsigned char key[crypto_secretbox_KEYBYTES];
    if (!deriveKey(key, passphrase, salt, quint64(ops), size_t(mem)))
        return error = dbtext::en(dbtext::Id::NoMemoryOpen), std::nullopt;
    PersonSigner signer;
    signer.m_secret = std::make_shared<SecretKeyBytes>();
    const bool opened = crypto_secretbox_open_easy(signer.m_secret->key,
                                                   reinterpret_cast<const unsigned char *>(box.constData()),
                                                   quint64(box.size()),
                                                   reinterpret_cast<const unsigned char *>(nonce.constData()), key)
                        == 0;
    sodium_memzero(key, sizeof key);
    if (!opened)
        return error = dbtext::en(dbtext::Id::PassphraseWrong), std::nullopt;
    unsigned char pk[crypto_sign_PUBLICKEYBYTES];
    crypto_sign_ed25519_sk_to_pk(pk, signer.m_secret->key);
    signer.m_public = QByteArray(reinterpret_cast<const char *>(pk), sizeof pk).toHex();
    if (signer.m_public != publicKey)
        return error = dbtext::en(dbtext::Id::SealedNotListed), std::nullopt;
    return signer;
}

QByteArray PersonSigner::fingerprint() const
{
    return SigningKey::fingerprintOf(m_public);
}

QByteArray PersonSigner::sign(const QByteArray &message) const
{
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
                         m_secret->key);
    return signature.toHex();
}

} // namespace recordsdb
