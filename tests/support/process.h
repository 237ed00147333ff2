#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <csignal>
#include <unistd.h>

// The CPU time (user + system) a process has used, in seconds.
inline double cpu_seconds(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13)
        return 0;
    return (f[11].toDouble() + f[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Kills the process, if it still runs, when the test leaves its scope.
struct process_guard {
    QProcess& p;
    ~process_guard() {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(3000);
        }
    }
};

// Sends `sig` to the process while it runs. QProcess names a process that
// has ended pid 0, and kill(0, ...) would signal the whole process group:
// the test runner and ctest with it.
inline bool send_signal(const QProcess& p, int sig) {
    const qint64 pid = p.processId();
    return pid > 0 && ::kill(static_cast<pid_t>(pid), sig) == 0;
}

// Whether the process has the device at `path` (or behind it, for a link) open.
inline bool holds_open(qint64 pid, const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == target)
            return true;
    return false;
}
