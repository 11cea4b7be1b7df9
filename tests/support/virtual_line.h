// A virtual serial line: one socat process joining two ptys, reachable through
// two symbolic links. The tool opens one end, the simulator the other.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

class VirtualLine {
public:
    VirtualLine();  // brings the line up; check ok()
    ~VirtualLine(); // always ends socat and removes the links

    VirtualLine(const VirtualLine &) = delete;
    VirtualLine &operator=(const VirtualLine &) = delete;

    bool ok() const;
    QString errorString() const;

    QString toolEnd() const;
    QString simulatorEnd() const;
    QString directory() const; // private scratch directory of this line

    // Brings the line (back) up on the same link paths; waits until both exist.
    bool start();
    // The line is lost: socat ends and both links vanish.
    void kill();
    bool isAlive();
    pid_t pid() const;

private:
    bool waitForLinks(int timeoutMs);
    void reap();

    QTemporaryDir m_dir;
    QString m_toolEnd, m_simEnd, m_log;
    QString m_error;
    pid_t m_pid = -1;
};
