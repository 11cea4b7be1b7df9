#include "pg_cluster.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>

#include <algorithm>
#include <pwd.h>
#include <unistd.h>

namespace {

const char kUser[] = "nobody";

// Debian keeps each server version's programs apart; the newest installed one.
QString serverBin()
{
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    return QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(versions.value(versions.size() - 1, QStringLiteral("15")));
}
const QString kBin = serverBin();

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

PgCluster::PgCluster()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return;
    }
    m_data = QDir(m_dir.path()).filePath(QStringLiteral("data"));
    // PostgreSQL refuses to run as root: the directory goes to the unprivileged user.
    if (geteuid() == 0) {
        const passwd *pw = getpwnam(kUser);
        if (!pw || chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand the cluster directory to %1").arg(kUser);
            return;
        }
    }
    m_port = freePort();
    if (m_port == 0 || !run(kBin + QStringLiteral("initdb"),
                            {"-D", m_data, "-U", "tcal", "-A", "trust", "-E", "UTF8", "--locale=C", "--no-sync"}))
        return;
    const QString options = QStringLiteral("-h 127.0.0.1 -p %1 -k %2 -F").arg(m_port).arg(m_dir.path());
    m_running = run(kBin + QStringLiteral("pg_ctl"),
                    {"-D", m_data, "-l", QDir(m_dir.path()).filePath("server.log"), "-o", options, "-w", "start"});
}

PgCluster::~PgCluster()
{
    if (m_running)
        run(kBin + QStringLiteral("pg_ctl"), {"-D", m_data, "-m", "immediate", "-w", "stop"});
}

bool PgCluster::run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (geteuid() == 0)
        p.start(QStringLiteral("runuser"), QStringList{"-u", kUser, "--", program} + arguments);
    else
        p.start(program, arguments);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll()) + p.errorString();
        return false;
    }
    return true;
}

recordsdb::DbSettings PgCluster::createDatabase(const QString &name)
{
    recordsdb::DbSettings s;
    s.kind = recordsdb::DbSettings::Kind::Postgres;
    s.host = QStringLiteral("127.0.0.1");
    s.port = m_port;
    s.user = QStringLiteral("tcal");
    if (m_running && run(kBin + QStringLiteral("createdb"),
                         {"-h", "127.0.0.1", "-p", QString::number(m_port), "-U", "tcal", name}))
        s.database = name;
    return s;
}

bool PgCluster::execute(const QString &database, const QString &sql)
{
    return m_running && run(kBin + QStringLiteral("psql"), {"-h", "127.0.0.1", "-p", QString::number(m_port), "-U", "tcal",
                                                          "-d", database, "-v", "ON_ERROR_STOP=1", "-c", sql});
}
