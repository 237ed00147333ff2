#pragma once

class prompts;
struct thermometer_controls;

namespace alarms {

// Wires threshold entry (the four text/spin pairs) and the alarm lamps
// (Check2/Check3 clicks, Timer2/Timer3 ticks) to their handlers.
void install(const thermometer_controls& ui, prompts& ask);

} // namespace alarms
