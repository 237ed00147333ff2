#pragma once

#include "rules/alarm_rules.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

// What the station publishes on a message broker, free of any network code:
// the [MQTT] settings with their defaults, the state message and the Home
// Assistant discovery configs.
namespace mqtt {

struct settings {
    QString host; // empty: publishing is off
    int port = 1883;
    QString topic;
    QString username;
    QString password;
    QString cafile; // TLS with the broker's certificate and host name verified
    QString client_id;
    QString discovery; // empty: no discovery configs

    bool enabled() const { return !host.isEmpty(); }
    bool tls() const { return !cafile.isEmpty(); }
    // "mqtts://broker.lab:8883"
    QString url() const;
};

// The [MQTT] keys as `key` reads them (a missing key reads as the empty
// text), with the defaults that depend on this machine's host name.
settings read_settings(const std::function<std::optional<QString>(const QString& key)>& key,
                       const QString& host_name);

// A host name that stays on this machine.
bool is_local_host(const QString& host);

// One sensor's alarm as published: "off" while its switch is off, "high" or
// "low" while that lamp shows the alarm, else "normal".
QString alarm_name(alarms::lamp_state high, alarms::lamp_state low);

struct snapshot {
    std::optional<int> sensor1;
    std::optional<int> sensor2;
    QString alarm1;
    QString alarm2;
    std::optional<int> port;
    QDateTime time;
};

// {"sensor1":25,"sensor2":null,"alarm1":"normal","alarm2":"off","port":1,
//  "time":"2026-12-07T14:05:00+01:00"}
QByteArray state_json(const snapshot& s);

struct message {
    QString topic;
    QByteArray payload;
};

QString status_topic(const settings& s);
QString state_topic(const settings& s);

// Home Assistant discovery: a temperature sensor per channel and a problem
// binary sensor per alarm, one device for the station; retained, sent on
// every connect. Empty when discovery is off.
std::vector<message> discovery_configs(const settings& s, const QString& host_name);

} // namespace mqtt
