#pragma once

#include "alarm/sensor_role.h"

namespace controls {
class prompts;
} // namespace controls

namespace alarms {

// Wires threshold entry (the text/spin pairs) and the alarm lamps (switch
// clicks, timer ticks) of both sensors to their handlers, and gives the
// lamps their accessible names and descriptions.
void install(const sensor_roles& sensors, controls::prompts& ask);

// The end of start-up: sets each sensor's timer and lamps from its switch by
// the same rule as a click of the switch.
void apply_alarm_switches(const sensor_roles& sensors);

} // namespace alarms
