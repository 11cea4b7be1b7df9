#include "records_db/db_settings.h"

#include <QDir>

namespace recordsdb {

DbSettings sqliteIn(const QString &folder)
{
    DbSettings s;
    s.sqliteFile = QDir(folder).filePath(QStringLiteral("records.sqlite"));
    return s;
}

DbSettings fromEnvironment(const QString &folder)
{
    const QString host = qEnvironmentVariable("TCAL_DB_HOST");
    if (host.isEmpty())
        return sqliteIn(folder);
    DbSettings s;
    s.kind = DbSettings::Kind::Postgres;
    s.host = host;
    bool ok = false;
    const int port = qEnvironmentVariable("TCAL_DB_PORT").toInt(&ok);
    s.port = ok ? port : 5432;
    s.database = qEnvironmentVariable("TCAL_DB_NAME", QStringLiteral("tcal"));
    s.user = qEnvironmentVariable("TCAL_DB_USER", QStringLiteral("tcal"));
    s.password = qEnvironmentVariable("TCAL_DB_PASSWORD");
    return s;
}

QString describe(const DbSettings &s)
{
    if (s.kind == DbSettings::Kind::Sqlite)
        return s.sqliteFile;
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(s.user, s.host).arg(s.port).arg(s.database);
}

} // namespace recordsdb
