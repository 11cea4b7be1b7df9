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
    // The key of `folder` (signing.key); nullopt with `error` set when it is
    // missing (`missing` then true), unreadable or readable by others. A key
    // is never made on the way: a lost one is replaced only on purpose.
    static std::optional<SigningKey> load(const QString &folder, QString &error, bool *missing = nullptr);
    // A new key in `folder`. With `replace`, one already there is kept aside
    // as signing.key.replaced-<UTC time>, never overwritten; without, a key
    // another process made first is the one taken.
    static std::optional<SigningKey> create(const QString &folder, QString &error, bool replace = false);

    QByteArray publicKey() const { return m_public.toHex(); }
    QByteArray fingerprint() const { return fingerprintOf(publicKey()); }
    QByteArray sign(const QByteArray &message) const;   // hex detached signature

    // The one text of a key, a signature and a fingerprint: lower-case hex of its exact length.
    static bool isPublicKeyText(const QByteArray &text);
    static bool isSignatureText(const QByteArray &text);
    static bool isFingerprintText(const QByteArray &text);

    // 32 hex digits of the public key's SHA-256, grouped by four for printing.
    static QByteArray fingerprintOf(const QByteArray &publicKeyHex);
    static bool verify(const QByteArray &publicKeyHex, const QByteArray &message, const QByteArray &signatureHex);

private:
    QByteArray m_secret;
    QByteArray m_public;
};

} // namespace recordsdb
