#pragma once
// A person's own Ed25519 key. The secret half is kept only sealed under the
// person's passphrase (Argon2id, then XSalsa20-Poly1305: libsodium's
// crypto_pwhash and crypto_secretbox), so the keyring that lists it can be
// shared; it is opened for the moment of signing into a PersonSigner, which
// wipes it when it goes.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace recordsdb {

struct SecretKeyBytes;

struct Sealed {
    QJsonObject box;             // kdf, opslimit, memlimit, salt, nonce, box (hex)
    QByteArray publicKey;        // lower-case hex
};

// A new key pair, its secret half sealed under `passphrase`; nullopt with
// `error` when the passphrase is too short or libsodium fails.
std::optional<Sealed> sealNewKey(const QByteArray &passphrase, QString &error);

// The shortest passphrase a person is enrolled with.
constexpr int kMinPassphrase = 8;

class PersonSigner
{
public:
    // Opens `sealed` with `passphrase`; nullopt with `error` when the
    // passphrase is wrong, the box is malformed or its costs are out of bounds,
    // or what it holds is not the key listed as `publicKey`.
    static std::optional<PersonSigner> unlock(const QJsonObject &sealed, const QByteArray &publicKey,
                                              const QByteArray &passphrase, QString &error);

    QString name() const { return m_name; }
    QStringList roles() const { return m_roles; }
    bool holds(const QString &role) const { return m_roles.contains(role); }
    QByteArray publicKey() const { return m_public; }
    QByteArray fingerprint() const;
    QByteArray sign(const QByteArray &message) const;   // hex detached signature

    // Set by whoever unlocked it from the keyring: whose key this is.
    void setHolder(const QString &name, const QStringList &roles)
    {
        m_name = name;
        m_roles = roles;
    }

private:
    PersonSigner() = default;
    std::shared_ptr<SecretKeyBytes> m_secret;   // wiped with the last copy
    QByteArray m_public;
    QString m_name;
    QStringList m_roles;
};

} // namespace recordsdb
