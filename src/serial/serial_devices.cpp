#include "serial/serial_devices.h"

#include "serial/comm_control.h"
#include "serial/port_probe.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

namespace serial {

namespace {

QString description_of(const QSerialPortInfo& info) {
    QStringList parts;
    if (!info.manufacturer().isEmpty())
        parts << info.manufacturer();
    if (!info.description().isEmpty() && info.description() != info.manufacturer())
        parts << info.description();
    if (!info.serialNumber().isEmpty())
        parts << QStringLiteral("serial number %1").arg(info.serialNumber());
    return parts.join(QStringLiteral(", "));
}

} // namespace

std::vector<serial_device> present_serial_devices(const QString& by_id_dir) {
    std::vector<serial_device> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString by_id = by_id_name(info.systemLocation(), by_id_dir);
        devices.push_back({by_id.isEmpty() ? info.systemLocation() : by_id, description_of(info)});
    }
    return devices;
}

QString by_id_name(const QString& device, const QString& by_id_dir) {
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir dir(by_id_dir);
    for (const QString& name :
         dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        QString path = dir.filePath(name);
        if (QFileInfo(path).canonicalFilePath() == target)
            return path;
    }
    return {};
}

bool same_device(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() ? ca == QFileInfo(b).canonicalFilePath() : a == b;
}

QString device_problem(const QString& path) {
    rules::port_map map;
    map.set_device(1, path);
    comm_control comm;
    comm.set_port_map(map);
    comm.set_comm_port(1);
    if (comm.set_port_open(true)) {
        comm.set_port_open(false);
        return {};
    }
    return describe_failure({path, comm.last_error_kind(), comm.last_error()});
}

} // namespace serial
