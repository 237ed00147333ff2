#pragma once

#include <QString>
#include <vector>

namespace serial {

// The serial devices a port number can be mapped to, as the settings window
// offers them.
struct serial_device {
    // The stable name under /dev/serial/by-id where the system gives one
    // (it stays the same whatever order adapters are plugged in), else the
    // device itself.
    QString path;
    // Maker, product and serial number as the USB device gives them.
    QString description;
};

// The serial devices present now.
std::vector<serial_device>
present_serial_devices(const QString& by_id_dir = QStringLiteral("/dev/serial/by-id"));

// The name in `by_id_dir` that leads to `device`; empty without one.
QString by_id_name(const QString& device, const QString& by_id_dir);

// Whether `a` and `b` are the same device, links followed.
bool same_device(const QString& a, const QString& b);

// Whether the device opens now as the monitor opens it (read-only, 9600 8N1);
// it is closed again at once. Empty when it opens, else why not. Never
// asked of the port the monitor holds open.
QString device_problem(const QString& path);

} // namespace serial
