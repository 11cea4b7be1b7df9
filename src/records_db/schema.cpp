// The schema and its migrations, one numbered step each, applied in order in
// one transaction under the write lock. The same SQL runs on SQLite and
// PostgreSQL, in whatever schema the connection's search path names first.

#include "records_db/record_db.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace recordsdb {

namespace {

// The server itself refuses to change a stored record or certificate; only
// someone who drops these triggers can, and the chain then shows it.
QStringList appendOnlyGuard(bool sqlite)
{
    if (sqlite) {
        QStringList steps;
        for (const char *table : {"records", "certificates"}) {
            for (const char *what : {"UPDATE", "DELETE"})
                steps << QStringLiteral("CREATE TRIGGER %1_no_%2 BEFORE %3 ON %1 BEGIN"
                                        " SELECT RAISE(ABORT, '%1 are append-only'); END")
                             .arg(QLatin1String(table), QString::fromLatin1(what).toLower(), QLatin1String(what));
        }
        return steps;
    }
    return {
        "CREATE FUNCTION tcal_append_only() RETURNS trigger LANGUAGE plpgsql AS"
        " $$ BEGIN RAISE EXCEPTION '% are append-only', TG_TABLE_NAME; END $$",
        "CREATE TRIGGER records_no_change BEFORE UPDATE OR DELETE ON records"
        " FOR EACH ROW EXECUTE FUNCTION tcal_append_only()",
        "CREATE TRIGGER certificates_no_change BEFORE UPDATE OR DELETE ON certificates"
        " FOR EACH ROW EXECUTE FUNCTION tcal_append_only()",
    };
}

// Version 4: one chain for every kind of entry, with the same guards, and on
// PostgreSQL a TRUNCATE refused as well.
QStringList entriesTable(bool sqlite)
{
    QStringList steps{
        "CREATE TABLE entries (seq BIGINT PRIMARY KEY, kind VARCHAR(32) NOT NULL, number BIGINT NOT NULL,"
        " content TEXT NOT NULL, prev_hash TEXT NOT NULL, hash TEXT NOT NULL, key_id TEXT NOT NULL,"
        " signature TEXT NOT NULL, UNIQUE (kind, number))",
    };
    if (sqlite) {
        for (const char *what : {"UPDATE", "DELETE"})
            steps << QStringLiteral("CREATE TRIGGER entries_no_%1 BEFORE %2 ON entries BEGIN"
                                    " SELECT RAISE(ABORT, 'entries are append-only'); END")
                         .arg(QString::fromLatin1(what).toLower(), QLatin1String(what));
        return steps;
    }
    return steps << "CREATE TRIGGER entries_no_change BEFORE UPDATE OR DELETE ON entries"
                    " FOR EACH ROW EXECUTE FUNCTION tcal_append_only()"
                 << "CREATE TRIGGER entries_no_truncate BEFORE TRUNCATE ON entries"
                    " FOR EACH STATEMENT EXECUTE FUNCTION tcal_append_only()";
}

QStringList migrationSteps(int version, bool sqlite)
{
    switch (version) {
    case 1:
        return {
            "CREATE TABLE schema_version (version INTEGER NOT NULL)",
            "INSERT INTO schema_version (version) VALUES (0)",
            "CREATE TABLE counters (name VARCHAR(32) PRIMARY KEY, value BIGINT NOT NULL)",
            "INSERT INTO counters (name, value) VALUES ('records', 0)",
            "INSERT INTO counters (name, value) VALUES ('certificates', 0)",
            // Appended only: seq is the chain position, never reused.
            "CREATE TABLE records (seq BIGINT PRIMARY KEY, serial TEXT NOT NULL, stage TEXT NOT NULL,"
            " started_utc TEXT NOT NULL, supersedes BIGINT NOT NULL DEFAULT 0, content TEXT NOT NULL,"
            " prev_hash TEXT NOT NULL, hash TEXT NOT NULL, stored_utc TEXT NOT NULL)",
            "CREATE INDEX records_serial ON records (serial)",
            "CREATE TABLE certificates (number BIGINT PRIMARY KEY, as_found BIGINT NOT NULL,"
            " as_left BIGINT NOT NULL, issued_utc TEXT NOT NULL)",
        };
    case 2:
        return {
            "CREATE TABLE instruments (tag TEXT PRIMARY KEY, serial TEXT NOT NULL, description TEXT NOT NULL,"
            " location TEXT NOT NULL, input_type TEXT NOT NULL, range_lower DOUBLE PRECISION NOT NULL,"
            " range_upper DOUBLE PRECISION NOT NULL, unit TEXT NOT NULL, interval_months INTEGER NOT NULL,"
            " status TEXT NOT NULL)",
        };
    case 3:
        return appendOnlyGuard(sqlite);
    case 4:
        return entriesTable(sqlite);
    default:
        return {};
    }
}

} // namespace

int RecordDb::schemaVersion()
{
    return readSchemaVersion();
}

