// The one gate before every change that relies on the chain (approve, issue,
// amend, import, trust and key changes) and before a reprint: the chain
// intact up to its head, every signature by a key trusted where it signed,
// the heads this workstation noted held. Otherwise the action is refused
// with verify's findings and nothing is written. It runs inside the write
// transaction, so what it passed is what the change is appended to.

#include "records_db/record_db.h"
#include "records_db/db_texts.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace recordsdb {

namespace {

constexpr int kFindingsShown = 5;

QString described(const ChainFault &f)
{
    return f.number ? dbtext::en(dbtext::Id::Entry).arg(f.number).arg(f.what) : f.what;
}

} // namespace

// A finding the change itself settles is left out: a change of the keyring
// is the laboratory deciding what it trusts, so what the keyring says now
// does not hold it up, and revoking a key never waits for what that key
// signed; the chain itself must still be whole. When `ownCounts` (a change), this workstation's own key counts
// until the laboratory lists it (a new chain's first entries come before
// `records trust add`); a key the keyring revoked never does. A reprint hands
// out a document, so it counts only keys the keyring trusts.
std::optional<QString> RecordDb::gateFindings(const QString &action, KeyChange change, const QByteArray &keyChanged,
                                              bool ownCounts)
{
    const auto keys = keyring();
    if (!keys)
        return dbtext::en(dbtext::Id::Refused).arg(action, m_error);
    QString why;
    const auto own = SigningKey::load(m_settings.dataFolder, why);
    const QByteArray ownKey = own ? own->fingerprint() : QByteArray();
    const bool ownUnlisted = ownCounts && !ownKey.isEmpty()
                             && std::none_of(keys->begin(), keys->end(), [&](const TrustedKey &k) { return k.fingerprint == ownKey; });
    ChainReport report;
    QMap<qint64, QByteArray> hashes;
    QString notesProblem;
    const auto noted = localAnchors(m_settings.dataFolder, notesProblem);
    chainSnapshot(report, hashes, *keys, noted.value_or(QHash<QString, ChainHead>()));
    QStringList findings;
    if (!noted)   // damaged head notes are a finding, never no notes
        findings << notesProblem;
    for (const ChainFault &f : report.faults) {
        const bool settled = f.keyringOnly && (change != KeyChange::None || (ownUnlisted && f.keyId == ownKey));
        if (!settled && !(change == KeyChange::Revoke && !f.keyId.isEmpty() && f.keyId == keyChanged))
            findings << described(f);
    }
    if (findings.isEmpty())
        return std::nullopt;
    const int more = findings.size() - kFindingsShown;
    return dbtext::en(dbtext::Id::RefusedChainFails)
        .arg(action, findings.mid(0, kFindingsShown).join(QStringLiteral("; "))
                         + (more > 0 ? QStringLiteral("; ") + dbtext::en(dbtext::Id::AndMore).arg(more) : QString()));
}

namespace {

QString actionOf(const QString &kind)
{
    if (kind == QLatin1String("record"))
        return dbtext::en(dbtext::Id::StoringCheck);
    if (kind == QLatin1String("signature"))
        return dbtext::en(dbtext::Id::Signing);
    if (kind == QLatin1String("certificate"))
        return dbtext::en(dbtext::Id::IssuingCertificate);
    if (kind == QLatin1String("key"))
        return dbtext::en(dbtext::Id::KeyChange);
    return dbtext::en(dbtext::Id::StoringKind).arg(kind);
}

} // namespace

// Appends also stop once the keyring revoked the key they would be signed with.
bool RecordDb::passGate(const QString &kind)
{
    const QString action = actionOf(kind);
    if (const auto refused = gateFindings(action, KeyChange::None, QByteArray(), true))
        return fail(*refused, QString());
    QString why;
    const auto own = SigningKey::load(m_settings.dataFolder, why);
    const auto keys = own ? keyring() : std::nullopt;
    if (keys && std::any_of(keys->begin(), keys->end(), [&](const TrustedKey &k) { return k.fingerprint == own->fingerprint(); })
        && !distrust(*keys, own->fingerprint()).isEmpty())
        return fail(dbtext::en(dbtext::Id::RefusedOwnKey)
                        .arg(action, QString::fromLatin1(own->fingerprint()), distrust(*keys, own->fingerprint())),
                    QString());
    return true;
}

std::optional<QString> RecordDb::gateRefusal(const QString &action, KeyChange change, const QByteArray &keyChanged)
{
    QSqlQuery q(m_db);
    if (!q.exec(m_sqlite ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")))
        return dbtext::en(dbtext::Id::RefusedNoChain).arg(action, q.lastError().text());
    const auto refused = gateFindings(action, change, keyChanged, false);
    rollback();
    return refused;
}

} // namespace recordsdb
