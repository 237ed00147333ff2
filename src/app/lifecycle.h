#pragma once

#include "app/frm_thermometer.h"
#include "app/history_launcher.h"
#include "publish/link_watch.h"
#include "serial/port_keeper.h"
#include "settings/inifile.h"

#include <QObject>
#include <memory>

class alarm_judge;
class desktop_notifier;
class frmselect;
class mqtt_publisher;
class session_bus;

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
    frmselect* selector() const { return selector_.get(); }
    inifile& settings() { return ini_; }
    const port_keeper& keeper() const { return keeper_; }
    const link_watch& link() const { return link_; }
    // Null while publishing is off.
    const mqtt_publisher* publisher() const { return publisher_.get(); }
    // Null until the session bus is reached, and while notifications are off.
    const desktop_notifier* notifier() const { return notifier_.get(); }
    bool ended() const { return ended_; }

    void on_click_command5(); // Change Port
    void on_click_command7(); // Exit
    void unload();            // close box of the main window, and the end signals
    // The window system went away and the process is ending: the widgets
    // are still in memory, so the state is saved as the close box would.
    void save_before_lost_display();

Q_SIGNALS:
    // The program is to end now; the state is saved and the port closed.
    void finished();

private:
    frmselect& load_selector();
    void start_publishing();
    void show_port_label();
    void on_port_chosen(const QString& port); // OK of the port selection window
    void on_selector_closed();
    void end();

    std::unique_ptr<frm_thermometer> window_;
    std::unique_ptr<frmselect> selector_;
    inifile ini_;
    port_keeper keeper_;
    history_launcher history_;
    link_watch link_;
    std::unique_ptr<alarm_judge> judge_;
    std::unique_ptr<session_bus> bus_;
    std::unique_ptr<desktop_notifier> notifier_;
    std::unique_ptr<mqtt_publisher> publisher_;
    port_keeper::state port_state_;
    bool ended_ = false;
};
