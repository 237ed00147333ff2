#pragma once

class prompts;
struct thermometer_controls;

namespace alarms {

// Wires threshold entry (the four text/spin pairs) and the alarm lamps
// (Check2/Check3 clicks, Timer2/Timer3 ticks) to their handlers, and gives
// the lamps their accessible names and descriptions.
void install(const thermometer_controls& ui, prompts& ask);

// The end of start-up: sets Timer2 and Timer3 and the lamps from Check2 and
// Check3 by the same rule as a click of the switch.
void apply_alarm_switches(const thermometer_controls& ui);

} // namespace alarms
