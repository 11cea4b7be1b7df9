#include "records_db/approvals.h"

#include <QHash>
#include <QSqlQuery>

#include <pwd.h>
#include <unistd.h>

namespace recordsdb {

namespace {

const QString kSignature = QStringLiteral("signature");

QString osUser()
{
    if (const passwd *pw = getpwuid(getuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
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

QString signerLogin(RecordDb &db)
{
    if (db.connection().driverName() == QLatin1String("QPSQL")) {
        QSqlQuery q(db.connection());
        if (q.exec(QStringLiteral("SELECT session_user")) && q.next())
            return q.value(0).toString();
    }
    return osUser();
}

std::optional<QByteArray> Approvals::recordHash(qint64 number)
{
    const auto records = m_db.entries(QStringLiteral("record"));
    if (!records)
        return m_error = m_db.error(), std::nullopt;
    for (const ChainEntry &e : *records)
        if (e.number == number)
            return e.hash;
    m_error = QStringLiteral("no record %1").arg(number);
    return std::nullopt;
}

std::optional<QVector<record::Signature>> Approvals::of(qint64 number)
{
    const auto hash = recordHash(number);
    const auto entries = hash ? m_db.entries(kSignature) : std::nullopt;
    if (!entries)
        return m_error = hash ? m_db.error() : m_error, std::nullopt;
    QVector<record::Signature> signatures;
    for (const ChainEntry &e : *entries) {
        // Bound to this record as stored: a signature of other content never counts.
        if (qint64(e.content.value("record").toDouble()) != number
            || e.content.value("recordHash").toString().toLatin1() != *hash)
            continue;
        if (const auto s = record::signatureFromJson(e.content))
            signatures << *s;
    }
    return signatures;
}

// Performed, reviewed and approved by three people: who performed a check
// neither reviews nor approves it, and who reviewed it does not approve it.
// A PostgreSQL login is a person's; a workstation's account (SQLite) may be
// shared, so there the names tell people apart, and the account is recorded.
std::optional<QString> Approvals::refusal(const StoredRecord &stored, const QVector<record::Signature> &signatures,
                                          record::Signature::Meaning meaning, const QString &name, const QString &login)
{
    const bool personalLogins = m_db.connection().driverName() == QLatin1String("QPSQL");
    using Meaning = record::Signature::Meaning;
    const qint64 n = stored.record.id;
    if (stored.supersededBy)
        return QStringLiteral("record %1 was amended by record %2: sign the amended version").arg(n).arg(stored.supersededBy);
    if (personKey(name).isEmpty())
        return QStringLiteral("a signature needs the signer's name");
    if (meaning != Meaning::Performed && samePerson(stored.record.header.technician, name))
        return QStringLiteral("%1 performed record %2 and cannot sign it again").arg(name.trimmed()).arg(n);
    const QString act = meaning == Meaning::Reviewed ? QStringLiteral("review") : QStringLiteral("approve");
    for (const record::Signature &s : signatures) {
        const bool same = samePerson(s.name, name) || (personalLogins && s.login == login);
        if (s.meaning == meaning && (meaning == Meaning::Performed || same))
            return QStringLiteral("record %1 is already signed as %2 by %3").arg(n).arg(record::meaningKey(meaning), s.name);
        if (meaning != Meaning::Performed && s.meaning == Meaning::Performed && same)
            return QStringLiteral("%1 performed record %2 and cannot %3 it").arg(s.name).arg(n).arg(act);
        if (meaning == Meaning::Approved && s.meaning == Meaning::Reviewed && same)
            return QStringLiteral("%1 reviewed record %2 and cannot approve it").arg(s.name).arg(n);
    }
    return std::nullopt;
}

std::optional<qint64> Approvals::sign(qint64 number, record::Signature::Meaning meaning, const QString &name,
                                      const QString &function)
{
    const QString login = signerLogin(m_db);
    const auto id = m_db.appendEntry(kSignature, [&](qint64, QString &why) -> std::optional<QJsonObject> {
        const auto stored = m_db.find(number);
        const auto hash = stored ? recordHash(number) : std::nullopt;
        const auto signatures = hash ? of(number) : std::nullopt;
        if (!signatures)
            return why = stored ? m_error : m_db.error(), std::nullopt;
        if (const auto refused = refusal(*stored, *signatures, meaning, name, login))
            return why = *refused, std::nullopt;
        if (const auto refused = datesRefusal(stored->record, QDateTime::currentDateTimeUtc(), QStringLiteral("this signature")))
            return why = *refused, std::nullopt;
        QJsonObject o = record::signatureToJson({meaning, name.trimmed(), function.trimmed(), login,
                                                 QDateTime::currentDateTimeUtc()});
        o.insert("record", double(number));
        o.insert("recordHash", QString::fromLatin1(*hash));
        return o;
    });
    if (!id)
        m_error = m_db.error();
    return id;
}

} // namespace recordsdb
