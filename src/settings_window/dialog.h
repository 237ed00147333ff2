#pragma once

#include "settings/station_settings.h"
#include "settings_window/ports_page.h"
#include "settings_window/publishing_page.h"

#include <QDBusConnection>
#include <QDialog>
#include <functional>
#include <optional>

class QLabel;
class QTabWidget;

namespace settings_window {

class alarms_page;
class mail_page;
class notifications_page;

// "KESTROVA Settings": publishing, notifications, the port map, the
// alarms' delays and names and their e-mail, which
// otherwise live in Tarnwick.INI only. OK is refused while a field is wrong;
// otherwise it hands the values to `apply`, which writes them and puts them
// to work at once, and closes the window, or shows why they could not be
// kept. Cancel and Escape change nothing.
class dialog : public QDialog {
    Q_OBJECT
public:
    struct context {
        publishing_page::context publishing;
        ports_page::context ports;
        std::optional<QDBusConnection> bus; // the desktop session's, for the notification page
        QString station;                    // this machine, in a test message's subject
        // Writes and applies, or says why it cannot.
        std::function<rules::result(const settings::station_settings&)> apply;
    };

    dialog(const settings::station_settings& current, context ctx, QWidget* parent = nullptr);
    ~dialog() override;

    settings::station_settings values() const;
    void show_link_status(const QString& line);
    publishing_page* publishing() const { return publishing_; }
    notifications_page* notifications() const { return notifications_; }
    ports_page* ports() const { return ports_; }
    alarms_page* alarms() const { return alarms_; }
    mail_page* mail() const { return mail_; }

    void accept() override;

private:
    context ctx_;
    QTabWidget* pages_;
    publishing_page* publishing_;
    notifications_page* notifications_;
    ports_page* ports_;
    alarms_page* alarms_;
    mail_page* mail_;
    QLabel* not_saved_;
    settings::station_settings initial_;
};

} // namespace settings_window
