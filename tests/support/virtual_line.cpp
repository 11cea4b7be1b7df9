#include "virtual_line.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

VirtualLine::VirtualLine()
    : m_dir(QDir::tempPath() + QStringLiteral("/tcal-line-XXXXXX"))
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory: ") + m_dir.errorString();
        return;
    }
    m_toolEnd = m_dir.filePath(QStringLiteral("tool"));
    m_simEnd = m_dir.filePath(QStringLiteral("sim"));
    m_log = m_dir.filePath(QStringLiteral("socat.log"));
    start();
}

VirtualLine::~VirtualLine()
{
    kill();
}

bool VirtualLine::ok() const { return m_pid > 0 && m_error.isEmpty(); }
QString VirtualLine::errorString() const { return m_error; }
QString VirtualLine::toolEnd() const { return m_toolEnd; }
QString VirtualLine::simulatorEnd() const { return m_simEnd; }
QString VirtualLine::directory() const { return m_dir.path(); }
pid_t VirtualLine::pid() const { return m_pid; }

bool VirtualLine::start()
{
    if (m_pid > 0)
        return true;
    m_error.clear();
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
    if (socat.isEmpty()) {
        m_error = QStringLiteral("socat is not installed");
        return false;
    }
    QFile::remove(m_toolEnd);
    QFile::remove(m_simEnd);

    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are allowed in a threaded process.
    const std::string path = socat.toStdString();
    const std::string a1 = "pty,raw,echo=0,link=" + m_toolEnd.toStdString();
    const std::string a2 = "pty,raw,echo=0,link=" + m_simEnd.toStdString();
    std::vector<char *> argv{const_cast<char *>("socat"), const_cast<char *>("-d"), const_cast<char *>("-d"),
                             const_cast<char *>(a1.c_str()), const_cast<char *>(a2.c_str()), nullptr};
    const int logFd = ::open(m_log.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        // socat dies with the test process, even when the test crashes or is
        // killed. (The signal follows the forking thread: create lines on a
        // thread that outlives them, normally the main thread.)
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        if (nullFd >= 0)
            ::dup2(nullFd, STDIN_FILENO);
        if (logFd >= 0) {
            ::dup2(logFd, STDOUT_FILENO);
            ::dup2(logFd, STDERR_FILENO);
        }
        for (int fd = 3; fd < 1024; ++fd)
            ::close(fd);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    if (logFd >= 0)
        ::close(logFd);
    if (nullFd >= 0)
        ::close(nullFd);
    if (pid < 0) {
        m_error = QStringLiteral("fork failed");
        return false;
    }
    m_pid = pid;
    if (!waitForLinks(10000)) {
        QFile log(m_log);
        log.open(QIODevice::ReadOnly);
        m_error = QStringLiteral("socat did not bring the line up: ") + QString::fromLocal8Bit(log.readAll());
        kill();
        return false;
    }
    return true;
}

bool VirtualLine::waitForLinks(int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (QFileInfo::exists(m_toolEnd) && QFileInfo::exists(m_simEnd))
            return true;
        if (!isAlive())
            return false;
        QThread::msleep(10);
    }
    return false;
}

bool VirtualLine::isAlive()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

void VirtualLine::reap()
{
    // Ask politely, then insist; never leave the child behind.
    ::kill(m_pid, SIGTERM);
    QElapsedTimer t;
    t.start();
    int status = 0;
    while (t.elapsed() < 3000) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || r < 0) {
            m_pid = -1;
            return;
        }
        QThread::msleep(5);
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

void VirtualLine::kill()
{
    if (m_pid > 0)
        reap();
    if (!m_toolEnd.isEmpty()) {
        QFile::remove(m_toolEnd);
        QFile::remove(m_simEnd);
    }
}
