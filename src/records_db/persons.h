#pragma once
// The persons who sign a laboratory's checks, without widgets: enrolled into
// the keyring with their own key sealed under their passphrase and the roles
// they hold (performs, reviews, approves), listed, and unlocked by the
// passphrase at the moment of signing into a PersonSigner that Approvals and
// RecordDb::append sign with.

#include "records_db/keyring.h"
#include "records_db/person_key.h"

#include <QVector>
#include <optional>

namespace recordsdb {

class RecordDb;

struct Person {
    QString name;
    QByteArray fingerprint;
    QStringList roles;
    QString added;               // UTC
    QString revoked;             // UTC; empty while the key signs
    bool active() const { return revoked.isEmpty(); }
};

class Persons
{
public:
    explicit Persons(RecordDb &db) : m_db(db) {}

    // A new key for `name` holding `roles`, sealed under `passphrase`; its
    // fingerprint, or nullopt with error() (a short passphrase, an unknown
    // role, the name enrolled already, the keyring not writable).
    std::optional<QByteArray> enrol(const QString &name, const QStringList &roles, const QByteArray &passphrase);
    // Every person in the keyring, as enrolled; workstation keys are not persons.
    std::optional<QVector<Person>> list();
    // The key of `who` (a name as enrolled, or a fingerprint) opened with
    // `passphrase`; nullopt with error() when unknown, revoked or the passphrase is wrong.
    std::optional<PersonSigner> unlock(const QString &who, const QByteArray &passphrase);
    QString error() const { return m_error; }

private:
    RecordDb &m_db;
    QString m_error;
};

} // namespace recordsdb
