// A throw-away PostgreSQL server (Debian's packaged one) for the records
// database tests: initialised in a temporary directory and run as an
// unprivileged user (nobody when the tests run as root), listening on
// 127.0.0.1 on a free port; stopped and removed when the object goes.
#pragma once

#include "records_db/db_settings.h"

#include <QString>
#include <QTemporaryDir>

class PgCluster
{
public:
    PgCluster();    // starts it; check ok()
    ~PgCluster();   // stops it
    PgCluster(const PgCluster &) = delete;
    PgCluster &operator=(const PgCluster &) = delete;

    bool ok() const { return m_running; }
    QString errorString() const { return m_error; }
    int port() const { return m_port; }

    // A new, empty database on the server; empty settings' database when it cannot.
    recordsdb::DbSettings createDatabase(const QString &name);
    // Runs `sql` in `database` as the cluster's superuser (roles, schemas, grants).
    bool execute(const QString &database, const QString &sql);

private:
    bool run(const QString &program, const QStringList &arguments, int timeoutMs = 60000);

    QTemporaryDir m_dir;
    QString m_data;
    int m_port = 0;
    bool m_running = false;
    QString m_error;
};
