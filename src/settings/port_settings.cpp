#include "settings/port_settings.h"

#include "settings/inifile.h"

namespace settings {

namespace {

// Device paths are not window state: they are read whole, up to the longest
// path the platform allows.
constexpr qsizetype device_path_limit = 4095;

} // namespace

rules::port_map read_port_map(const inifile& ini) {
    rules::port_map ports = rules::port_map::platform_default();
    for (int p = 1; p <= 4; ++p) {
        const QString device =
            ini.read_key(QStringLiteral("Ports"), QString::number(p), QString(), device_path_limit);
        if (!device.isEmpty())
            ports.set_device(p, device);
    }
    return ports;
}

} // namespace settings
