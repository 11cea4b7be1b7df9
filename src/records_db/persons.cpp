#include "records_db/persons.h"

#include "records_db/approvals.h"
#include "records_db/record_db.h"
#include "records_db/db_texts.h"

namespace recordsdb {

std::optional<QByteArray> Persons::enrol(const QString &name, const QStringList &roles, const QByteArray &passphrase)
{
    const auto sealed = sealNewKey(passphrase, m_error);
    if (!sealed)
        return std::nullopt;
    TrustedKey person;
    person.publicKey = sealed->publicKey;
    person.fingerprint = SigningKey::fingerprintOf(sealed->publicKey);
    person.name = name.trimmed();
    person.roles = roles;
    person.sealed = sealed->box;
    if (!m_db.enrol(person))
        return m_error = m_db.error(), std::nullopt;
    return person.fingerprint;
}

std::optional<QVector<Person>> Persons::list()
{
    const auto keys = m_db.keyring();
    if (!keys)
        return m_error = m_db.error(), std::nullopt;
    QVector<Person> persons;
    for (const TrustedKey &k : *keys)
        if (k.isPerson())
            persons << Person{k.name, k.fingerprint, k.roles, k.added, k.revoked};
    return persons;
}

std::optional<PersonSigner> Persons::unlock(const QString &who, const QByteArray &passphrase)
{
    const auto keys = m_db.keyring();
    if (!keys)
        return m_error = m_db.error(), std::nullopt;
    if (personKey(who).isEmpty())
        return m_error = dbtext::en(dbtext::Id::NameSigner), std::nullopt;
    const TrustedKey *found = nullptr;
    for (const TrustedKey &k : *keys) {
        if (!k.isPerson())
            continue;
        const bool named = k.fingerprint == who.trimmed().toLatin1() || personKey(k.name) == personKey(who);
        // A revoked key under the same name stays listed: the one still signing is taken.
        if (named && (!found || !found->revoked.isEmpty()))
            found = &k;
    }
    if (!found)
        return m_error = dbtext::en(dbtext::Id::NotEnrolled).arg(who.trimmed()), std::nullopt;
    if (!found->revoked.isEmpty())
        return m_error = dbtext::en(dbtext::Id::KeyOfRevoked).arg(found->name, found->revoked), std::nullopt;
    auto signer = PersonSigner::unlock(found->sealed, found->publicKey, passphrase, m_error);
    if (!signer)
        return m_error = QStringLiteral("%1: %2").arg(found->name, m_error), std::nullopt;
    signer->setHolder(found->name, found->roles);
    return signer;
}

} // namespace recordsdb
