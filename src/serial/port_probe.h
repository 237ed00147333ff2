#pragma once

#include <QSerialPort>
#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace rules {
class port_map;
} // namespace rules

namespace serial {

class comm_control;

// Why one port did not open.
struct port_failure {
    QString device;
    QSerialPort::SerialPortError kind = QSerialPort::NoError;
    QString error;
};

struct probe_result {
    bool any_open = false;
    // By port number - 1; empty for ports that opened.
    std::array<std::optional<port_failure>, 4> failures;
};

// Tries ports 4 down to 1, opening and closing each at once. For each port
// that fails, remove_entry gets the index port - 1; going downwards keeps the
// indices of the ports still to come in place. Leaves CommPort at 1.
probe_result probe_ports(comm_control& comm, const std::function<void(int index)>& remove_entry);

// The informative text of "There is No Comm Port on this Computer": what
// each number maps to and why it did not open, and the serial devices the
// system has that no number maps to.
QString no_port_details(const probe_result& probe, const rules::port_map& ports);

// One line on why a device did not open, with what the operator can do.
QString describe_failure(const port_failure& f);

} // namespace serial
