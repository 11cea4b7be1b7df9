#pragma once
// The Ed25519 key (libsodium) that signs what this workstation or person
// appends to a records database. It lives outside the database, in the user's
// data folder, readable by its owner only; its public half is registered in
// the chain as a "key" entry, so a verifier needs nothing but the database.

#include <QByteArray>
#include <QString>
#include <optional>

namespace recordsdb {

class SigningKey
{
public:
    // The key of `folder` (signing.key), made there on first use; nullopt with
    // `error` set when it cannot be read or made, or others may read it.
    static std::optional<SigningKey> loadOrCreate(const QString &folder, QString &error);

    QByteArray publicKey() const { return m_public.toHex(); }
    QByteArray fingerprint() const { return fingerprintOf(publicKey()); }
    QByteArray sign(const QByteArray &message) const;   // hex detached signature

    // 32 hex digits of the public key's SHA-256, grouped by four for printing.
    static QByteArray fingerprintOf(const QByteArray &publicKeyHex);
    static bool verify(const QByteArray &publicKeyHex, const QByteArray &message, const QByteArray &signatureHex);

private:
    QByteArray m_secret;
    QByteArray m_public;
};

} // namespace recordsdb
