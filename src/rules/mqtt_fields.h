#pragma once

#include <QString>

// The checks of single [MQTT] values, shared by the reader of the settings
// file and the settings window. Each gives why the value cannot be used, in
// words that follow the value's name ("is not a port number (1 to 65535)"),
// or nothing when it can.
namespace rules::mqtt {

// Empty text is fine: the default port.
QString port_problem(const QString& text);
// A topic this program publishes under, with `suffix` more bytes that it
// adds ("/status"): no wildcard, no zero character, within MQTT's length.
QString topic_problem(const QString& topic, qsizetype suffix);
// A client id, user name or password: no zero character, within MQTT's length.
QString text_problem(const QString& text);

// The longest suffixes added to the topic ("/acknowledge") and to the
// discovery prefix ("/binary_sensor/<node>/alarm1/config", without the node).
inline constexpr qsizetype topic_suffix = 12;
inline constexpr qsizetype discovery_suffix = 32;

// The id a station takes the first time it publishes, from the host and the
// whole path of its folder: "lab-pc-fridge-kestrova-3fa2c1", readable (the
// last two folders, transliterated to Latin letters), the same for the same
// folder, different for two folders of one machine however alike their
// names read. Letters, digits, "-" and "_" only, so that it fits a topic, a
// client id and Home Assistant's ids as it is.
QString make_station_id(const QString& host_name, const QString& folder_path);

} // namespace rules::mqtt
