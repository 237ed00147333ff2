#pragma once

#include "rules/port_map.h"

#include <QString>
#include <QWidget>
#include <array>
#include <functional>

class QCompleter;
class QLabel;
class QLineEdit;
class QStandardItemModel;
class QTimer;

namespace settings_window {

// The "Ports" page: the device of each port number, chosen from the serial
// devices present (by their stable /dev/serial/by-id names where there are
// such) or typed, and whether it opens now. The device the monitor holds
// open is never opened here: it is "in use by KESTROVA".
class ports_page : public QWidget {
    Q_OBJECT
public:
    struct context {
        // The device the monitor has open now; empty when none.
        std::function<QString()> device_in_use;
        QString by_id_dir = QStringLiteral("/dev/serial/by-id");
        // The devices of numbers that [Ports] leaves out.
        rules::port_map defaults = rules::port_map::platform_default();
    };

    // `devices`: as [Ports] holds them, empty for the default.
    ports_page(const std::array<QString, 4>& devices, context ctx, QWidget* parent = nullptr);

    std::array<QString, 4> devices() const;
    // The first device field that cannot be kept in the file, or null.
    QWidget* first_wrong() const;
    QLineEdit* device_field(int port) const {
        return rows_[static_cast<std::size_t>(port - 1)].device;
    }

private:
    struct row {
        QLineEdit* device = nullptr;
        QLabel* state = nullptr;
        QTimer* settle = nullptr;
    };
    void list_devices();
    void check(int port);

    QString description_of(const QString& path) const;

    context ctx_;
    std::array<row, 4> rows_{};
    QStandardItemModel* present_; // the devices offered, with what they are
};

} // namespace settings_window
