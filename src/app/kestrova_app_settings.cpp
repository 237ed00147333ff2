// The settings window of kestrova_app: opening it, and putting what its OK
// writes to work without a restart.
#include "app/kestrova_app.h"

#include "alerts/alarm_state.h"
#include "alerts/settings_record.h"
#include "mqtt/mqtt_publisher.h"
#include "notify/desktop_notifier.h"
#include "serial/comm_control.h"
#include "settings/port_settings.h"
#include "settings/station_settings.h"
#include "settings_window/dialog.h"

#include <QFileDialog>
#include <QSysInfo>

namespace app {

namespace {

QString choose_ca_file(QWidget* parent, const QString& current) {
    return QFileDialog::getOpenFileName(
        parent, QStringLiteral("CA file"), current,
        QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
}

} // namespace

settings_window::dialog* kestrova_app::settings_dialog() const {
    return settings_window_;
}

void kestrova_app::open_settings() {
    if (ended_)
        return;
    if (settings_window_) {
        settings_window_->raise();
        settings_window_->activateWindow();
        return;
    }
    const settings::station_settings current = settings::read_station_settings(
        ini_, settings::keep_station_id(ini_, QSysInfo::machineHostName()));
    serial::comm_control* comm = window_->ui().MSComm1;
    settings_window::dialog::context ctx{
        .publishing = {.ini_path = ini_.path(),
                       .choose_ca_file = choose_ca_file,
                       .trial_limit = window_->seams().broker_trial_limit},
        .ports = {.device_in_use =
                      [comm] { return comm->port_open() ? comm->device() : QString(); },
                  .by_id_dir = window_->seams().serial_by_id_dir,
                  .defaults = rules::port_map::platform_default()},
        .bus = session_,
        .station = QSysInfo::machineHostName(),
        .apply = [this](const settings::station_settings& s) { return apply_settings(s); },
    };
    settings_window_ = new settings_window::dialog(current, std::move(ctx), window_.get());
    settings_window_->setAttribute(Qt::WA_DeleteOnClose);
    settings_window_->show_link_status(publisher_ ? publisher_->status_line() : QString());
    settings_window_->show();
    settings_window_->activateWindow();
}

rules::result kestrova_app::apply_settings(const settings::station_settings& s) {
    if (rules::result written = settings::write_station_settings(ini_, s); !written)
        return written;

    // A new device for the chosen number is opened in place of the old one.
    serial::comm_control& comm = *window_->ui().MSComm1;
    const rules::port_map ports = settings::read_port_map(ini_);
    const int chosen = keeper_.current().port;
    const bool moved = chosen != 0 && ports.device(chosen) != comm.ports().device(chosen);
    comm.set_port_map(ports);
    if (moved) {
        comm.set_port_open(false);
        keeper_.choose(chosen);
    }

    // New delays, holds and reminders count at once, for alarms under way too.
    if (alarms_) {
        const rules::alarms::alarm_settings alarm = rules::alarms::read_alarm_settings(
            [this](const QString& key) { return ini_.read_whole(QStringLiteral("Alarm"), key); });
        alarms_->set_settings(alarm);
        record_->alarm_settings_changed(alarm);
    }

    if (alarms_) {
        record_->mail_settings_changed(s.mail);
        start_mail();
        start_command();
    }

    if (!notify::desktop_notifier::wanted(ini_))
        notifier_.reset();
    else if (!notifier_)
        start_notifier();

    // The old link ends cleanly ("offline", no last will) before the new
    // one connects; unchanged settings keep the link as it is.
    const rules::mqtt::settings next = mqtt::mqtt_publisher::read_settings(ini_, s.mqtt.station);
    if (next != publishing_) {
        if (publisher_)
            publisher_->finish();
        publisher_.reset();
        start_publisher(next);
        show_port_label();
    }
    return {};
}

} // namespace app
