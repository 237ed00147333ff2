#pragma once

#include "rules/mqtt_claim.h"
#include "rules/result.h"

#include <QMap>
#include <QString>
#include <array>
#include <optional>

namespace settings {

class inifile;

// What the settings window edits, as it stands in the settings file:
// [Ports], [MQTT], [Notify], [Alarm] and [Mail]. Texts are kept as written; an empty one
// means the default.
struct station_settings {
    // Devices of the port numbers 1 to 4; empty: the platform's default.
    std::array<QString, 4> ports;
    struct broker {
        QString host; // empty: publishing is off
        QString port;
        QString cafile; // empty: no TLS
        QString username;
        QString password;
        QString topic;
        QString client_id;
        // Nullopt: the default prefix; empty: discovery is off.
        std::optional<QString> discovery;
        QString station;
        friend bool operator==(const broker&, const broker&) = default;
    } mqtt;
    bool desktop_notifications = true;
    // [Alarm] as written, key by key; a missing or empty key is the default.
    QMap<QString, QString> alarm;
    // [Mail] the same way.
    QMap<QString, QString> mail;
    friend bool operator==(const station_settings&, const station_settings&) = default;
};

// The three sections, read whole. A station without an id of its own gets
// `default_station`.
station_settings read_station_settings(const inifile& ini, const QString& default_station);

// Writes the three sections with one replacement of the file (see
// inifile::write_sections); why not when it cannot.
rules::result write_station_settings(inifile& ini, const station_settings& s);

// The station id in [MQTT] "station". Made from the host name and the
// settings file's folder when there is none, and then kept there, so that it
// never changes, if the station publishes (`host=` is set).
QString keep_station_id(inifile& ini, const QString& host_name);

// What the station last announced on the broker, kept in [MQTT]
// (announced_topic=, announced_discovery=, announced_node=) after the keys
// the settings window writes; every other byte of the file stays as it is.
rules::mqtt::announced read_announced(const inifile& ini);
rules::result keep_announced(inifile& ini, const rules::mqtt::announced& a);

} // namespace settings
