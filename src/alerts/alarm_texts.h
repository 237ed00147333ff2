#pragma once

#include "alerts/alarm_state.h"

#include <QJsonObject>
#include <QString>
#include <chrono>

// What a sensor's alarm says, in words for people and in fields for the
// journal, the same for every channel.
namespace alerts {

QString phase_name(rules::alarms::episode_event::what w);
QString kind_name(rules::alarms::alarm_kind k);

// "Freezer A high alarm: 31ºC (threshold 30ºC)", "Sensor 2: no reading for
// 30 s": the alarm as it holds at `e`. `silent_for` is the reading lifetime,
// the time a silent sensor has said nothing.
QString alarm_text(const alarm_event& e, std::chrono::milliseconds silent_for);
// "Sensor 1 back to normal: 24ºC"
QString normal_text(const alarm_event& e);
// "KESTROVA stopped; Sensor 1 was in high alarm"
QString stopped_text(const alarm_event& e);

// The journal's fields of an alarm line.
QJsonObject journal_fields(const alarm_event& e);

// The local user, who answers an alarm at this machine.
QString local_user();

} // namespace alerts
