#pragma once

struct thermometer_controls;

namespace datalog {

// Timer1's period for the selected sample-time option, tested in the order
// 5 s, 10 s, 30 s, 1 min; 5 s when none is selected.
int sample_period_ms(bool option8, bool option5, bool option7, bool option6);

// Sets Timer1's period from the four option buttons, on every call.
void apply_sample_interval(const thermometer_controls& ui);

} // namespace datalog
