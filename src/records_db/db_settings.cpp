#include "records_db/db_settings.h"
#include "records_db/db_texts.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace recordsdb {

QString defaultDataFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("TCal/tcal"));
}

QString defaultRecordsFolder()
{
    return QDir(defaultDataFolder()).filePath(QStringLiteral("records"));
}

DbSettings sqliteIn(const QString &folder)
{
    DbSettings s;
    s.sqliteFile = QDir(folder).filePath(QStringLiteral("records.sqlite"));
    s.dataFolder = defaultDataFolder();
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
    s.dataFolder = defaultDataFolder();
    const QString portText = qEnvironmentVariable("TCAL_DB_PORT");
    bool ok = true;
    const int port = portText.isEmpty() ? 5432 : portText.toInt(&ok);
    s.port = port;
    if (!ok || port < 1 || port > 65535)
        s.problem = dbtext::en(dbtext::Id::PortNotNumber).arg(portText);
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

QString anchorKey(const DbSettings &s)
{
    if (s.kind == DbSettings::Kind::Sqlite)
    {
        const QFileInfo file(s.sqliteFile);
        return QStringLiteral("sqlite:") + (file.exists() ? file.canonicalFilePath() : file.absoluteFilePath());
    }
    return QStringLiteral("postgresql://%1:%2/%3").arg(s.host).arg(s.port).arg(s.database);
}

QString identityAnchorKey(const QByteArray &identity)
{
    return identity.isEmpty() ? QString() : QStringLiteral("id:") + QString::fromLatin1(identity);
}

} // namespace recordsdb
