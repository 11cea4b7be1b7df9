#include "records_db/record_db.h"
#include "records_db/db_texts.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

#include <algorithm>

namespace recordsdb {

namespace {

QAtomicInteger<int> g_connections;

// Every writer of a PostgreSQL database takes this lock for its transaction,
// so appends and migrations take their turns; the writing role needs no
// table-lock rights for it.
const char kPgWriteLock[] = "SELECT pg_advisory_xact_lock(7240129)";

const char kSelectEntries[] =
    "SELECT seq, kind, number, content, prev_hash, hash, key_id, signature FROM entries";

QString nowUtc()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

} // namespace

// A row as an entry; nullopt with `why` when its content is not JSON or its
// number column disagrees with what is hashed.
std::optional<ChainEntry> RecordDb::entryFromRow(const QSqlQuery &q, QString &why)
{
    ChainEntry e;
    e.seq = q.value(0).toLongLong();
    e.kind = q.value(1).toString();
    e.number = q.value(2).toLongLong();
    const QByteArray text = q.value(3).toString().toUtf8();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return why = dbtext::en(dbtext::Id::EntryUnreadable).arg(e.seq), std::nullopt;
    e.content = doc.object();
    if (e.content.value("number").toDouble(-1) != double(e.number))
        return why = dbtext::en(dbtext::Id::EntryNumberDiffers).arg(e.seq), std::nullopt;
    e.previousHash = q.value(4).toString().toLatin1();
    e.hash = q.value(5).toString().toLatin1();
    e.keyId = q.value(6).toString().toLatin1();
    e.signature = q.value(7).toString().toLatin1();
    // One text for everything hashed or signed: another spelling of the same
    // value (upper case, padding, keys reordered) is not the entry that was signed.
    if (canonicalJson(e.content) != text)
        return why = dbtext::en(dbtext::Id::EntryNotCanonical).arg(e.seq), std::nullopt;
    if (!isHashText(e.previousHash) || !isHashText(e.hash) || !SigningKey::isSignatureText(e.signature)
        || !SigningKey::isFingerprintText(e.keyId))
        return why = dbtext::en(dbtext::Id::EntryNotHex).arg(e.seq),
               std::nullopt;
    return e;
}

RecordDb::RecordDb()
    : m_name(QStringLiteral("tcal-records-%1").arg(g_connections.fetchAndAddRelaxed(1)))
{
}

RecordDb::~RecordDb()
{
    m_db.close();
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

bool RecordDb::fail(const QString &what, const QString &detail)
{
    m_error = detail.isEmpty() ? what : what + QStringLiteral(": ") + detail;
    return false;
}

bool RecordDb::open(const DbSettings &s, Mode mode)
{
    if (m_db.isValid()) {   // opened again: the earlier connection goes first
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    m_settings = s;
    if (m_settings.dataFolder.isEmpty())
        m_settings.dataFolder = defaultDataFolder();
    if (!s.problem.isEmpty())
        return fail(s.problem, QString());
    m_sqlite = s.kind == DbSettings::Kind::Sqlite;
    m_mode = mode;
    const bool reading = mode == Mode::ExistingOnly;
    m_db = QSqlDatabase::addDatabase(m_sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), m_name);
    if (!m_db.isValid())
        return fail(dbtext::en(dbtext::Id::NoDriver).arg(describe(s)), QString());
    if (m_sqlite) {
        // Only an append makes a database: a mistyped folder is an error, not a new empty chain.
        if (mode != Mode::Create && !QFileInfo::exists(s.sqliteFile))
            return fail(dbtext::en(dbtext::Id::NoDatabaseAt).arg(s.sqliteFile), QString());
        if (!reading && !QDir().mkpath(QFileInfo(s.sqliteFile).absolutePath()))
            return fail(dbtext::en(dbtext::Id::NoFolderFor).arg(s.sqliteFile), QString());
        m_db.setDatabaseName(s.sqliteFile);
        // Another process may hold the write lock for a moment; a reader never writes.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(s.busyMs)
                               + (reading ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    } else {
        m_db.setHostName(s.host);
        m_db.setPort(s.port);
        m_db.setDatabaseName(s.database);
        m_db.setUserName(s.user);
        m_db.setPassword(s.password);
    }
    if (!m_db.open())
        return fail(dbtext::en(dbtext::Id::CannotOpen).arg(describe(s)), m_db.lastError().text());
    // Readers never block the writer and a writer never blocks readers; a
    // writer waits for another one a while, then gives up (the check stays a draft).
    if (!m_sqlite)
        QSqlQuery(m_db).exec(QStringLiteral("SET lock_timeout = %1").arg(s.busyMs));
    if (reading && !m_sqlite)
        QSqlQuery(m_db).exec(QStringLiteral("SET default_transaction_read_only = on"));
    const int version = readSchemaVersion();
    if (version < 0) {   // not a schema older than any: the database itself cannot be read
        QSqlQuery probe(m_db);
        probe.exec(m_sqlite ? QStringLiteral("SELECT COUNT(*) FROM sqlite_master") : QStringLiteral("SELECT COUNT(*) FROM pg_class"));
        return fail(dbtext::en(dbtext::Id::CannotRead).arg(describe(s)),
                    probe.lastError().isValid() ? probe.lastError().text() : m_db.lastError().text());
    }
    if (mode != Mode::Create && version == 0)
        return fail(dbtext::en(dbtext::Id::NoDatabaseAt).arg(describe(s)), QString());
    if (version == kSchemaVersion || mode == Mode::Migrate || (mode == Mode::Create && version == 0)) {
        // Set only on a database this connection may write: the mode lives in the file.
        if (m_sqlite && !reading)
            QSqlQuery(m_db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        return version == kSchemaVersion || migrate();
    }
    if (version > kSchemaVersion)
        return fail(dbtext::en(dbtext::Id::NewerTcal).arg(version), QString());
    return fail(dbtext::en(dbtext::Id::OlderSchema)
                    .arg(describe(s)).arg(version).arg(kSchemaVersion),
                QString());
}

bool RecordDb::beginWrite()
{
    m_gatePassed = false;   // every write transaction passes the gate again, at its first append
    // SQLite takes the write lock at once, so two writers never both read the same chain head.
    QSqlQuery q(m_db);
    if (!q.exec(m_sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")))
        return fail(dbtext::en(dbtext::Id::Begin), q.lastError().text());
    if (!m_sqlite && !q.exec(QLatin1String(kPgWriteLock))) {
        const QString detail = q.lastError().text();
        rollback();
        return fail(dbtext::en(dbtext::Id::WriteLock), detail);
    }
    return true;
}

bool RecordDb::commitWrite()
{
    QSqlQuery q(m_db);
    if (q.exec(QStringLiteral("COMMIT")))
        return true;
    const QString detail = q.lastError().text();
    rollback();
    return fail(dbtext::en(dbtext::Id::Commit), detail);
}

void RecordDb::rollback()
{
    QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
}

bool RecordDb::loadKey(bool mayCreate)
{
    if (m_key)
        return true;
    QString why;
    bool missing = false;
    m_key = SigningKey::load(m_settings.dataFolder, why, &missing);
    // The first key of a new chain is made with it; a lost or changed key is
    // never made again on the way (records key new).
    if (!m_key && missing && mayCreate)
        m_key = SigningKey::create(m_settings.dataFolder, why);
    return m_key || fail(why, QString());
}

QByteArray RecordDb::keyFingerprint()
{
    return loadKey() ? m_key->fingerprint() : QByteArray();
}

qint64 RecordDb::chainLength()
{
    QSqlQuery q(m_db);
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM entries")) && q.next() ? q.value(0).toLongLong() : -1;
}

QByteArray RecordDb::identity()
{
    QSqlQuery q(m_db);
    return q.exec(QStringLiteral("SELECT hash FROM entries WHERE seq = 1")) && q.next() ? q.value(0).toString().toLatin1()
                                                                                        : QByteArray();
}

namespace {

QJsonObject keyContent(const SigningKey &key, const QString &reason, const QByteArray &replaced, const QString &user)
{
    return {{"publicKey", QString::fromLatin1(key.publicKey())},
            {"fingerprint", QString::fromLatin1(key.fingerprint())},
            {"host", QSysInfo::machineHostName()},
            {"user", user},
            {"reason", reason},
            {"replaces", QString::fromLatin1(replaced)}};
}

} // namespace

// Who registers a key: the PostgreSQL session's login, else the account.
QString RecordDb::keyUser()
{
    QSqlQuery q(m_db);
    if (!m_sqlite && q.exec(QStringLiteral("SELECT session_user")) && q.next())
        return q.value(0).toString();
    return qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
}

// The key signs its own registration, so the chain holds every public key it
// needs. Only a new chain registers a key on the way: on a chain that has
// entries, a key it does not hold is a lost or replaced key.
bool RecordDb::registerKey()
{
    const qint64 length = chainLength();
    if (length < 0)
        return fail(dbtext::en(dbtext::Id::CannotReadChain), QString());
    if (!loadKey(length == 0 && m_mode == Mode::Create))
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT seq FROM entries WHERE kind = 'key' AND key_id = ?"));
    q.addBindValue(QString::fromLatin1(m_key->fingerprint()));
    if (!q.exec())
        return fail(dbtext::en(dbtext::Id::CannotReadKeys), q.lastError().text());
    if (q.next())
        return true;
    if (length > 0)
        return fail(dbtext::en(dbtext::Id::OwnKeyNotInChain)
                        .arg(QString::fromLatin1(m_key->fingerprint()), describe(m_settings)),
                    QString());
    return appendLocked(QStringLiteral("key"), [&](qint64, QString &) { return keyContent(*m_key, QString(), QByteArray(), keyUser()); })
        .has_value();
}

std::optional<QByteArray> RecordDb::newKey(const QString &reason)
{
    if (reason.trimmed().isEmpty())
        return fail(dbtext::en(dbtext::Id::NewKeyReason), QString()), std::nullopt;
    if (!beginWrite())
        return std::nullopt;
    QString why;
    const auto old = SigningKey::load(m_settings.dataFolder, why);
    const QByteArray replaced = old ? old->fingerprint() : QByteArray();
    std::optional<ChainEntry> e;
    if ((m_gatePassed = passGate(QStringLiteral("key"))) && notedHeadHeld()) {
        m_key = SigningKey::create(m_settings.dataFolder, why, true);
        if (!m_key)
            fail(why, QString());
        else
            e = appendLocked(QStringLiteral("key"),
                             [&](qint64, QString &) { return keyContent(*m_key, reason.trimmed(), replaced, keyUser()); });
    }
    if (!e) {
        rollback();
        return std::nullopt;
    }
    if (!commitWrite())
        return std::nullopt;
    noteHead(*e);
    return m_key->fingerprint();
}

std::optional<QVector<TrustedKey>> RecordDb::keyring()
{
    QString why;
    if (m_sqlite) {
        const auto keys = readKeyringFile(keyringFile(m_settings.dataFolder), why);
        return keys ? keys : (fail(why, QString()), std::nullopt);
    }
    QVector<TrustedKey> keys;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM pg_class WHERE relname = 'trusted_keys' AND pg_table_is_visible(oid)"))
        || !q.next())
        return fail(dbtext::en(dbtext::Id::CannotReadKeyring), q.lastError().text()), std::nullopt;
    if (q.value(0).toInt() == 0)
        return keys;
    // A table from before persons has no details column: read as a row, it is simply absent.
    if (!q.exec(QStringLiteral("SELECT public_key, name, added_utc, revoked_utc, to_jsonb(t) ->> 'details'"
                               " FROM trusted_keys t ORDER BY added_utc")))
        return fail(dbtext::en(dbtext::Id::CannotReadKeyring), q.lastError().text()), std::nullopt;
    while (q.next()) {
        QJsonObject o = QJsonDocument::fromJson(q.value(4).toString().toUtf8()).object();
        o.insert("publicKey", q.value(0).toString());
        o.insert("name", q.value(1).toString());
        o.insert("added", q.value(2).toString());
        o.insert("revoked", q.value(3).toString());
        const auto key = keyFromJson(o);
        if (!key)
            return fail(dbtext::en(dbtext::Id::KeyringMalformed), QString()), std::nullopt;
        keys << *key;
    }
    return keys;
}

// SQLite: the file. PostgreSQL: the table, written whole by its owner; the
// writing role may only read it (grantWriter).
bool RecordDb::saveKeyring(const QVector<TrustedKey> &keys)
{
    QString why;
    if (m_sqlite)
        return writeKeyringFile(keyringFile(m_settings.dataFolder), keys, why) || fail(why, QString());
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("BEGIN")) || !q.exec(QStringLiteral("SET LOCAL client_min_messages = warning"))
        || !q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS trusted_keys (fingerprint TEXT PRIMARY KEY,"
                                  " public_key TEXT NOT NULL, name TEXT NOT NULL, added_utc TEXT NOT NULL,"
                                  " revoked_utc TEXT NOT NULL)"))
        || !q.exec(QStringLiteral("ALTER TABLE trusted_keys ADD COLUMN IF NOT EXISTS details TEXT NOT NULL DEFAULT '{}'"))
        || !q.exec(QStringLiteral("DELETE FROM trusted_keys"))) {
        const QString detail = q.lastError().text();
        rollback();
        return fail(dbtext::en(dbtext::Id::CannotWriteKeyring), detail);
    }
    for (const TrustedKey &k : keys) {
        QJsonObject details = keyToJson(k);
        for (const char *column : {"publicKey", "fingerprint", "name", "added", "revoked"})
            details.remove(QLatin1String(column));
        q.prepare(QStringLiteral("INSERT INTO trusted_keys (fingerprint, public_key, name, added_utc, revoked_utc, details)"
                                 " VALUES (?, ?, ?, ?, ?, ?)"));
        for (const QVariant &v : {QVariant(QString::fromLatin1(k.fingerprint)), QVariant(QString::fromLatin1(k.publicKey)),
                                  sqlText(k.name), sqlText(k.added), sqlText(k.revoked),
                                  QVariant(QString::fromUtf8(canonicalJson(details)))})
            q.addBindValue(v);
        if (!q.exec()) {
            const QString detail = q.lastError().text();
            rollback();
            return fail(dbtext::en(dbtext::Id::CannotWriteKeyring), detail);
        }
    }
    return commitWrite();
}

bool RecordDb::trust(const QByteArray &publicKey, const QString &name)
{
    if (const auto refused = gateRefusal(dbtext::en(dbtext::Id::TrustingKey), KeyChange::Trust,
                                         SigningKey::fingerprintOf(publicKey)))
        return fail(*refused, QString());
    auto keys = keyring();
    QString why;
    if (!keys)
        return false;
    return (addTrusted(*keys, publicKey, name, why) || fail(why, QString())) && saveKeyring(*keys);
}

// From the entry after the head on: what the key signed up to now stays valid.
bool RecordDb::revoke(const QByteArray &fingerprint)
{
    if (const auto refused = gateRefusal(dbtext::en(dbtext::Id::RevokingKey), KeyChange::Revoke, fingerprint))
        return fail(*refused, QString());
    auto keys = keyring();
    QString why;
    const qint64 length = keys ? chainLength() : -1;
    if (length < 0)
        return keys && fail(dbtext::en(dbtext::Id::CannotReadChain), QString());
    return (revokeTrusted(*keys, fingerprint, identity(), length + 1, why) || fail(why, QString()))
           && saveKeyring(*keys);
}

bool RecordDb::enrol(const TrustedKey &person)
{
    auto keys = keyring();
    QString why;
    return keys && (addPerson(*keys, person, why) || fail(why, QString())) && saveKeyring(*keys);
}

// A revoked workstation key signs nothing from its point on; one not trusted
// yet does (a new chain's first entries), and verify names it until it is.
bool RecordDb::keyStillSigns()
{
    const auto keys = keyring();
    if (!keys)
        return false;
    const TrustedKey *k = findKey(*keys, m_key->fingerprint());
    return !k || k->revoked.isEmpty()
           || fail(dbtext::en(dbtext::Id::OwnKeyRevoked)
                       .arg(QString::fromLatin1(k->fingerprint), k->revoked),
                   QString());
}

// Appending on top of a chain cut short or rebuilt would move the noted head
// onto it and so hide that: refused, the entry stays with the caller.
bool RecordDb::notedHeadHeld()
{
    const QByteArray id = identity();
    QString why;
    const auto heads = localAnchors(m_settings.dataFolder, why);
    if (!heads)
        return fail(dbtext::en(dbtext::Id::NothingUntilThen).arg(why), QString());
    for (const QString &name : {anchorKey(m_settings), identityAnchorKey(id)}) {
        const auto noted = name.isEmpty() || !heads->contains(name) ? std::nullopt
                                                                     : std::optional<ChainHead>(heads->value(name));
        if (!noted)
            continue;
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("SELECT hash FROM entries WHERE seq = ?"));
        q.addBindValue(noted->count);
        if (!q.exec() || !q.next() || q.value(0).toString().toLatin1() != noted->hash)
            return fail(dbtext::en(dbtext::Id::NotWhatWeWrote)
                            .arg(noted->count),
                        QString());
    }
    return true;
}

std::optional<ChainEntry> RecordDb::appendLocked(const QString &kind, const Builder &build)
{
    if (!m_gatePassed && !passGate(kind))
        return std::nullopt;
    m_gatePassed = true;
    if (kind != QLatin1String("key") && (!notedHeadHeld() || !registerKey() || !keyStillSigns()))
        return std::nullopt;
    ChainEntry e;
    e.kind = kind;
    e.previousHash = genesisHash();
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT seq, hash FROM entries ORDER BY seq DESC LIMIT 1")))
        return fail(dbtext::en(dbtext::Id::CannotReadChain), q.lastError().text()), std::nullopt;
    if (q.next()) {
        e.seq = q.value(0).toLongLong();
        e.previousHash = q.value(1).toString().toLatin1();
    }
    ++e.seq;
    q.prepare(QStringLiteral("SELECT MAX(number) FROM entries WHERE kind = ?"));
    q.addBindValue(kind);
    if (!q.exec() || !q.next())
        return fail(dbtext::en(dbtext::Id::CannotNumber), q.lastError().text()), std::nullopt;
    e.number = q.value(0).toLongLong() + 1;
    QString why;
    const auto content = build(e.number, why);
    if (!content)
        return fail(why, QString()), std::nullopt;
    e.content = *content;
    e.content.insert(QStringLiteral("number"), double(e.number));
    e.content.insert(QStringLiteral("stored"), nowUtc());
    const QByteArray text = canonicalJson(e.content);
    e.hash = entryHash(e.seq, kind, e.previousHash, text);
    e.keyId = m_key->fingerprint();
    e.signature = m_key->sign(e.hash);
    // On a PostgreSQL database set up for a writing role, every append goes
    // through the owner's function, which takes the signer from the session.
    // The function is named with its schema: one of the same name elsewhere on the path is never called.
    QSqlQuery probe(m_db);
    const bool throughFunction = !m_sqlite
                                 && probe.exec(QStringLiteral("SELECT quote_ident(current_schema()), to_regprocedure("
                                                              "quote_ident(current_schema()) || '.tcal_append(bigint, text,"
                                                              " bigint, text, text, text, text, text)') IS NOT NULL"))
                                 && probe.next() && probe.value(1).toBool();
    q.prepare(throughFunction ? QStringLiteral("SELECT %1.tcal_append(?, ?, ?, ?, ?, ?, ?, ?)").arg(probe.value(0).toString())
                              : QStringLiteral("INSERT INTO entries (seq, kind, number, content, prev_hash, hash, key_id,"
                                               " signature) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &v : {QVariant(e.seq), QVariant(kind), QVariant(e.number), QVariant(QString::fromUtf8(text)),
                              QVariant(QString::fromLatin1(e.previousHash)), QVariant(QString::fromLatin1(e.hash)),
                              QVariant(QString::fromLatin1(e.keyId)), QVariant(QString::fromLatin1(e.signature))})
        q.addBindValue(v);
    if (!q.exec())
        return fail(dbtext::en(dbtext::Id::CannotStore), q.lastError().text()), std::nullopt;
    return e;
}

// Noted under the path and under the identity, so another path to the same
// database (a link, a copy) is held to the same head.
// The entry is stored whatever happens here; a note that could not be written
// is kept to be said (headNoteProblem), never passed over.
void RecordDb::noteHead(const ChainEntry &last)
{
    const ChainHead head{last.seq, last.hash, last.signature};
    QString why;
    m_headNoteProblem.clear();
    if (!noteLocalAnchor(m_settings.dataFolder, anchorKey(m_settings), head, why))
        m_headNoteProblem = why;
    const QByteArray id = identity();
    if (!id.isEmpty() && !noteLocalAnchor(m_settings.dataFolder, identityAnchorKey(id), head, why))
        m_headNoteProblem = why;
}

std::optional<qint64> RecordDb::appendEntry(const QString &kind, const Builder &build)
{
    if (!beginWrite())
        return std::nullopt;
    const auto e = appendLocked(kind, build);
    if (!e) {
        rollback();
        return std::nullopt;
    }
    if (!commitWrite())
        return std::nullopt;
    noteHead(*e);
    return e->number;
}

bool RecordDb::appendEntries(const QVector<QPair<QString, Builder>> &parts)
{
    if (parts.isEmpty() || !beginWrite())
        return false;
    std::optional<ChainEntry> last;
    for (const auto &[kind, build] : parts) {
        if (!(last = appendLocked(kind, build))) {
            rollback();
            return false;
        }
    }
    if (!commitWrite())
        return false;
    noteHead(*last);
    return true;
}

std::optional<qint64> RecordDb::appendEntry(const QString &kind, const QJsonObject &content)
{
    return appendEntry(kind, [&](qint64, QString &) { return content; });
}

std::optional<QVector<ChainEntry>> RecordDb::entries(const QString &kind)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QLatin1String(kSelectEntries) + (kind.isEmpty() ? QString() : QStringLiteral(" WHERE kind = ?"))
              + QStringLiteral(" ORDER BY seq"));
    if (!kind.isEmpty())
        q.addBindValue(kind);
    if (!q.exec())
        return fail(dbtext::en(dbtext::Id::CannotReadChain), q.lastError().text()), std::nullopt;
    QVector<ChainEntry> rows;
    QString why;
    while (q.next()) {
        const auto e = entryFromRow(q, why);
        if (!e || (!kind.isEmpty() && e->kind != kind))
            return fail(e ? dbtext::en(dbtext::Id::EntryKindWrong).arg(e->seq) : why, QString()),
                   std::nullopt;
        rows << *e;
    }
    // A read error ends next() just as the last row does.
    if (q.lastError().isValid())
        return fail(dbtext::en(dbtext::Id::CannotReadChain), q.lastError().text()), std::nullopt;
    return rows;
}

} // namespace recordsdb
