#pragma once
// Signatures of the checks: performed, reviewed and approved, each a
// "signature" entry of the chain bound to the hash of the record it signs and
// signed by the person's own key (PersonSigner), whose fingerprint it names.
// People are told apart by their keys: who performed a check neither reviews
// nor approves it, and who reviewed it does not approve it. The name typed or
// shown is the keyring's, display only. Signatures from before persons' keys
// (a name and the workstation's key) still count, told apart by name.

#include "record/certificate.h"
#include "records_db/person_key.h"
#include "records_db/record_db.h"
#include "records_db/signing_texts.h"

#include <QVector>
#include <optional>

namespace recordsdb {

// Who signs through this connection: the PostgreSQL session's login (which
// SET ROLE does not change), else the operating-system account. Recorded, not relied on.
QString signerLogin(RecordDb &db);

// A name as a person, for telling names apart: Unicode NFKC, letters that
// only look Latin (Cyrillic, Greek) taken as Latin, case, punctuation and
// whitespace left out. "J.  Chen", "j. chen." and "Ј. Chen" are one name.
QString personKey(const QString &name);

// The role a signature of `meaning` needs: "performs", "reviews", "approves".
QString roleFor(record::Signature::Meaning meaning);

// Why a signature may not be given: one of SigningBar, and the text to show.
struct Refusal {
    SigningBar bar;
    QString text;                // English, with the record and the people named
};

class Approvals
{
public:
    explicit Approvals(RecordDb &db) : m_db(db) {}

    // Signs the current version of record `number` with `signer`'s key; the
    // signature's number, or nullopt with error() when refused (see refusal).
    std::optional<qint64> sign(qint64 number, record::Signature::Meaning meaning, const PersonSigner &signer,
                               const QString &function);
    // Why the person of key `fingerprint` may not sign record `number` so, asked
    // before trying (a window disables the action with it); nullopt when they may.
    std::optional<Refusal> refusal(qint64 number, record::Signature::Meaning meaning, const QByteArray &fingerprint);
    // The signatures bound to record `number` as it is stored, oldest first.
    std::optional<QVector<record::Signature>> of(qint64 number);
    QString error() const { return m_error; }

    // The content of a signature entry of `meaning` by `signer` on record
    // `number`, inside an append's transaction; nullopt with `why` when refused.
    std::optional<QJsonObject> signatureContent(qint64 number, record::Signature::Meaning meaning,
                                                const PersonSigner &signer, const QString &function, QString &why);

private:
    std::optional<QByteArray> recordHash(qint64 number);
    std::optional<Refusal> refusalOf(const StoredRecord &stored, const QVector<record::Signature> &signatures,
                                     record::Signature::Meaning meaning, const QVector<TrustedKey> &keyring,
                                     const QByteArray &fingerprint);

    RecordDb &m_db;
    QString m_error;
};

// What is signed of a signature entry's content: all of it but the person's
// signature and what the chain adds.
QByteArray personSignedBytes(QJsonObject content);

// What is wrong with the person's signature in entry `e` (seq within the
// database `identity`); empty when it holds or when `e` is not a person's
// signature. `fromWorkstation` is set for a signature from before persons' keys.
QString personSignatureFault(const ChainEntry &e, const QVector<TrustedKey> &keyring, const QByteArray &identity,
                             bool *fromWorkstation = nullptr);

// Every check stored since persons' keys came into a chain is followed by its
// performer's signature: fed the entries in chain order, it names the
// records that are not (earlier ones are from before persons' keys).
class PerformerCheck
{
public:
    void feed(const ChainEntry &e, QVector<ChainFault> &faults);
    void finish(QVector<ChainFault> &faults);

private:
    std::optional<ChainEntry> m_record;   // the record just before, waiting for its signature
    bool m_persons = false;               // a person's "performed" seen: unsigned checks no longer pass
};

} // namespace recordsdb
