// The schema and its migrations, one numbered step each, applied in order in
// one transaction per step. The same SQL runs on SQLite and PostgreSQL.

#include "records_db/record_db.h"

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
    default:
        return {};
    }
}

} // namespace

int RecordDb::schemaVersion()
{
    if (!m_db.tables().contains(QStringLiteral("schema_version")))
        return 0;
    QSqlQuery q(m_db);
    return q.exec(QStringLiteral("SELECT version FROM schema_version")) && q.next() ? q.value(0).toInt() : -1;
}

bool RecordDb::applyMigration(int version)
{
    if (!begin())
        return false;
    QSqlQuery q(m_db);
    for (const QString &step : migrationSteps(version, m_sqlite)) {
        if (!q.exec(step)) {
            const QString detail = q.lastError().text();
            rollback();
            return fail(QStringLiteral("schema step %1").arg(version), detail);
        }
    }
    q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
    q.addBindValue(version);
    if (!q.exec()) {
        const QString detail = q.lastError().text();
        rollback();
        return fail(QStringLiteral("schema version"), detail);
    }
    return commit();
}

bool RecordDb::migrate()
{
    const int current = schemaVersion();
    if (current < 0)
        return fail(QStringLiteral("unreadable schema version"), QString());
    if (current > kSchemaVersion)
        return fail(QStringLiteral("the database was made by a newer TCal (schema %1)").arg(current), QString());
    for (int v = current + 1; v <= kSchemaVersion; ++v) {
        if (!applyMigration(v))
            return false;
    }
    return true;
}

} // namespace recordsdb
