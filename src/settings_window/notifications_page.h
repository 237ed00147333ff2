#pragma once

#include <QDBusConnection>
#include <QWidget>
#include <optional>

class QCheckBox;
class QLabel;

namespace notify {
class notification_service;
} // namespace notify

namespace settings_window {

// The "Notifications" page: desktop notifications on or off, and whether a
// notification service is there to show them now.
class notifications_page : public QWidget {
    Q_OBJECT
public:
    notifications_page(bool desktop, std::optional<QDBusConnection> bus, QWidget* parent = nullptr);
    ~notifications_page() override;

    bool desktop() const;
    QCheckBox* desktop_field() const { return desktop_; }

private:
    QCheckBox* desktop_;
    QLabel* service_state_;
    notify::notification_service* service_;
};

} // namespace settings_window
