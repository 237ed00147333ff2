#pragma once

#include "rules/alarm_episode.h"

#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <functional>
#include <optional>

// The [Alarm] section of the settings file: how long a sensor may be beyond
// a threshold before its alarm is raised, how long it must be back within
// limits before "back to normal", how often an unanswered alarm is told
// again, and the sensors' names in everything that leaves the machine.
namespace rules::alarms {

struct alarm_settings {
    // The file holds seconds (delays, hold) and minutes (remind).
    std::array<std::chrono::milliseconds, 2> delay{}; // delay1, delay2
    std::chrono::milliseconds hold{std::chrono::seconds(60)};
    std::chrono::milliseconds remind{std::chrono::minutes(15)}; // 0: no reminders
    // A change of kind in an alarm is told at most this often.
    std::chrono::milliseconds kind_spacing{std::chrono::seconds(60)};
    std::array<QString, 2> name{QStringLiteral("Sensor 1"), QStringLiteral("Sensor 2")};
    QString command; // run for every event; empty: none

    // The episode rules of sensor 1 or 2.
    episode_settings episode(int sensor) const;
    friend bool operator==(const alarm_settings&, const alarm_settings&) = default;
};

// The keys in the order they are written.
const QStringList& alarm_keys();

// What is wrong with `text` as the value of `key`, in the operator's words;
// empty when it can be used (an empty text is the default).
QString alarm_setting_problem(const QString& key, const QString& text);

// [Alarm] as `key` reads it whole (nullopt for a missing key). A value that
// cannot be used leaves its default, and is named in `problems`.
alarm_settings read_alarm_settings(const std::function<std::optional<QString>(const QString&)>& key,
                                   QStringList* problems = nullptr);

} // namespace rules::alarms
