#pragma once

#include "chart/history_series.h"
#include "chart/history_stats.h"
#include "chart/report_period.h"
#include "chart/report_settings.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// The figures of a report: per sensor and per day the readings, the lowest
// and highest with their times, the mean and the mean kinetic temperature,
// the time with a reading and the time at or beyond the thresholds, and
// every excursion and every gap. Each reading is judged by the settings in
// force when it was written (journal_record): it stands for the time until
// the next line, or for one sampling period where no line follows within
// three; time for which no reading stands is a gap. Free of any widget.
namespace chart {

// ΔH/R for ΔH = 83.144 kJ/mol: 10,000 K.
inline constexpr double mkt_activation_kelvin = 83144.0 / 8.3144;

// One sensor over one day of the period, or over all of it; times in
// seconds.
struct sensor_tally {
    std::int64_t seconds = 0;  // how long the day (or period) is
    std::int64_t covered = 0;  // of it with a reading
    std::int64_t weighted = 0; // readings times their seconds, for the mean
    std::int64_t above = 0;    // at or above the high threshold in force
    std::int64_t below = 0;    // at or below the low one
    std::int64_t readings = 0; // lines with a reading that stand in it
    double arrhenius = 0;      // seconds times exp(-ΔH/RT), for the mean kinetic temperature
    int min = 255;
    int max = -1;
    std::int64_t min_at = 0; // when the lowest reading was first read
    std::int64_t max_at = 0;

    bool any() const { return covered > 0; }
    double mean() const { return any() ? double(weighted) / double(covered) : 0; }
    double coverage() const { return seconds > 0 ? double(covered) / double(seconds) : 0; }
    // °C: ΔH/R / -ln(Σ t·exp(-ΔH/RT) / Σ t) - 273.15, T in kelvin.
    double mean_kinetic() const;
};

// A stretch of readings of one sensor at or above its high threshold (or
// at or below its low one), as the alarm judges it: readings within limits
// or no reading for less than the clear hold do not end it. Inside the
// period.
struct excursion {
    int sensor = 0;
    bool high = true;
    std::int64_t start = 0;   // UTC seconds
    std::int64_t end = 0;     // when the last reading beyond ran out
    int peak = 0;             // the highest reading, or the lowest of a low one
    std::int64_t peak_at = 0; // when it was first read
    std::int64_t longest = 0; // the longest time beyond without a break
    std::int64_t delay = 0;   // the raise delay in force at its start
    bool alarm_on = true;     // the alarm switch at its start
    bool recorded = true;     // judged by settings the journal holds
    bool alarm_due() const { return alarm_on && longest >= delay; }
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
    std::vector<std::uint32_t> own_period;         // the log's spacing on each day, seconds
};

// The median spacing of the lines of each day of the period up to `until`
// (the journal's first line); the median of the days' where a day has too
// few lines, 5 s where no day has enough. `points` in the order of time.
std::vector<std::uint32_t> own_periods(std::span<const log_point> points,
                                       const report_period& period,
                                       std::optional<std::int64_t> until = std::nullopt);

// `points` in the order of time (order_by_time); those outside the period
// only reach into it. Before the journal's first line the period is the
// log's own.
report_figures figures_of(std::span<const log_point> points, const report_period& period,
                          const journal_record& settings);

} // namespace chart
