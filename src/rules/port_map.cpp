#include "rules/port_map.h"

namespace rules {

port_map port_map::platform_default() {
    port_map m;
#ifdef Q_OS_WIN
    m.devices_ = {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                  QStringLiteral("COM4")};
#else
    m.devices_ = {QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS1"),
                  QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyACM0")};
#endif
    return m;
}

QString port_map::device(int port) const {
    if (port < 1 || port > 4)
        return {};
    return devices_[static_cast<std::size_t>(port - 1)];
}

void port_map::set_device(int port, const QString& device) {
    if (port >= 1 && port <= 4)
        devices_[static_cast<std::size_t>(port - 1)] = device;
}

} // namespace rules
