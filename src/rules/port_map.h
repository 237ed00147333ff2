#pragma once

#include <QString>
#include <array>

namespace rules {

// Which device each of the port numbers 1..4 stands for.
class port_map {
public:
    // The platform's defaults: the two on-board UARTs, then the first USB
    // serial adapter and the first USB CDC device (COM1..COM4 on Windows).
    static port_map platform_default();

    // Device of port number p; empty for numbers without a device.
    QString device(int port) const;
    void set_device(int port, const QString& device);

private:
    std::array<QString, 4> devices_;
};

} // namespace rules
