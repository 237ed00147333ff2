#pragma once

#include "chart/history_series.h"
#include "chart/history_stats.h"
#include "chart/report_period.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// The figures of a report: per sensor and per day the lowest, mean and
// highest reading, the time with a reading and the time at or beyond the
// thresholds, and every excursion and every gap. A reading stands for the
// time until the next line, or for one sampling period where no line
// follows within three (gap_rule); time for which no reading stands is a
// gap. Free of any widget.
namespace chart {

// One sensor over one day of the period, or over all of it; times in
// seconds.
struct sensor_tally {
    std::int64_t seconds = 0;  // how long the day (or period) is
    std::int64_t covered = 0;  // of it with a reading
    std::int64_t weighted = 0; // readings times their seconds, for the mean
    std::int64_t above = 0;    // at or above the high threshold
    std::int64_t below = 0;    // at or below the low one
    int min = 255;
    int max = -1;

    bool any() const { return covered > 0; }
    double mean() const { return any() ? double(weighted) / double(covered) : 0; }
    double coverage() const { return seconds > 0 ? double(covered) / double(seconds) : 0; }
};

// Consecutive readings of one sensor at or above its high threshold (or
// at or below its low one), with no line without a reading and no gap
// between them; inside the period.
struct excursion {
    int sensor = 0;
    bool high = true;
    std::int64_t start = 0; // UTC seconds
    std::int64_t end = 0;   // when the last reading's time ran out
    int peak = 0;           // the highest reading, or the lowest of a low one
    friend bool operator==(const excursion&, const excursion&) = default;
};

// Time inside the period for which no reading of the sensor stands.
struct reading_gap {
    int sensor = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    friend bool operator==(const reading_gap&, const reading_gap&) = default;
};

struct report_figures {
    std::array<sensor_tally, 2> total;
    std::vector<std::array<sensor_tally, 2>> days; // one per day of the period
    std::vector<excursion> excursions;             // by start, sensor 1 first
    std::vector<reading_gap> gaps;                 // the same
};

// `points` in the order of time (order_by_time); those outside the period
// only reach into it. `bounds` as bounds_of() makes them: a threshold not
// in force is one no reading reaches.
report_figures figures_of(std::span<const log_point> points, const report_period& period,
                          const gap_rule& gaps, const std::array<reading_bounds, 2>& bounds);

} // namespace chart
