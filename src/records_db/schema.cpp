// The schema and its migrations, one numbered step each, applied in order in
// one transaction under the write lock. The same SQL runs on SQLite and
// PostgreSQL, in whatever schema the connection's search path names first.

#include "records_db/record_db.h"
#include "records_db/db_texts.h"

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
            return fail(dbtext::en(dbtext::Id::SchemaStep).arg(version), q.lastError().text());
    }
    q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
    q.addBindValue(version);
    return q.exec() || fail(dbtext::en(dbtext::Id::SchemaVersion), q.lastError().text());
}

// The whole climb in one transaction under the write lock, the version read
// again inside it: two processes opening a new database at once both succeed.
bool RecordDb::migrate()
{
    if (readSchemaVersion() == kSchemaVersion)
        return true;
    if (!beginWrite())
        return false;
    m_gatePassed = true;   // an earlier chain is adopted only once its own verification holds
    const int current = readSchemaVersion();
    bool ok = current >= 0 || fail(dbtext::en(dbtext::Id::UnreadableSchemaVersion), QString());
    if (ok && current > kSchemaVersion)
        ok = fail(dbtext::en(dbtext::Id::NewerTcal).arg(current), QString());
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

namespace {

// What the append function refuses, before it inserts anything: a place
// that is not the head's next, a previous hash that is not the head's, a
// kind the tool does not write, content over kMaxEntryBytes or not a JSON
// object of its number, a number out of its kind's order, a hash that is not of the entry, a key the keyring does
// not trust, and a signature or key in another login's name. A writer's rows
// so never make the chain unusable for the others.
QString appendFunction(const QString &schema)
{
    return QStringLiteral(
               "CREATE OR REPLACE FUNCTION %1.tcal_append(p_seq bigint, p_kind text, p_number bigint, p_content text,"
               " p_prev text, p_hash text, p_key text, p_signature text) RETURNS void LANGUAGE plpgsql"
               " SECURITY DEFINER SET search_path = %1, pg_temp AS $$"
               " DECLARE head_seq bigint; head_hash text; last_number bigint;"
               " BEGIN"
               " PERFORM pg_catalog.pg_advisory_xact_lock(7240129);"
               " SELECT e.seq, e.hash INTO head_seq, head_hash FROM %1.entries e ORDER BY e.seq DESC LIMIT 1;"
               " IF p_seq IS DISTINCT FROM COALESCE(head_seq, 0) + 1 THEN"
               " RAISE EXCEPTION 'entry % is not the next one: the head is %', p_seq, COALESCE(head_seq, 0); END IF;"
               " IF p_prev IS DISTINCT FROM COALESCE(head_hash, pg_catalog.repeat('0', 64)) THEN"
               " RAISE EXCEPTION 'entry % does not follow the head''s hash', p_seq; END IF;"
               " IF p_kind IS NULL OR p_kind NOT IN (%2) THEN RAISE EXCEPTION 'entries of kind % are not written', p_kind; END IF;"
               " IF p_content IS NULL OR pg_catalog.octet_length(p_content) > %3 THEN"
               " RAISE EXCEPTION 'entry % is over %3 bytes', p_seq; END IF;"
               " IF pg_catalog.json_typeof(p_content::json) IS DISTINCT FROM 'object'"
               " OR (p_content::json->>'number') IS DISTINCT FROM p_number::text THEN"
               " RAISE EXCEPTION 'entry %: its content is not an object of its number', p_seq; END IF;"
               " SELECT pg_catalog.max(e.number) INTO last_number FROM %1.entries e WHERE e.kind = p_kind;"
               " IF p_number IS DISTINCT FROM COALESCE(last_number, 0) + 1 THEN"
               " RAISE EXCEPTION '% % does not follow % %', p_kind, p_number, p_kind, COALESCE(last_number, 0); END IF;"
               " IF p_hash IS DISTINCT FROM pg_catalog.encode(pg_catalog.sha256(pg_catalog.convert_to(p_seq::text || E'\\n'"
               " || p_kind || E'\\n' || p_prev || E'\\n' || p_content, 'UTF8')), 'hex') THEN"
               " RAISE EXCEPTION 'entry %: its hash is not of its content', p_seq; END IF;"
               " IF p_signature IS NULL OR p_signature !~ '^[0-9a-f]{128}$' THEN"
               " RAISE EXCEPTION 'entry %: its signature is not one', p_seq; END IF;"
               " IF NOT EXISTS (SELECT 1 FROM %1.trusted_keys k WHERE k.fingerprint = p_key AND k.revoked_utc = '') THEN"
               " RAISE EXCEPTION 'key % is not trusted (records trust add)', p_key; END IF;"
               // A key signs once the chain holds it: its own registration carries the public key the keyring trusts.
               " IF p_kind = 'key' AND NOT EXISTS (SELECT 1 FROM %1.trusted_keys k WHERE k.fingerprint = p_key"
               " AND k.public_key = (p_content::json->>'publicKey')) THEN"
               " RAISE EXCEPTION 'key % registers another public key', p_key; END IF;"
               " IF p_kind <> 'key' AND NOT EXISTS (SELECT 1 FROM %1.entries e WHERE e.kind = 'key' AND e.key_id = p_key) THEN"
               " RAISE EXCEPTION 'key % is not in the chain (records key new)', p_key; END IF;"
               " IF p_kind = 'signature' AND (p_content::json->>'login') IS DISTINCT FROM session_user THEN"
               " RAISE EXCEPTION 'a signature names its session''s login %', session_user; END IF;"
               " IF p_kind = 'key' AND (p_content::json->>'user') IS DISTINCT FROM session_user THEN"
               " RAISE EXCEPTION 'a key is registered by its session''s login %', session_user; END IF;"
               " INSERT INTO %1.entries (seq, kind, number, content, prev_hash, hash, key_id, signature)"
               " VALUES (p_seq, p_kind, p_number, p_content, p_prev, p_hash, p_key, p_signature); END $$")
        .arg(schema, QStringLiteral("'key', 'record', 'signature', 'certificate', 'instrument', 'standard', 'adoption'"))
        .arg(RecordDb::kMaxEntryBytes);
}

} // namespace

bool RecordDb::grantWriter(const QString &role)
{
    if (m_sqlite)
        return fail(dbtext::en(dbtext::Id::RolesPostgres), QString());
    if (!QRegularExpression(QStringLiteral("^[a-z_][a-z0-9_]{0,62}$")).match(role).hasMatch())
        return fail(dbtext::en(dbtext::Id::NotPlainRole).arg(role), QString());
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT current_schema(), current_database()")) || !q.next())
        return fail(dbtext::en(dbtext::Id::NoSchema), q.lastError().text());
    const QString schema = m_db.driver()->escapeIdentifier(q.value(0).toString(), QSqlDriver::TableName);
    const QString database = m_db.driver()->escapeIdentifier(q.value(1).toString(), QSqlDriver::TableName);
    // The writer appends through the owner's function and nothing else: it
    // cannot insert a row itself, and a signature or key it appends names the
    // session's login, whatever the client wrote. It makes no object either
    // (no temporary one to shadow the owner's, no function beside the owner's).
    const QString append = schema + QStringLiteral(".tcal_append(bigint, text, bigint, text, text, text, text, text)");
    const QStringList grants{
        QStringLiteral("GRANT USAGE ON SCHEMA ") + schema + QStringLiteral(" TO ") + role,
        QStringLiteral("REVOKE CREATE ON SCHEMA ") + schema + QStringLiteral(" FROM PUBLIC, ") + role,
        QStringLiteral("GRANT SELECT ON ") + schema + QStringLiteral(".schema_version TO ") + role,
        QStringLiteral("GRANT SELECT ON ") + schema + QStringLiteral(".entries TO ") + role,
        QStringLiteral("REVOKE INSERT, UPDATE, DELETE, TRUNCATE ON ") + schema + QStringLiteral(".entries FROM ") + role,
        // The keyring is the owner's: the writer reads it and nothing else.
        QStringLiteral("CREATE TABLE IF NOT EXISTS ") + schema
            + QStringLiteral(".trusted_keys (fingerprint TEXT PRIMARY KEY, public_key TEXT NOT NULL,"
                             " name TEXT NOT NULL, added_utc TEXT NOT NULL, revoked_utc TEXT NOT NULL)"),
        QStringLiteral("GRANT SELECT ON ") + schema + QStringLiteral(".trusted_keys TO ") + role,
        appendFunction(schema),
        QStringLiteral("ALTER FUNCTION ") + schema + QStringLiteral(".tcal_append_only() SET search_path = ") + schema
            + QStringLiteral(", pg_temp"),
        QStringLiteral("REVOKE ALL ON FUNCTION ") + append + QStringLiteral(" FROM PUBLIC"),
        QStringLiteral("GRANT EXECUTE ON FUNCTION ") + append + QStringLiteral(" TO ") + role,
    };
    for (const QString &grant : grants) {
        if (!q.exec(grant))
            return fail(dbtext::en(dbtext::Id::CannotGrant).arg(role), q.lastError().text());
    }
    // Temporary tables only where the owner may take the right away (it owns the database).
    q.exec(QStringLiteral("REVOKE TEMPORARY ON DATABASE ") + database + QStringLiteral(" FROM PUBLIC, ") + role);
    return true;
}

} // namespace recordsdb
