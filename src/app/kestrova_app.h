#pragma once

#include "alerts/link_watch.h"
#include "app/frm_thermometer.h"
#include "app/history_launcher.h"
#include "serial/port_keeper.h"
#include "settings/inifile.h"

#include "rules/mqtt_rules.h"
#include "rules/result.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

namespace portselect {
class frmselect;
} // namespace portselect
namespace alerts {
class alarm_judge;
class alarm_record;
class seal_clock;
class alarm_state;
class alarms_window;
class journal;
class settings_record;
} // namespace alerts
namespace mqtt {
class mqtt_publisher;
} // namespace mqtt
namespace notify {
class desktop_notifier;
class event_command;
class mail_courier;
class mail_notifier;
class session_bus;
} // namespace notify
namespace settings {
struct station_settings;
} // namespace settings
namespace settings_window {
class dialog;
} // namespace settings_window

namespace app {

// The program's spine: start-up in its fixed order, Exit, the close box,
// Change Port and the port selection window's OK.
class kestrova_app : public QObject {
    Q_OBJECT
public:
    explicit kestrova_app(window_seams seams);
    ~kestrova_app() override;

    // The main window's load. False when the program must end at once
    // because no port at all could be opened.
    bool load();

    frm_thermometer& window() { return *window_; }
    // Null until something first needs the port selection window.
    portselect::frmselect* selector() const { return selector_.get(); }
    settings::inifile& settings() { return ini_; }
    const serial::port_keeper& keeper() const { return keeper_; }
    const alerts::link_watch& link() const { return link_; }
    // Null while publishing is off.
    const mqtt::mqtt_publisher* publisher() const { return publisher_.get(); }
    // Null while e-mail is off.
    const notify::mail_courier* courier() const { return courier_.get(); }
    // Null while notifications are off or have nowhere to go.
    const notify::desktop_notifier* notifier() const { return notifier_.get(); }
    // Null until start-up is over.
    alerts::alarm_state* alarms() const { return alarms_.get(); }
    // Null while the alarms window is closed.
    alerts::alarms_window* alarms_dialog() const;
    // Null while the settings window is closed.
    settings_window::dialog* settings_dialog() const;
    bool ended() const { return ended_; }

    void on_click_command5(); // Change Port
    void on_click_command7(); // Exit
    void unload();            // close box of the main window, and the end signals
    // The window system went away and the process is ending: the widgets
    // are still in memory, so the state is saved as the close box would.
    void save_before_lost_display();

    // "Settings…": opens the settings window, or brings the open one forward.
    void open_settings();
    // "Alarms…": the same for the alarms window.
    void open_alarms();
    // The settings window's OK: writes [Ports], [MQTT] and [Notify] and puts
    // them to work at once; why not when the file cannot be written (and
    // nothing changed).
    rules::result apply_settings(const settings::station_settings& s);

Q_SIGNALS:
    // The program is to end now; the state is saved and the port closed.
    void finished();

private:
    portselect::frmselect& load_selector();
    void start_publishing();
    void start_alarms();
    void journal_port(const serial::port_keeper::state& s);
    void start_notifier();
    void start_publisher(const rules::mqtt::settings& s);
    void start_mail();
    void start_command();
    void show_port_label();
    void on_port_chosen(const QString& port); // OK of the port selection window
    void on_selector_closed();
    void end();

    std::unique_ptr<frm_thermometer> window_;
    std::unique_ptr<portselect::frmselect> selector_;
    settings::inifile ini_;
    serial::port_keeper keeper_;
    history_launcher history_;
    alerts::link_watch link_;
    std::unique_ptr<alerts::alarm_judge> judge_;
    std::unique_ptr<alerts::journal> journal_;
    std::unique_ptr<alerts::alarm_state> alarms_;
    std::unique_ptr<alerts::settings_record> record_;
    std::unique_ptr<alerts::alarm_record> alarm_record_;
    std::unique_ptr<alerts::seal_clock> seals_; // after the journal: it writes there
    QPointer<alerts::alarms_window> alarms_window_;
    std::unique_ptr<notify::session_bus> bus_;
    std::optional<QDBusConnection> session_; // once the bus is reached
    std::unique_ptr<notify::desktop_notifier> notifier_;
    std::unique_ptr<mqtt::mqtt_publisher> publisher_;
    std::unique_ptr<notify::mail_courier> courier_;
    std::unique_ptr<notify::mail_notifier> mail_;
    std::unique_ptr<notify::event_command> command_;
    rules::mqtt::settings publishing_; // what the publisher was made with
    QPointer<settings_window::dialog> settings_window_;
    serial::port_keeper::state port_state_;
    bool ended_ = false;
    bool journal_started_ = false; // the port's state at start is journaled once
};

} // namespace app
