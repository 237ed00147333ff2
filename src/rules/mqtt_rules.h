#pragma once

#include "rules/alarm_rules.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

// What the station publishes on a message broker, free of any network code:
// the [MQTT] settings with their defaults, the state message and the Home
// Assistant discovery configs. What goes into the state is judged per sensor
// on settled facts (a current reading, settled thresholds) by the same rule
// as the lamps, alarms::judge_sensor; the window's lamps alone follow the
// texts as they are typed.
namespace rules::mqtt {

struct settings {
    QString host; // empty: publishing is off
    int port = 1883;
    QString topic;
    QString username;
    QString password;
    QString cafile; // TLS with the broker's certificate and host name verified
    QString client_id;
    QString discovery; // empty: no discovery configs
    // How often an idle link is checked; a broker that has not answered for
    // one and a half times this has stopped answering.
    std::chrono::seconds keepalive{30};
    // The station's own id: Home Assistant's ids follow it, and the topic
    // and client id unless they are given. Empty: the client id stands in.
    QString station;
    // What makes these settings unusable ("port=abc is not a port number"),
    // said instead of publishing anything; empty when they are fine.
    QString problem;

    bool enabled() const { return !host.isEmpty(); }
    bool tls() const { return !cafile.isEmpty(); }
    // "mqtts://broker.lab:8883"
    QString url() const;
    friend bool operator==(const settings&, const settings&) = default;
};

// The [MQTT] keys as `key` reads them whole (nullopt for a missing key),
// with the defaults that follow from the station id (`station=`, else
// `default_station`): topic "kestrova/<station>", client id
// "kestrova-<station>". Nothing is changed silently: a port, topic or
// discovery prefix that cannot be used is named in `problem`.
settings read_settings(const std::function<std::optional<QString>(const QString& key)>& key,
                       const QString& default_station);

// A host that stays on this machine: "localhost", or an address of the
// loopback network (127.0.0.0/8, ::1) written as an address, not a name that
// happens to begin like one.
bool is_local_host(const QString& host);

// One sensor's alarm as published and notified: "off", "no_reading",
// "high", "low" or "normal".
QString alarm_name(alarms::sensor_state s);

// The logger link as it leaves the machine: the port is open and readings
// are current, the port is not open, or it is open but nothing came for the
// reading lifetime.
enum class link_state { open, closed, silent };
QString link_name(link_state s);

// How long a reading stays current: 30 s, or three sampling periods when
// that is longer; `floor` replaces the 30 s where a test needs it shorter.
std::chrono::milliseconds
reading_lifetime(int sample_ms, std::chrono::milliseconds floor = std::chrono::seconds(30));

struct snapshot {
    std::optional<int> sensor1;
    std::optional<int> sensor2;
    QString alarm1;
    QString alarm2;
    link_state link = link_state::closed;
    std::optional<int> port;
    QDateTime time;
};

// {"sensor1":25,"sensor2":null,"alarm1":"normal","alarm2":"off","link":"open",
//  "port":1,"time":"2026-12-07T14:05:00+01:00"}
QByteArray state_json(const snapshot& s);

struct message {
    QString topic;
    QByteArray payload;
};

QString status_topic(const settings& s);
QString state_topic(const settings& s);
// Where an alarm is acknowledged from afar: "1" or "2", or
// {"sensor":1,"by":"…","comment":"…"}.
QString acknowledge_topic(const settings& s);
struct acknowledgement {
    int sensor = 1;
    QString by;
    QString comment;
    friend bool operator==(const acknowledgement&, const acknowledgement&) = default;
};
std::optional<acknowledgement> read_acknowledgement(const QByteArray& payload);

// Home Assistant discovery: a temperature sensor per channel, a problem
// binary sensor per alarm and a diagnostic connectivity binary sensor for
// the logger link, one device for the station; retained, sent on every
// connect. The temperatures and alarms are available only while the station
// is online and its logger link is open; the link's sensor while the station
// is online, so that it can say why the others are not. Empty when discovery
// is off.
std::vector<message> discovery_configs(const settings& s, const QString& host_name,
                                       const QString& version);

} // namespace rules::mqtt
