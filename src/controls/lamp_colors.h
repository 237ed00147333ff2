#pragma once

#include "rules/alarm_rules.h"

#include <QColor>
#include <cstdint>

// The colours of the alarm lamps, and what a lamp's colour says.
namespace alarms {

QColor from_platform_value(std::uint32_t bgr);
QColor lamp_color(lamp_state s);
// Red is the alarm, white is off, anything else counts as normal.
lamp_state lamp_state_of(QColor fill);

} // namespace alarms
