#pragma once

struct thermometer_controls;
struct window_seams;

namespace datalog {

// Wires the sample-time options to apply_sample_interval and Timer1's tick
// to write_log_line.
void install(const thermometer_controls& ui, const window_seams& seams);

} // namespace datalog
