#pragma once
// The one root of trust: the public keys a laboratory trusts to sign its
// records, kept outside any records database. With SQLite it is a file the
// laboratory distributes (TCAL_KEYRING, else keyring.json in the data folder);
// with PostgreSQL a table only the schema's owner writes. A key is trusted only
// by `records trust add`; a revoked key stays listed, so what it signed fails.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

namespace recordsdb {

struct TrustedKey {
    QByteArray publicKey;        // lower-case hex
    QByteArray fingerprint;
    QString name;                // whose: a workstation, a person
    QString added;               // UTC
    QString revoked;             // UTC; empty while trusted
};

// What the keyring says of `fingerprint`; empty when it trusts the key.
QString distrust(const QVector<TrustedKey> &keyring, const QByteArray &fingerprint);

// The keyring file: TCAL_KEYRING when set, else keyring.json in `dataFolder`.
QString keyringFile(const QString &dataFolder);
// A file that is not there is an empty keyring; one that does not read is an error.
std::optional<QVector<TrustedKey>> readKeyringFile(const QString &path, QString &error);
bool writeKeyringFile(const QString &path, const QVector<TrustedKey> &keys, QString &error);

// Adds `publicKey` (lower-case hex) under `name`, or revokes `fingerprint`;
// false with `error` when it is malformed, already there or unknown.
bool addTrusted(QVector<TrustedKey> &keys, const QByteArray &publicKey, const QString &name, QString &error);
bool revokeTrusted(QVector<TrustedKey> &keys, const QByteArray &fingerprint, QString &error);

} // namespace recordsdb
