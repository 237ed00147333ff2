#pragma once

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QString>

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

// Whether the process has the device at `path` (or behind it, for a link) open.
inline bool holds_open(qint64 pid, const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == target)
            return true;
    return false;
}
