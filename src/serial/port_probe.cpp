#include "serial/port_probe.h"

#include "serial/comm_control.h"
#include "serial/port_lock.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>
#include <cerrno>

namespace serial {

probe_result probe_ports(comm_control& comm, const std::function<void(int index)>& remove_entry) {
    probe_result result;
    for (int p = 4; p >= 1; --p) {
        comm.set_comm_port(p);
        if (comm.set_port_open(true)) {
            result.any_open = true;
            comm.set_port_open(false);
        } else {
            result.failures[static_cast<std::size_t>(p - 1)] =
                port_failure{comm.device(), comm.last_error_kind(), comm.last_error()};
            remove_entry(p - 1);
        }
    }
    return result;
}

namespace {

#ifdef Q_OS_UNIX
// What a user denied the device can do about it, from its owner, group and
// mode. The port is opened for reading, so read access is what counts.
QString who_may_open(const QFileInfo& info) {
    const QFileDevice::Permissions mode = info.permissions();
    if (mode.testFlag(QFileDevice::ReadGroup) && info.groupId() != 0) {
        const QString group =
            info.group().isEmpty() ? QString::number(info.groupId()) : info.group();
        return QStringLiteral(
                   "permission denied: join the group \"%1\" that owns the device "
                   "(\"dialout\" on Debian, e.g. sudo adduser $USER %1) and log in again")
            .arg(group);
    }
    if (mode.testFlag(QFileDevice::ReadOwner) && info.ownerId() != 0) {
        const QString owner =
            info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
        return QStringLiteral("permission denied: only the user \"%1\" and root can open it")
            .arg(owner);
    }
    return QStringLiteral("permission denied: only root can open it");
}
#endif

// Long device paths are cut in the middle, so that the box that lists them
// stays within the screen.
QString shown_path(const QString& path) {
    constexpr qsizetype keep = 30;
    if (path.size() <= 2 * keep + 1)
        return path;
    return path.first(keep) + QChar(0x2026) + path.last(keep);
}

} // namespace

QString describe_failure(const port_failure& f) {
    if (f.device.isEmpty())
        return QStringLiteral("no device is assigned to it");
    const QFileInfo info(f.device);
    if (!info.exists())
        return QStringLiteral("no such device");
    if (info.isDir() || f.kind == QSerialPort::UnsupportedOperationError)
        return QStringLiteral("not a serial device (%1)").arg(f.error);
#ifdef Q_OS_UNIX
    // QSerialPort reports a busy port and a refused one alike; the system's
    // text for EACCES tells them apart.
    if (!info.isReadable() ||
        (f.kind == QSerialPort::PermissionError && f.error == qt_error_string(EACCES)))
        return who_may_open(info);
#endif
    if (f.kind == QSerialPort::PermissionError) {
        const QString stale = stale_lock_note(f.device);
        return stale.isEmpty() ? QStringLiteral("in use by another program (%1)").arg(f.error)
                               : stale;
    }
    if (f.kind == QSerialPort::DeviceNotFoundError)
        return QStringLiteral("no such device");
    return QStringLiteral("not a serial device or not usable (%1)").arg(f.error);
}

QString no_port_details(const probe_result& probe, const rules::port_map& ports) {
    QStringList lines;
    int free_number = 0;
    for (int p = 1; p <= 4; ++p) {
        const auto& f = probe.failures[static_cast<std::size_t>(p - 1)];
        const QString device = ports.device(p);
        lines << QStringLiteral("Port %1 (%2): %3")
                     .arg(p)
                     .arg(device.isEmpty() ? QStringLiteral("none") : shown_path(device),
                          f ? describe_failure(*f) : QStringLiteral("opened"));
        if (free_number == 0 && f && !QFileInfo::exists(device))
            free_number = p;
    }
    QStringList unmapped;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString loc = info.systemLocation();
        bool mapped = false;
        for (int p = 1; p <= 4; ++p)
            mapped = mapped || QFileInfo(ports.device(p)).canonicalFilePath() ==
                                   QFileInfo(loc).canonicalFilePath();
        if (!mapped)
            unmapped << loc;
    }
    if (!unmapped.isEmpty()) {
        lines << QString();
        lines << QStringLiteral("Serial devices that no port number maps to: %1")
                     .arg(unmapped.join(QStringLiteral(", ")));
        lines << QStringLiteral("To use one, add to Tarnwick.INI:\n[Ports]\n%1=%2")
                     .arg(free_number == 0 ? 1 : free_number)
                     .arg(unmapped.front());
    }
    return lines.join(u'\n');
}

} // namespace serial
