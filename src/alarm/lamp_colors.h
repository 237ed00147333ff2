#pragma once

#include "rules/alarm_rules.h"

#include <QColor>
#include <cstdint>

// The colours of the alarm lamps: what the rule's lamp states look like.
namespace alarms {

QColor from_platform_value(std::uint32_t bgr);
QColor lamp_color(rules::alarms::lamp_state s);
// What a lamp shows: red is the alarm, white is off, anything else normal.
rules::alarms::lamp_state lamp_state_of(QColor fill);

} // namespace alarms
