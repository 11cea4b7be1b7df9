#include "records_db/approvals.h"

#include "records_db/keyring.h"

#include <QDateTime>
#include "platform/user_name.h"
#include "records_db/db_texts.h"

#include <QHash>
#include <QSqlQuery>

namespace recordsdb {

namespace {

const QString kSignature = QStringLiteral("signature");

QString osUser()
{
    return platform::userName();
}

} // namespace

namespace {

// Capital and small letters of other scripts that read as Latin ones.
const QHash<QChar, QChar> kLookAlikes = [] {
    QHash<QChar, QChar> map;
    const QString from = QString::fromUtf8("АВЕЅІЈКМНОРСТХУаеѕіјорсухԁԛԝΑΒΕΖΗΙΚΜΝΟΡΤΥΧοντ");
    const QString to = QStringLiteral("ABESIJKMHOPCTXYaesijopcyxdqwABEZHIKMNOPTYXovt");
    for (int i = 0; i < from.size() && i < to.size(); ++i)
        map.insert(from.at(i), to.at(i));
    return map;
}();

} // namespace

QString personKey(const QString &name)
{
    QString key;
    for (QChar c : name.normalized(QString::NormalizationForm_KC)) {
        c = kLookAlikes.value(c, c);
        if (c.isLetterOrNumber())
            key += c.toCaseFolded();
    }
    return key;
}

namespace {

bool samePerson(const QString &a, const QString &b)
{
    const QString key = personKey(a);
    return !key.isEmpty() && key == personKey(b);
}

} // namespace

QString roleFor(record::Signature::Meaning meaning)
{
    switch (meaning) {
    case record::Signature::Meaning::Reviewed: return QStringLiteral("reviews");
    case record::Signature::Meaning::Approved: return QStringLiteral("approves");
    case record::Signature::Meaning::Performed: break;
    }
    return QStringLiteral("performs");
}

QString signerLogin(RecordDb &db)
{
    if (db.connection().driverName() == QLatin1String("QPSQL")) {
        QSqlQuery q(db.connection());
        if (q.exec(QStringLiteral("SELECT session_user")) && q.next())
            return q.value(0).toString();
    }
    return osUser();
}

QByteArray personSignedBytes(QJsonObject content)
{
    for (const char *added : {"personSignature", "number", "stored"})
        content.remove(QLatin1String(added));
    return canonicalJson(content);
}

QString personSignatureFault(const ChainEntry &e, const QVector<TrustedKey> &keyring, const QByteArray &identity,
                             bool *fromWorkstation, bool *keyringOnly)
{
    if (fromWorkstation)
        *fromWorkstation = false;
    if (keyringOnly)
        *keyringOnly = true;
    if (e.kind != kSignature)
        return {};
    if (!e.content.contains(QLatin1String("key"))) {
        if (fromWorkstation)
            *fromWorkstation = true;
        return {};
    }
    const QByteArray fingerprint = e.content.value("key").toString().toLatin1();
    const QString name = e.content.value("name").toString();
    const TrustedKey *k = findKey(keyring, fingerprint);
    const auto meaning = record::meaningFromKey(e.content.value("meaning").toString());
    if (!k || !k->isPerson())
        return dbtext::en(dbtext::Id::SignedUnknownKey)
            .arg(name, QString::fromLatin1(fingerprint));
    const QString distrusted = distrust(keyring, fingerprint, identity, e.seq);
    if (!distrusted.isEmpty())
        return dbtext::en(dbtext::Id::SignedDistrusted).arg(k->name, QString::fromLatin1(fingerprint), distrusted);
    if (!SigningKey::verify(k->publicKey, personSignedBytes(e.content),
                            e.content.value("personSignature").toString().toLatin1())) {
        if (keyringOnly)
            *keyringOnly = false;   // no keyring makes an altered signature hold
        return dbtext::en(dbtext::Id::SignatureMismatch).arg(k->name);
    }
    if (!meaning || !k->roles.contains(roleFor(*meaning)))
        return dbtext::en(dbtext::Id::SignedWithoutRole)
            .arg(e.content.value("meaning").toString(), k->name);
    if (name != k->name)
        return dbtext::en(dbtext::Id::NamesOther).arg(name, QString::fromLatin1(fingerprint), k->name);
    return {};
}

void PerformerCheck::feed(const ChainEntry &e, QVector<ChainFault> &faults)
{
    if (m_record) {
        const bool performed = e.kind == kSignature && e.content.contains(QLatin1String("key"))
                               && e.content.value("meaning").toString() == QLatin1String("performed")
                               && e.content.value("recordHash").toString().toLatin1() == m_record->hash;
        m_persons = m_persons || performed;
        if (!performed)
            finish(faults);
    }
    m_record.reset();
    if (e.kind == QLatin1String("record"))
        m_record = e;
}

void PerformerCheck::finish(QVector<ChainFault> &faults)
{
    if (m_record && m_persons)
        faults << ChainFault{m_record->seq, m_record->content.value("header").toObject().value("serial").toString(),
                             dbtext::en(dbtext::Id::NoPerformerSignature)};
    m_record.reset();
}

std::optional<QByteArray> Approvals::recordHash(qint64 number)
{
    const auto records = m_db.entries(QStringLiteral("record"));
    if (!records)
        return m_error = m_db.error(), std::nullopt;
    for (const ChainEntry &e : *records)
        if (e.number == number)
            return e.hash;
    m_error = dbtext::en(dbtext::Id::NoRecord).arg(number);
    return std::nullopt;
}

std::optional<QVector<record::Signature>> Approvals::of(qint64 number)
{
    const auto hash = recordHash(number);
    const auto entries = hash ? m_db.entries(kSignature) : std::nullopt;
    const auto keyring = entries ? m_db.keyring() : std::nullopt;
    if (!keyring)
        return m_error = hash ? m_db.error() : m_error, std::nullopt;
    const QByteArray identity = m_db.identity();
    QVector<record::Signature> signatures;
    for (const ChainEntry &e : *entries) {
        // Bound to this record as stored, by a key that counts there: no other signature ever does.
        if (qint64(e.content.value("record").toDouble()) != number
            || e.content.value("recordHash").toString().toLatin1() != *hash
            || !personSignatureFault(e, *keyring, identity).isEmpty())
            continue;
        if (const auto s = record::signatureFromJson(e.content))
            signatures << *s;
    }
    return signatures;
}

// Performed, reviewed and approved by three people, told apart by their keys;
// a signature from before persons' keys (and a record's technician, when no
// key signed it performed) by name.
std::optional<Refusal> Approvals::refusalOf(const StoredRecord &stored, const QVector<record::Signature> &signatures,
                                            record::Signature::Meaning meaning, const QVector<TrustedKey> &keyring,
                                            const QByteArray &fingerprint)
{
    using Meaning = record::Signature::Meaning;
    const qint64 n = stored.record.id;
    if (stored.supersededBy)
        return Refusal{SigningBar::Superseded,
                       dbtext::en(dbtext::Id::AmendedSignNew).arg(n).arg(stored.supersededBy)};
    const TrustedKey *k = findKey(keyring, fingerprint);
    if (!k || !k->isPerson())
        return Refusal{SigningBar::NotEnrolled,
                       dbtext::en(dbtext::Id::KeyNoPerson).arg(QString::fromLatin1(fingerprint))};
    if (!k->revoked.isEmpty())
        return Refusal{SigningBar::KeyRevoked, dbtext::en(dbtext::Id::KeyOfRevoked).arg(k->name, k->revoked)};
    if (!k->roles.contains(roleFor(meaning)))
        return Refusal{SigningBar::LacksRole, dbtext::en(dbtext::Id::LacksRole).arg(k->name, roleFor(meaning))};
    const QString performedIt = meaning == Meaning::Reviewed ? dbtext::en(dbtext::Id::PerformedCannotReview)
                                                             : dbtext::en(dbtext::Id::PerformedCannotApprove);
    bool keyedPerformer = false;
    for (const record::Signature &s : signatures) {
        const bool same = s.key.isEmpty() ? samePerson(s.name, k->name) : s.key == fingerprint;
        keyedPerformer = keyedPerformer || (s.meaning == Meaning::Performed && !s.key.isEmpty());
        if (s.meaning == meaning && (meaning == Meaning::Performed || same))
            return Refusal{SigningBar::SignedAlready, dbtext::en(dbtext::Id::SignedAlready)
                                                          .arg(n).arg(record::meaningKey(meaning), s.name)};
        if (meaning != Meaning::Performed && s.meaning == Meaning::Performed && same)
            return Refusal{SigningBar::PerformedIt,
                           performedIt.arg(k->name).arg(n)};
        if (meaning == Meaning::Approved && s.meaning == Meaning::Reviewed && same)
            return Refusal{SigningBar::ReviewedIt,
                           dbtext::en(dbtext::Id::ReviewedCannotApprove).arg(k->name).arg(n)};
    }
    if (meaning != Meaning::Performed && !keyedPerformer && samePerson(stored.record.header.technician, k->name))
        return Refusal{SigningBar::PerformedIt,
                       performedIt.arg(k->name).arg(n)};
    return std::nullopt;
}

std::optional<Refusal> Approvals::refusal(qint64 number, record::Signature::Meaning meaning, const QByteArray &fingerprint)
{
    const auto stored = m_db.find(number);
    if (!stored)
        return Refusal{SigningBar::NoRecord, m_db.error()};
    const auto signatures = of(number);
    const auto keyring = signatures ? m_db.keyring() : std::nullopt;
    if (!keyring)
        return Refusal{SigningBar::NoRecord, m_error.isEmpty() ? m_db.error() : m_error};
    return refusalOf(*stored, *signatures, meaning, *keyring, fingerprint);
}

std::optional<QJsonObject> Approvals::signatureContent(qint64 number, record::Signature::Meaning meaning,
                                                       const PersonSigner &signer, const QString &function, QString &why)
{
    const auto stored = m_db.find(number);
    const auto hash = stored ? recordHash(number) : std::nullopt;
    const auto signatures = hash ? of(number) : std::nullopt;
    const auto keyring = signatures ? m_db.keyring() : std::nullopt;
    if (!keyring)
        return why = stored ? m_error : m_db.error(), std::nullopt;
    // The keyring is asked again at the moment of storing: a key revoked since it was unlocked signs nothing.
    if (const auto refused = refusalOf(*stored, *signatures, meaning, *keyring, signer.fingerprint()))
        return why = refused->text, std::nullopt;
    if (const auto refused = datesRefusal(stored->record, QDateTime::currentDateTimeUtc(), dbtext::en(dbtext::Id::ThisSignature)))
        return why = *refused, std::nullopt;
    const TrustedKey *k = findKey(*keyring, signer.fingerprint());
    QJsonObject o = record::signatureToJson({meaning, k->name, function.trimmed(), signerLogin(m_db),
                                             QDateTime::currentDateTimeUtc(), signer.fingerprint()});
    o.insert("record", double(number));
    o.insert("recordHash", QString::fromLatin1(*hash));
    o.insert("personSignature", QString::fromLatin1(signer.sign(personSignedBytes(o))));
    return o;
}

std::optional<qint64> Approvals::sign(qint64 number, record::Signature::Meaning meaning, const PersonSigner &signer,
                                      const QString &function)
{
    const auto id = m_db.appendEntry(kSignature, [&](qint64, QString &why) {
        return signatureContent(number, meaning, signer, function, why);
    });
    if (!id)
        m_error = m_db.error();
    return id;
}

} // namespace recordsdb
