#pragma once

#include "mqtt/mqtt_link.h"
#include "rules/mqtt_rules.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <functional>

namespace controls {
class display_box;
class timer;
} // namespace controls
namespace settings {
class inifile;
} // namespace settings

namespace alerts {
class alarm_state;
class link_watch;
} // namespace alerts

namespace mqtt {

// Publishes the station on a message broker: the state message whenever a
// sensor's current reading or alarm state, the port or the logger link changes
// (the changes of one turn of the event loop go out as one message) and at
// every sampling tick. A reading that is not current goes out as null. Its own state is a line
// for Label8's tooltip, and one line on standard error each time it changes.
//
// What it announced (topic, discovery prefix, node id) is kept in [MQTT] of
// `record` (announced_topic=, announced_discovery=, announced_node=), so that
// a station whose topic, prefix or id changed, in the settings window or in
// the file between two runs, takes the old ones back. It claims its topic as
// the station of this host and folder (`record`'s, else the working folder).
class mqtt_publisher : public QObject {
    Q_OBJECT
public:
    // `sample_timer`: Timer1, whose ticks publish; `port_text`: Text7.
    mqtt_publisher(alerts::alarm_state& alarms, const controls::timer& sample_timer,
                   controls::display_box* port_text, const alerts::link_watch& link,
                   const rules::mqtt::settings& settings, const QString& host_name,
                   mqtt_link::resolver resolve = {}, std::function<QDateTime()> clock = {},
                   settings::inifile* record = nullptr);

    // [MQTT] of the settings file, with the sensors' names of [Alarm];
    // publishing is off without a host. Says on
    // standard error, once, what an administrator should know: a password
    // that would cross the network in clear, or that others can read.
    static rules::mqtt::settings read_settings(const settings::inifile& ini,
                                               const QString& host_name);

    // "Publishing to mqtt://host:1883 as kestrova/lab-pc: connected"
    QString status_line() const { return status_line_; }
    // The link's state for the journal: {"url":…,"topic":…,"status":…}.
    QJsonObject journal_fields() const;
    // A clean end: a last state with no readings and the link "stopped",
    // then "offline".
    void finish();

Q_SIGNALS:
    void status_line_changed(const QString& line);
    // "connected", "connected, but the broker refuses to publish on …", …
    void status_changed(const QString& status);

private:
    void schedule();
    void publish_now();
    rules::mqtt::snapshot snapshot() const;
    void remember();
    void on_status(const QString& status);
    void on_acknowledge(const QByteArray& payload);

    alerts::alarm_state& alarms_;
    const controls::timer& sample_timer_;
    controls::display_box* port_text_;
    const alerts::link_watch& watch_;
    rules::mqtt::settings settings_;
    std::function<QDateTime()> clock_;
    QTimer coalesce_;
    settings::inifile* record_;
    mqtt_link link_;
    QString status_;
    QString status_line_;
};

} // namespace mqtt
