#include "app/kestrova_app.h"

#include "alarm/install.h"
#include "alerts/alarm_judge.h"
#include "alerts/alarm_record.h"
#include "alerts/alarm_state.h"
#include "alerts/alarms_window.h"
#include "alerts/journal.h"
#include "alerts/seal_clock.h"
#include "alerts/settings_record.h"
#include "app/port_label.h"
#include "controls/timer.h"
#include "datalog/sample_interval.h"
#include "logging/logging.h"
#include "mqtt/mqtt_publisher.h"
#include "notify/desktop_notifier.h"
#include "notify/event_command.h"
#include "notify/mail_courier.h"
#include "notify/mail_notifier.h"
#include "notify/session_bus.h"
#include "portselect/frmselect.h"
#include "rules/log_rules.h"
#include "rules/mail_settings.h"
#include "serial/comm_control.h"
#include "serial/port_probe.h"
#include "settings/port_settings.h"
#include "settings/station_settings.h"
#include "settings/window_state.h"
#include "settings_window/dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>

namespace app {

namespace {

// Text7 holds the chosen port number, or "select" while none is chosen.
// A hand-edited file may hold anything else; that is no port number (0).
int port_number(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= 1 && n <= 4 ? n : 0;
}

bool no_port_chosen(const QString& text) {
    return text == QLatin1String("select");
}

} // namespace

kestrova_app::kestrova_app(window_seams seams)
    : window_(std::make_unique<frm_thermometer>(seams))
    , keeper_(*window_->ui().MSComm1, seams.reopen_interval)
    , history_(seams.ask, seams.work_dir)
    , link_(
          [this, floor = seams.reading_lifetime] {
              return rules::mqtt::reading_lifetime(window_->ui().Timer1->interval(), floor);
          },
          seams.link_notice_after) {
    const thermometer_controls& ui = window_->ui();
    connect(ui.Command5, &QPushButton::clicked, this, &kestrova_app::on_click_command5);
    connect(ui.Command7, &QPushButton::clicked, this, &kestrova_app::on_click_command7);
    connect(window_.get(), &frm_thermometer::close_requested, this, &kestrova_app::unload);
    connect(window_.get(), &frm_thermometer::history_requested, &history_, &history_launcher::open);
    connect(window_.get(), &frm_thermometer::settings_requested, this,
            &kestrova_app::open_settings);
    connect(window_.get(), &frm_thermometer::alarms_requested, this, &kestrova_app::open_alarms);
    connect(&keeper_, &serial::port_keeper::state_changed, this,
            [this](const serial::port_keeper::state& s) {
                // Another port (or device) in place of an open one: what came from
                // the old one is not current.
                if (s.open && port_state_.open &&
                    (s.port != port_state_.port || s.device != port_state_.device))
                    link_.port_changed(false);
                journal_port(s);
                port_state_ = s;
                show_port_label();
                link_.port_changed(s.open);
            });
    connect(window_.get(), &frm_thermometer::reading_received, &link_,
            &alerts::link_watch::received);
    // A new sampling period is a new reading lifetime.
    connect(ui.Timer1, &controls::timer::interval_changed, &link_, &alerts::link_watch::refresh);
    // After a stall, what waited in the port is old; the first batch after it is news.
    link_.set_backlog([comm = ui.MSComm1] { return comm->backlog(); });
}

kestrova_app::~kestrova_app() = default;

portselect::frmselect& kestrova_app::load_selector() {
    if (!selector_) {
        selector_ = std::make_unique<portselect::frmselect>(window_->seams().ask, window_.get());
        selector_->show_devices(window_->ui().MSComm1->ports());
        connect(selector_.get(), &portselect::frmselect::port_chosen, this,
                &kestrova_app::on_port_chosen);
        connect(selector_.get(), &portselect::frmselect::closed_by_operator, this,
                &kestrova_app::on_selector_closed);
    }
    return *selector_;
}

bool kestrova_app::load() {
    const thermometer_controls& ui = window_->ui();
    settings::restore_window_state(window_->controls(), window_->seams().work_dir, ini_);
    // A missing file is a first start; one that is there but cannot be read
    // is worth a word, once.
    if (ini_.state() == settings::inifile::file_state::unreadable)
        window_->seams().ask.message(QStringLiteral("INI file is invalid or does not exist."));
    datalog::apply_sample_interval(window_->logging());
    ui.MSComm1->set_port_map(settings::read_port_map(ini_));

    const serial::probe_result probe = serial::probe_ports(
        *ui.MSComm1, [this](int index) { load_selector().remove_entry(index); });
    if (!probe.any_open) {
        window_->seams().ask.message(QStringLiteral("There is No Comm Port on this Computer"),
                                     serial::no_port_details(probe, ui.MSComm1->ports()));
        ended_ = true;
        return false;
    }

    const QString saved = ui.Text7->text();
    if (no_port_chosen(saved)) {
        if (!window_->seams().ask.interactive()) {
            // Nobody can choose without a display; waiting would be silent
            // and endless, so the program ends as it does without any port.
            window_->seams().ask.message(
                QStringLiteral("no port chosen: set frm_thermometer.Text7.text in Tarnwick.INI, "
                               "or start once with a display"));
            ended_ = true;
            return false;
        }
        load_selector().show();
        window_->hide();
    } else {
        // The saved number goes to the serial control, which refuses one
        // outside its range; one it takes but cannot open (no device) fails
        // quietly. Any other text leaves the port where the probe left it,
        // and that port is opened: a station without a screen must never
        // wait in the selection window because of a hand-edited file.
        bool is_number = false;
        const short number = saved.toShort(&is_number);
        if (is_number)
            ui.MSComm1->set_comm_port(number);
        keeper_.choose(ui.MSComm1->comm_port());
        ui.Label8->setText(saved);
        window_->show();
    }

    ui.Timer1->set_enabled(true);
    alarms::apply_alarm_switches(window_->sensors());
    window_->release_timers();
    start_publishing();
    return true;
}

void kestrova_app::start_alarms() {
    judge_ = std::make_unique<alerts::alarm_judge>(window_->sensors(), link_,
                                                   window_->seams().settle_pause);
    QStringList problems;
    const rules::alarms::alarm_settings settings = rules::alarms::read_alarm_settings(
        [this](const QString& key) { return ini_.read_whole(QStringLiteral("Alarm"), key); },
        &problems);
    for (const QString& p : problems)
        qCWarning(logging::log_alerts).noquote() << p;
    alarms_ = std::make_unique<alerts::alarm_state>(*judge_, settings, window_->seams().clock);
    journal_ = std::make_unique<alerts::journal>(
        QDir(window_->seams().work_dir).filePath(QStringLiteral("TARNWICK-journal.jsonl")),
        window_->seams().clock);
    const thermometer_controls& ui = window_->ui();
    record_ = std::make_unique<alerts::settings_record>(window_->sensors(), *judge_, ui.Check1,
                                                        *ui.Timer1, *journal_, settings);
    QMap<QString, QString> mail;
    for (const QString& key : rules::mail::mail_keys())
        if (const auto v = ini_.read_whole(QStringLiteral("Mail"), key))
            mail.insert(key, *v);
    record_->set_mail(mail);
    journal_->start(QCoreApplication::applicationVersion(), record_->snapshot());
    journal_port(port_state_);
    alarm_record_ = std::make_unique<alerts::alarm_record>(*alarms_, *journal_);
    seals_ = std::make_unique<alerts::seal_clock>(
        *journal_, QDir(window_->seams().work_dir).filePath(rules::datalog::log_file_name),
        window_->seams().clock);
}

void kestrova_app::journal_port(const serial::port_keeper::state& s) {
    if (!journal_ || (s.open == port_state_.open && s.port == port_state_.port &&
                      s.device == port_state_.device && journal_started_))
        return;
    journal_started_ = true;
    QJsonObject f{{QStringLiteral("number"), s.port},
                  {QStringLiteral("device"), s.device},
                  {QStringLiteral("state"), s.open             ? QStringLiteral("open")
                                            : port_state_.open ? QStringLiteral("lost")
                                                               : QStringLiteral("closed")}};
    if (!s.reason.isEmpty())
        f.insert(QStringLiteral("reason"), s.reason);
    journal_->write(QStringLiteral("port"), f);
}

void kestrova_app::start_publishing() {
    start_alarms();
    // The session bus serves the notifications and the settings window's
    // look for a notification service; it is reached off the window thread.
    bus_ = std::make_unique<notify::session_bus>();
    connect(bus_.get(), &notify::session_bus::connected, this, [this](const QDBusConnection& bus) {
        session_ = bus;
        start_notifier();
    });
    connect(bus_.get(), &notify::session_bus::unavailable, this, [this](const QString& why) {
        if (notify::desktop_notifier::wanted(ini_))
            qCWarning(logging::log_notify).noquote()
                << QStringLiteral("desktop notifications are not shown: %1").arg(why);
    });
    bus_->connect_to_bus();
    const QString station = settings::keep_station_id(ini_, QSysInfo::machineHostName());
    start_publisher(mqtt::mqtt_publisher::read_settings(ini_, station));
    start_mail();
    start_command();
}

void kestrova_app::start_mail() {
    mail_.reset();
    QStringList problems;
    rules::mail::mail_settings s = rules::mail::read_mail_settings(
        [this](const QString& key) { return ini_.read_whole(QStringLiteral("Mail"), key); },
        &problems);
    for (const QString& p : problems)
        qCWarning(logging::log_notify).noquote() << p;
    const QString host = QSysInfo::machineHostName();
    if (s.from.isEmpty())
        s.from = QStringLiteral("kestrova@%1").arg(host);
    if (!s.enabled()) {
        if (courier_)
            courier_->finish(std::chrono::seconds(0));
        courier_.reset();
        return;
    }
    if (courier_) {
        courier_->set_settings(s);
    } else {
        const QDir work(window_->seams().work_dir);
        notify::mail_courier::options o;
        o.outbox_dir = work.filePath(QStringLiteral("TARNWICK-outbox"));
        o.chart_program = history_launcher::program();
        o.log_path = work.filePath(QStringLiteral("TARNWICK.txt"));
        courier_ = std::make_unique<notify::mail_courier>(s, o);
        connect(courier_.get(), &notify::mail_courier::attempted, this,
                [this](int sensor, const QString& phase, bool ok, const QString& reason) {
                    alarm_record_->told(sensor, QStringLiteral("email"), phase, ok, reason);
                });
        connect(courier_.get(), &notify::mail_courier::dropped, this,
                [this](const QString& subject, const QString& why) {
                    qCWarning(logging::log_notify).noquote()
                        << QStringLiteral("e-mail: %1 %2").arg(subject, why).trimmed();
                    journal_->write(QStringLiteral("outbox"), {{QStringLiteral("subject"), subject},
                                                               {QStringLiteral("reason"), why}});
                });
    }
    mail_ = std::make_unique<notify::mail_notifier>(
        *alarms_, link_, *courier_, host, publishing_.enabled() ? publishing_.topic : QString());
}

void kestrova_app::start_command() {
    const QString program = alarms_->settings().command;
    if (command_) {
        command_->set_program(program);
        return;
    }
    if (program.isEmpty())
        return;
    command_ =
        std::make_unique<notify::event_command>(*alarms_, program, QSysInfo::machineHostName());
    connect(command_.get(), &notify::event_command::ran, this,
            [this](int sensor, const QString& phase, bool ok, const QString& reason, int status,
                   const QString& last_error) {
                QJsonObject more{{QStringLiteral("status"), status}};
                if (!last_error.isEmpty())
                    more.insert(QStringLiteral("stderr"), last_error);
                alarm_record_->told(sensor, QStringLiteral("command"), phase, ok, reason, more);
            });
}

void kestrova_app::start_notifier() {
    if (!session_ || notifier_ || ended_ || !notify::desktop_notifier::wanted(ini_))
        return;
    notifier_ = std::make_unique<notify::desktop_notifier>(*alarms_, link_, *session_);
    connect(notifier_.get(), &notify::desktop_notifier::told, this,
            [this](int sensor, const QString& phase, bool ok, const QString& reason) {
                alarm_record_->told(sensor, QStringLiteral("desktop"), phase, ok, reason);
            });
}

void kestrova_app::start_publisher(const rules::mqtt::settings& s) {
    publishing_ = s;
    if (!s.enabled())
        return;
    const window_seams& seams = window_->seams();
    publisher_ = std::make_unique<mqtt::mqtt_publisher>(
        *alarms_, *window_->ui().Timer1, window_->ui().Text7, link_, s, QSysInfo::machineHostName(),
        seams.resolve_broker, seams.clock, &ini_);
    connect(publisher_.get(), &mqtt::mqtt_publisher::status_line_changed, this,
            &kestrova_app::show_port_label);
    // How the broker takes what is published, in the journal as it changes.
    mqtt::mqtt_publisher* p = publisher_.get();
    connect(p, &mqtt::mqtt_publisher::status_changed, this, [this, p] {
        if (journal_)
            journal_->write(QStringLiteral("broker"), p->journal_fields());
    });
    show_port_label();
}

void kestrova_app::show_port_label() {
    const QString publishing = publisher_ ? publisher_->status_line() : QString();
    show_port_state(window_->ui().Label8, port_state_, publishing);
    if (settings_window_)
        settings_window_->show_link_status(publishing);
}

alerts::alarms_window* kestrova_app::alarms_dialog() const {
    return alarms_window_;
}

void kestrova_app::open_alarms() {
    if (ended_ || !alarms_)
        return;
    if (!alarms_window_) {
        alarms_window_ = new alerts::alarms_window(*alarms_, window_.get());
        alarms_window_->setAttribute(Qt::WA_DeleteOnClose);
    }
    alarms_window_->show();
    alarms_window_->raise();
    alarms_window_->activateWindow();
}

void kestrova_app::on_click_command5() {
    load_selector().show();
    window_->hide();
}

void kestrova_app::on_port_chosen(const QString& port) {
    const thermometer_controls& ui = window_->ui();
    ui.Text7->setText(port);
    const int number = port_number(ui.Text7->text());
    if (number != 0)
        keeper_.choose(number);
    ui.Label8->setText(ui.Text7->text());
    load_selector().hide();
    settings::save_window_state(window_->controls(), ini_);
    window_->show();
}

void kestrova_app::on_selector_closed() {
    if (ended_)
        return;
    // Closing the selection at a first start means there is nothing to run;
    // after a choice it only cancels the change of port.
    if (no_port_chosen(window_->ui().Text7->text()))
        unload();
    else
        window_->show();
}

void kestrova_app::on_click_command7() {
    // A signal may have ended the program while the question was up.
    if (!window_->seams().ask.confirm(QStringLiteral("Do you want to Exit")) || ended_)
        return;
    settings::save_window_state(window_->controls(), ini_);
    end();
}

void kestrova_app::unload() {
    if (ended_)
        return;
    settings::save_window_state(window_->controls(), ini_);
    end();
}

void kestrova_app::save_before_lost_display() {
    if (ended_)
        return;
    ended_ = true;
    settings::save_window_state(window_->controls(), ini_);
}

void kestrova_app::end() {
    ended_ = true;
    keeper_.stop();
    if (notifier_)
        notifier_->finish();
    if (publisher_)
        publisher_->finish();
    if (mail_)
        mail_->finish();
    // What came of the last sends and runs is journaled before the stop.
    if (courier_) {
        courier_->finish(std::chrono::milliseconds(1500));
        QCoreApplication::sendPostedEvents(courier_.get());
    }
    if (command_) {
        command_->finish(std::chrono::seconds(1));
        QCoreApplication::sendPostedEvents(command_.get());
    }
    if (journal_) {
        journal_->write(QStringLiteral("stop"),
                        {{QStringLiteral("settings"), record_->snapshot()}});
        // After the stop: a seal that takes long on a huge log must not
        // cost the stop its line.
        seals_->seal_today();
        journal_->close(std::chrono::seconds(2));
    }
    if (selector_)
        selector_->hide();
    window_->hide();
    Q_EMIT finished();
}

} // namespace app
