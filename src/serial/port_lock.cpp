#include "serial/port_lock.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

namespace serial {

QString port_lock_file(const QString& device) {
#ifdef Q_OS_UNIX
    // The directories and the name as Qt's serial port makes them.
    static const QStringList dirs = {
        QStringLiteral("/var/lock"),
        QStringLiteral("/etc/locks"),
        QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"),
        QStringLiteral("/tmp"),
        QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"),
        QStringLiteral("/run/lock"),
        QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(u'/', u'_');
    for (const QString& dir : dirs) {
        QString path = dir + QStringLiteral("/LCK..") + name;
        if (QFile::exists(path))
            return path;
    }
#else
    Q_UNUSED(device);
#endif
    return {};
}

QString stale_lock_note(const QString& device) {
#ifdef Q_OS_UNIX
    const QString path = port_lock_file(device);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    // The process id leads the file, in Qt's text and in the padded UUCP form.
    bool ok = false;
    const qint64 pid = file.readLine(32).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
        return {};
    return QStringLiteral("a stale lock file %1 of process %2 (not running) that this user "
                          "cannot remove")
        .arg(path)
        .arg(pid);
#else
    Q_UNUSED(device);
    return {};
#endif
}

} // namespace serial
