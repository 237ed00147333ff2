#pragma once

#include "rules/alarm_rules.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
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
    // The sensors' names ([Alarm] name1/name2), the names of their entities.
    std::array<QString, 2> names{QStringLiteral("Sensor 1"), QStringLiteral("Sensor 2")};
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
// reading lifetime; "stopped" is the last word of a station that ends.
enum class link_state { open, closed, silent, stopped };
QString link_name(link_state s);

// How long a reading stays current: 30 s, or three sampling periods when
// that is longer; `floor` replaces the 30 s where a test needs it shorter.
std::chrono::milliseconds
reading_lifetime(int sample_ms, std::chrono::milliseconds floor = std::chrono::seconds(30));

// A sensor's alarm episode beyond its published state: its phase
// ("normal", "pending", "alarm", "acknowledged", "clearing"), why it is on
// ("Freezer A: no reading, the port is closed"), and who acknowledged it.
struct alarm_detail {
    QString phase = QStringLiteral("normal");
    QString reason;
    QString acknowledged_by;
};

struct snapshot {
    std::optional<int> sensor1;
    std::optional<int> sensor2;
    QString alarm1;
    QString alarm2;
    std::array<alarm_detail, 2> detail;
    link_state link = link_state::closed;
    std::optional<int> port;
    QDateTime time;
};

// {"sensor1":25,"sensor2":null,"alarm1":"normal","alarm2":"no_reading",
//  "phase1":"normal","phase2":"acknowledged","reason1":null,
//  "reason2":"Sensor 2: no reading (the logger link is closed)",
//  "acknowledged_by1":null,"acknowledged_by2":"anna","link":"closed",
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
// binary sensor per alarm (its phase, reason and acknowledger as
// attributes), a button per alarm that acknowledges it, and a diagnostic
// connectivity binary sensor for the logger link, one device for the
// station; retained, sent on every connect. Every entity is available while
// the station is online: a sensor without a reading is unknown, and its
// alarm, when on, a problem. Empty when discovery is off.
std::vector<message> discovery_configs(const settings& s, const QString& host_name,
                                       const QString& version);

// Home Assistant's node id of the station: the station id's, or the client
// id's for settings without a station.
QString node_of(const settings& s);

// The config topics of a station's entities under `prefix`, announced or not.
QStringList config_topics(const QString& prefix, const QString& node);

} // namespace rules::mqtt
