#pragma once
// The one root of trust: the public keys a laboratory trusts to sign its
// records, kept outside any records database. With SQLite it is a file the
// laboratory distributes (TCAL_KEYRING, else keyring.json in the data folder);
// with PostgreSQL a table only the schema's owner writes. A workstation's key
// is trusted by `records trust add`; a person's by `records person enrol`,
// with the roles they hold and their key sealed under their passphrase. A
// revoked key stays listed with the place in each database's chain from which
// it no longer counts: what it signed before that stays valid.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

namespace recordsdb {

struct TrustedKey {
    QByteArray publicKey;        // lower-case hex
    QByteArray fingerprint;
    QString name;                // whose: a workstation, a person
    QString added;               // UTC
    QString revoked;             // UTC; empty while trusted
    QStringList roles;           // a person's: "performs", "reviews", "approves"
    QJsonObject sealed;          // a person's secret key under their passphrase (PersonSigner)
    QJsonObject revokedFrom;     // database identity -> the first entry (seq) it no longer signs
    bool isPerson() const { return !sealed.isEmpty(); }
};

// The roles a person may hold, and the one each meaning of a signature needs.
const QStringList &personRoles();

// What the keyring says of `fingerprint` signing anything from now on; empty when it trusts the key.
QString distrust(const QVector<TrustedKey> &keyring, const QByteArray &fingerprint);
// What it says of the entry at `seq` of the database `identity` signed by it:
// a revoked key's entries before its point in that chain still count.
QString distrust(const QVector<TrustedKey> &keyring, const QByteArray &fingerprint, const QByteArray &identity,
                 qint64 seq);
const TrustedKey *findKey(const QVector<TrustedKey> &keyring, const QByteArray &fingerprint);

// The keyring file: TCAL_KEYRING when set, else keyring.json in `dataFolder`.
QString keyringFile(const QString &dataFolder);
// A file that is not there is an empty keyring; one that does not read is an error.
std::optional<QVector<TrustedKey>> readKeyringFile(const QString &path, QString &error);
bool writeKeyringFile(const QString &path, const QVector<TrustedKey> &keys, QString &error);

// Adds `publicKey` (lower-case hex) under `name`, or revokes `fingerprint`;
// false with `error` when it is malformed, already there or unknown.
bool addTrusted(QVector<TrustedKey> &keys, const QByteArray &publicKey, const QString &name, QString &error);
// Revoking names the database `identity` and `fromSeq`, its head + 1. A key
// revoked already may be revoked again for another database sharing the keyring.
bool revokeTrusted(QVector<TrustedKey> &keys, const QByteArray &fingerprint, const QByteArray &identity,
                   qint64 fromSeq, QString &error);
// Enrols a person (name, roles, sealed key); false with `error` when the name
// is empty, a role unknown, or the name or key is held by a key not revoked.
bool addPerson(QVector<TrustedKey> &keys, const TrustedKey &person, QString &error);

// A keyring entry as JSON and back (the file's form and the PostgreSQL table's extra columns).
QJsonObject keyToJson(const TrustedKey &key);
std::optional<TrustedKey> keyFromJson(const QJsonObject &object);

} // namespace recordsdb
