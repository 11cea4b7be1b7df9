#include "records_db/record_db.h"

#include "records_db/record_hash.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace recordsdb {

namespace {

QAtomicInteger<int> g_connections;

QString nowUtc()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

} // namespace

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

bool RecordDb::open(const DbSettings &s)
{
    m_sqlite = s.kind == DbSettings::Kind::Sqlite;
    m_db = QSqlDatabase::addDatabase(m_sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), m_name);
    if (!m_db.isValid())
        return fail(QStringLiteral("no Qt SQL driver for ") + describe(s), QString());
    if (m_sqlite) {
        if (!QDir().mkpath(QFileInfo(s.sqliteFile).absolutePath()))
            return fail(QStringLiteral("cannot create the folder of ") + s.sqliteFile, QString());
        m_db.setDatabaseName(s.sqliteFile);
        // Another process may hold the write lock for a moment.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    } else {
        m_db.setHostName(s.host);
        m_db.setPort(s.port);
        m_db.setDatabaseName(s.database);
        m_db.setUserName(s.user);
        m_db.setPassword(s.password);
    }
    if (!m_db.open())
        return fail(QStringLiteral("cannot open ") + describe(s), m_db.lastError().text());
    return migrate();
}

bool RecordDb::begin()
{
    // SQLite takes the write lock at once, so two writers never both read the same chain head.
    QSqlQuery q(m_db);
    return q.exec(m_sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"))
           || fail(QStringLiteral("begin"), q.lastError().text());
}

bool RecordDb::commit()
{
    QSqlQuery q(m_db);
    return q.exec(QStringLiteral("COMMIT")) || fail(QStringLiteral("commit"), q.lastError().text());
}

void RecordDb::rollback()
{
    QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
}

// Counters are rows updated in place: the UPDATE locks the row in PostgreSQL,
// so concurrent writers take their turns and never see the same value.
std::optional<qint64> RecordDb::bumpCounter(const QString &name)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE counters SET value = value + 1 WHERE name = ?"));
    q.addBindValue(name);
    if (!q.exec() || q.numRowsAffected() != 1)
        return fail(QStringLiteral("counter ") + name, q.lastError().text()), std::nullopt;
    q.prepare(QStringLiteral("SELECT value FROM counters WHERE name = ?"));
    q.addBindValue(name);
    if (!q.exec() || !q.next())
        return fail(QStringLiteral("counter ") + name, q.lastError().text()), std::nullopt;
    return q.value(0).toLongLong();
}

bool RecordDb::contentStored(const QByteArray &content)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT seq FROM records WHERE content = ?"));
    q.addBindValue(QString::fromUtf8(content));
    return q.exec() && q.next();
}

std::optional<qint64> RecordDb::append(const record::Record &input)
{
    record::Record r = input;
    r.id = 0;
    if (!begin())
        return std::nullopt;
    if (r.amendment) {
        const auto old = find(r.amendment->supersedes);
        if (!old || old->record.header.serial != r.header.serial || old->record.stage != r.stage
            || r.amendment->reason.trimmed().isEmpty()) {
            rollback();
            fail(QStringLiteral("an amendment needs a reason and an earlier record of the same check"), QString());
            return std::nullopt;
        }
    }
    const auto number = bumpCounter(QStringLiteral("records"));
    if (!number)
        return rollback(), std::nullopt;
    QByteArray previous = genesisHash();
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT hash FROM records WHERE seq = ?"));
    q.addBindValue(*number - 1);
    if (q.exec() && q.next())
        previous = q.value(0).toString().toUtf8();
    const QByteArray content = canonicalContent(r);
    q.prepare(QStringLiteral("INSERT INTO records (seq, serial, stage, started_utc, supersedes, content,"
                             " prev_hash, hash, stored_utc) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &v : {QVariant(*number), sqlText(r.header.serial), QVariant(record::stageKey(r.stage)),
                              QVariant(r.started.toUTC().toString(Qt::ISODateWithMs)),
                              QVariant(r.amendment ? r.amendment->supersedes : qint64(0)),
                              QVariant(QString::fromUtf8(content)), QVariant(QString::fromLatin1(previous)),
                              QVariant(QString::fromLatin1(chainHash(*number, previous, content))),
                              QVariant(nowUtc())})
        q.addBindValue(v);
    if (!q.exec()) {
        fail(QStringLiteral("cannot store the record"), q.lastError().text());
        rollback();
        return std::nullopt;
    }
    return commit() ? number : (rollback(), std::nullopt);
}

namespace {

std::optional<StoredRecord> rowToStored(const QSqlQuery &q)
{
    const QJsonDocument doc = QJsonDocument::fromJson(q.value(1).toString().toUtf8());
    auto r = doc.isObject() ? record::fromJson(doc.object()) : std::nullopt;
    if (!r)
        return std::nullopt;
    r->id = q.value(0).toLongLong();
    return StoredRecord{*r, q.value(2).toLongLong(), q.value(3).toString()};
}

const char kSelect[] =
    "SELECT r.seq, r.content, (SELECT MAX(a.seq) FROM records a WHERE a.supersedes = r.seq), r.stored_utc"
    " FROM records r";

} // namespace

std::optional<StoredRecord> RecordDb::find(qint64 number)
{
    QSqlQuery q(m_db);
    q.prepare(QLatin1String(kSelect) + QStringLiteral(" WHERE r.seq = ?"));
    q.addBindValue(number);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return rowToStored(q);
}

QVector<StoredRecord> RecordDb::list(const QString &serial)
{
    QSqlQuery q(m_db);
    const bool all = serial.trimmed().isEmpty();
    q.prepare(QLatin1String(kSelect) + (all ? QString() : QStringLiteral(" WHERE r.serial = ?"))
              + QStringLiteral(" ORDER BY r.started_utc, r.seq"));
    if (!all)
        q.addBindValue(serial.trimmed());
    QVector<StoredRecord> rows;
    if (!q.exec()) {
        fail(QStringLiteral("cannot list records"), q.lastError().text());
        return rows;
    }
    while (q.next()) {
        if (auto s = rowToStored(q))
            rows << *s;
    }
    return rows;
}

std::optional<qint64> RecordDb::issueCertificate(qint64 asFound, qint64 asLeft)
{
    if (!begin())
        return std::nullopt;
    const auto number = bumpCounter(QStringLiteral("certificates"));
    if (!number)
        return rollback(), std::nullopt;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO certificates (number, as_found, as_left, issued_utc) VALUES (?, ?, ?, ?)"));
    for (const QVariant &v : {QVariant(*number), QVariant(asFound), QVariant(asLeft), QVariant(nowUtc())})
        q.addBindValue(v);
    if (!q.exec()) {
        fail(QStringLiteral("cannot issue a certificate number"), q.lastError().text());
        rollback();
        return std::nullopt;
    }
    return commit() ? number : (rollback(), std::nullopt);
}

} // namespace recordsdb
