#pragma once

#include "chart/history_series.h"

#include <array>
#include <optional>
#include <span>

// The figures the status line gives for the visible part of the log. Free
// of any widget.
namespace chart {

// The thresholds of one sensor that apply (its alarm switch is on); a
// missing one is not judged.
struct sensor_limits {
    std::optional<double> high;
    std::optional<double> low;
};

struct sensor_summary {
    bool any = false; // whether the range holds a reading at all
    int min = 0;
    int max = 0;
    double mean = 0; // weighted by the time each reading stands for
    // Share (0..1) of the time with a reading that the alarm lamp would
    // have shown the alarm: at or above high, at or below low.
    std::optional<double> above_high;
    std::optional<double> below_low;
};

// The thresholds as whole readings, since readings are whole numbers: "at
// or above 25.5" is "at or above 26". One not in force is one no reading
// reaches.
struct reading_bounds {
    int high = 256; // at or above
    int low = -1;   // at or below
};
std::array<reading_bounds, 2> bounds_of(const std::array<sensor_limits, 2>& limits);

class log_index;
struct log_window;

// Each reading counts for the time until the next line, or one
// sampling period where a gap follows (gap_rule::seconds_until).
std::array<sensor_summary, 2> summarize(const point_series& series,
                                        std::span<const index_range> ranges, const gap_rule& gaps,
                                        const std::array<sensor_limits, 2>& limits);

// The same figures for the readings of a window gathered from an index,
// under the settings the index was made for, taking whole blocks from their
// summaries.
std::array<sensor_summary, 2> summarize(const log_index& index, const log_window& w);

} // namespace chart