// Asked of the server, not of QSqlDatabase::tables(): that names a table of
// another schema than public with its schema, and so would miss it. pg_class
// is read in the statement's snapshot, so a table another process made while
// this one waited for the write lock is seen.
int RecordDb::readSchemaVersion()
{
    QSqlQuery q(m_db);
    const bool found = q.exec(m_sqlite ? QStringLiteral("SELECT COUNT(*) FROM sqlite_master"
                                                        " WHERE type = 'table' AND name = 'schema_version'")
                                       : QStringLiteral("SELECT COUNT(*) FROM pg_class WHERE relname = 'schema_version'"
                                                        " AND relkind = 'r' AND pg_table_is_visible(oid)"))
                       && q.next();
    if (!found)
        return -1;
    if (q.value(0).toInt() == 0)
        return 0;
    return q.exec(QStringLiteral("SELECT version FROM schema_version")) && q.next() ? q.value(0).toInt() : -1;
}

bool RecordDb::applyMigration(int version)
{
    QSqlQuery q(m_db);
    for (const QString &step : migrationSteps(version, m_sqlite)) {
        if (!q.exec(step))
            return fail(QStringLiteral("schema step %1").arg(version), q.lastError().text());
    }
    q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
    q.addBindValue(version);
    return q.exec() || fail(QStringLiteral("schema version"), q.lastError().text());
}

// The whole climb in one transaction under the write lock, the version read
// again inside it: two processes opening a new database at once both succeed.
bool RecordDb::migrate()
{
    if (readSchemaVersion() == kSchemaVersion)
        return true;
    if (!beginWrite())
        return false;
    const int current = readSchemaVersion();
    bool ok = current >= 0 || fail(QStringLiteral("unreadable schema version"), QString());
    if (ok && current > kSchemaVersion)
        ok = fail(QStringLiteral("the database was made by a newer TCal (schema %1)").arg(current), QString());
    for (int v = current + 1; ok && v <= kSchemaVersion; ++v)
        ok = applyMigration(v);
    if (ok && current >= 1 && current < 4)
        ok = adoptLegacyRows();
    if (!ok) {
        rollback();
        return false;
    }
    if (!commitWrite())
        return false;
    if (m_adoptedHead)
        noteHead(*m_adoptedHead);
    return true;
}

} // namespace recordsdb

namespace recordsdb {

bool RecordDb::grantWriter(const QString &role)
{
    if (m_sqlite)
        return fail(QStringLiteral("roles are PostgreSQL's"), QString());
    if (!QRegularExpression(QStringLiteral("^[a-z_][a-z0-9_]{0,62}$")).match(role).hasMatch())
        return fail(QStringLiteral("\"%1\" is not a plain role name").arg(role), QString());
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT current_schema()")) || !q.next())
        return fail(QStringLiteral("no schema"), q.lastError().text());
    const QString schema = m_db.driver()->escapeIdentifier(q.value(0).toString(), QSqlDriver::TableName);
    // The writer appends through the owner's function and nothing else: it
    // cannot insert a row itself, and a signature or key it appends names the
    // session's login, whatever the client wrote.
    const QString append = QStringLiteral("tcal_append(bigint, text, bigint, text, text, text, text, text)");
    const QStringList grants{
        QStringLiteral("GRANT USAGE ON SCHEMA ") + schema + QStringLiteral(" TO ") + role,
        QStringLiteral("GRANT SELECT ON schema_version TO ") + role,
        QStringLiteral("GRANT SELECT ON entries TO ") + role,
        QStringLiteral("REVOKE INSERT, UPDATE, DELETE, TRUNCATE ON entries FROM ") + role,
        QStringLiteral("CREATE OR REPLACE FUNCTION tcal_append(p_seq bigint, p_kind text, p_number bigint, p_content text,"
                       " p_prev text, p_hash text, p_key text, p_signature text) RETURNS void LANGUAGE plpgsql"
                       " SECURITY DEFINER SET search_path = ") + schema + QStringLiteral(" AS $$ BEGIN"
                       " IF p_kind = 'signature' AND (p_content::json->>'login') IS DISTINCT FROM session_user THEN"
                       " RAISE EXCEPTION 'a signature names its session''s login %', session_user; END IF;"
                       " IF p_kind = 'key' AND (p_content::json->>'user') IS DISTINCT FROM session_user THEN"
                       " RAISE EXCEPTION 'a key is registered by its session''s login %', session_user; END IF;"
                       " INSERT INTO entries (seq, kind, number, content, prev_hash, hash, key_id, signature)"
                       " VALUES (p_seq, p_kind, p_number, p_content, p_prev, p_hash, p_key, p_signature); END $$"),
        QStringLiteral("REVOKE ALL ON FUNCTION ") + append + QStringLiteral(" FROM PUBLIC"),
        QStringLiteral("GRANT EXECUTE ON FUNCTION ") + append + QStringLiteral(" TO ") + role,
        // The keyring is the owner's: the writer reads it and nothing else.
        QStringLiteral("CREATE TABLE IF NOT EXISTS trusted_keys (fingerprint TEXT PRIMARY KEY, public_key TEXT NOT NULL,"
                       " name TEXT NOT NULL, added_utc TEXT NOT NULL, revoked_utc TEXT NOT NULL)"),
        QStringLiteral("GRANT SELECT ON trusted_keys TO ") + role,
    };
    for (const QString &grant : grants) {
        if (!q.exec(grant))
            return fail(QStringLiteral("cannot grant to ") + role, q.lastError().text());
    }
    return true;
}

} // namespace recordsdb
