#include "records_db/record_db.h"

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
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(q.value(3).toString().toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return why = QStringLiteral("entry %1: its content is not readable").arg(e.seq), std::nullopt;
    e.content = doc.object();
    if (qint64(e.content.value("number").toDouble(-1)) != e.number)
        return why = QStringLiteral("entry %1: its number column differs from its content").arg(e.seq), std::nullopt;
    e.previousHash = q.value(4).toString().toLatin1();
    e.hash = q.value(5).toString().toLatin1();
    e.keyId = q.value(6).toString().toLatin1();
    e.signature = q.value(7).toString().toLatin1();
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
    m_db = QSqlDatabase::addDatabase(m_sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), m_name);
    if (!m_db.isValid())
        return fail(QStringLiteral("no Qt SQL driver for ") + describe(s), QString());
    if (m_sqlite) {
        // Only an append makes a database: a mistyped folder is an error, not a new empty chain.
        if (mode == Mode::ExistingOnly && !QFileInfo::exists(s.sqliteFile))
            return fail(QStringLiteral("no records database at ") + s.sqliteFile, QString());
        if (!QDir().mkpath(QFileInfo(s.sqliteFile).absolutePath()))
            return fail(QStringLiteral("cannot create the folder of ") + s.sqliteFile, QString());
        m_db.setDatabaseName(s.sqliteFile);
        // Another process may hold the write lock for a moment.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(s.busyMs));
    } else {
        m_db.setHostName(s.host);
        m_db.setPort(s.port);
        m_db.setDatabaseName(s.database);
        m_db.setUserName(s.user);
        m_db.setPassword(s.password);
    }
    if (!m_db.open())
        return fail(QStringLiteral("cannot open ") + describe(s), m_db.lastError().text());
    // Readers never block the writer and a writer never blocks readers; a
    // writer waits for another one a while, then gives up (the check stays a draft).
    if (m_sqlite)
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    else
        QSqlQuery(m_db).exec(QStringLiteral("SET lock_timeout = %1").arg(s.busyMs));
    if (mode == Mode::ExistingOnly && readSchemaVersion() == 0)
        return fail(QStringLiteral("no records database at ") + describe(s), QString());
    return migrate();
}

bool RecordDb::beginWrite()
{
    // SQLite takes the write lock at once, so two writers never both read the same chain head.
    QSqlQuery q(m_db);
    if (!q.exec(m_sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")))
        return fail(QStringLiteral("begin"), q.lastError().text());
    if (!m_sqlite && !q.exec(QLatin1String(kPgWriteLock))) {
        const QString detail = q.lastError().text();
        rollback();
        return fail(QStringLiteral("write lock"), detail);
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
    return fail(QStringLiteral("commit"), detail);
}

void RecordDb::rollback()
{
    QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
}

bool RecordDb::loadKey()
{
    QString why;
    if (!m_key)
        m_key = SigningKey::loadOrCreate(m_settings.dataFolder, why);
    return m_key || fail(why, QString());
}

QByteArray RecordDb::keyFingerprint()
{
    return loadKey() ? m_key->fingerprint() : QByteArray();
}

// The key signs its own registration, so the chain holds every public key it needs.
bool RecordDb::registerKey()
{
    if (!loadKey())
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT seq FROM entries WHERE kind = 'key' AND key_id = ?"));
    q.addBindValue(QString::fromLatin1(m_key->fingerprint()));
    if (!q.exec())
        return fail(QStringLiteral("cannot read the keys"), q.lastError().text());
    if (q.next())
        return true;
    const QJsonObject key{{"publicKey", QString::fromLatin1(m_key->publicKey())},
                          {"fingerprint", QString::fromLatin1(m_key->fingerprint())},
                          {"host", QSysInfo::machineHostName()},
                          {"user", qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"))}};
    return appendLocked(QStringLiteral("key"), [&](qint64, QString &) { return key; }).has_value();
}

// Appending on top of a chain cut short or rebuilt would move the noted head
// onto it and so hide that: refused, the entry stays with the caller.
bool RecordDb::notedHeadHeld()
{
    const auto noted = localAnchor(m_settings.dataFolder, anchorKey(m_settings));
    if (!noted)
        return true;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT hash FROM entries WHERE seq = ?"));
    q.addBindValue(noted->count);
    if (q.exec() && q.next() && q.value(0).toString().toLatin1() == noted->hash)
        return true;
    return fail(QStringLiteral("entry %1 is not the one this workstation wrote: the chain was cut short or"
                               " rebuilt; nothing is appended until records verify is looked into")
                    .arg(noted->count),
                QString());
}

std::optional<ChainEntry> RecordDb::appendLocked(const QString &kind, const Builder &build)
{
    if (kind != QLatin1String("key") && (!notedHeadHeld() || !registerKey()))
        return std::nullopt;
    ChainEntry e;
    e.kind = kind;
    e.previousHash = genesisHash();
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT seq, hash FROM entries ORDER BY seq DESC LIMIT 1")))
        return fail(QStringLiteral("cannot read the chain"), q.lastError().text()), std::nullopt;
    if (q.next()) {
        e.seq = q.value(0).toLongLong();
        e.previousHash = q.value(1).toString().toLatin1();
    }
    ++e.seq;
    q.prepare(QStringLiteral("SELECT MAX(number) FROM entries WHERE kind = ?"));
    q.addBindValue(kind);
    if (!q.exec() || !q.next())
        return fail(QStringLiteral("cannot number the entry"), q.lastError().text()), std::nullopt;
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
    q.prepare(QStringLiteral("INSERT INTO entries (seq, kind, number, content, prev_hash, hash, key_id, signature)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &v : {QVariant(e.seq), QVariant(kind), QVariant(e.number), QVariant(QString::fromUtf8(text)),
                              QVariant(QString::fromLatin1(e.previousHash)), QVariant(QString::fromLatin1(e.hash)),
                              QVariant(QString::fromLatin1(e.keyId)), QVariant(QString::fromLatin1(e.signature))})
        q.addBindValue(v);
    if (!q.exec())
        return fail(QStringLiteral("cannot store the entry"), q.lastError().text()), std::nullopt;
    return e;
}

void RecordDb::noteHead(const ChainEntry &last)
{
    noteLocalAnchor(m_settings.dataFolder, anchorKey(m_settings), {last.seq, last.hash, last.signature});
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
        return fail(QStringLiteral("cannot read the chain"), q.lastError().text()), std::nullopt;
    QVector<ChainEntry> rows;
    QString why;
    while (q.next()) {
        const auto e = entryFromRow(q, why);
        if (!e || (!kind.isEmpty() && e->kind != kind))
            return fail(e ? QStringLiteral("entry %1: its kind column is wrong").arg(e->seq) : why, QString()),
                   std::nullopt;
        rows << *e;
    }
    // A read error ends next() just as the last row does.
    if (q.lastError().isValid())
        return fail(QStringLiteral("cannot read the chain"), q.lastError().text()), std::nullopt;
    return rows;
}

} // namespace recordsdb
