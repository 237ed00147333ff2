#pragma once

#include "rules/history_log.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The points of a data log in file order, split where time goes back, and
// the rules that say which neighbours a line may join. Free of any widget.
namespace history {

// A stretch of points in file order; [begin, end) indexes the series.
struct index_range {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool empty() const { return begin >= end; }
    std::size_t size() const { return end - begin; }
    friend bool operator==(const index_range&, const index_range&) = default;
};

// The log's lines as points, in the order the file holds them. Time never
// goes back inside a run: a clock set back, or the hour repeated when
// daylight saving time ends, starts a new run, so each run can be searched
// by time and no line is ever drawn back in time.
class point_series {
public:
    void clear();
    // Reserves room for about `count` points; untouched room costs no memory.
    void reserve(std::size_t count) { points_.reserve(count); }
    void append(std::span<const log_point> points);

    const std::vector<log_point>& points() const { return points_; }
    // Changes whenever the series is cleared, so that what was worked out
    // from its points can tell it is out of date.
    std::uint64_t generation() const { return generation_; }
    std::size_t size() const { return points_.size(); }
    bool empty() const { return points_.empty(); }
    // Where each run begins; the first is 0 when there are points.
    const std::vector<std::size_t>& run_starts() const { return run_starts_; }
    index_range run(std::size_t i) const;
    std::size_t run_count() const { return run_starts_.size(); }

    // Earliest and latest time anywhere in the series (0 when empty).
    std::uint32_t first_time() const { return first_time_; }
    std::uint32_t last_time() const { return last_time_; }

    // Per run, the points with from <= time <= to (runs with none left out).
    std::vector<index_range> between(double from, double to) const;

    // The point nearest to `time`, or nullopt when there is none within
    // `within` seconds. Where runs overlap, the later run wins a tie.
    std::optional<std::size_t> nearest(double time, double within) const;

private:
    std::vector<log_point> points_;
    std::vector<std::size_t> run_starts_;
    std::uint32_t first_time_ = 0;
    std::uint32_t last_time_ = 0;
    std::uint64_t generation_ = 0;
};

// The sampling period and the pause after which the line breaks.
struct gap_rule {
    std::uint32_t period_seconds = 5;
    // A pause longer than three sampling periods is a gap in the line.
    std::uint32_t limit() const { return 3 * period_seconds; }
    // Whether two neighbouring points of one run join: both hold a reading
    // and the later follows within the limit.
    bool joins(const log_point& a, const log_point& b, int sensor) const {
        return a.sensor[sensor] != no_reading && b.sensor[sensor] != no_reading &&
               b.time - a.time <= limit();
    }
    // How long a point stands for: until the next point of its run, unless
    // that is a gap away (or at the same second); then one period.
    std::uint32_t seconds_until(const log_point& a, const log_point* next) const {
        if (next && next->time > a.time && next->time - a.time <= limit())
            return next->time - a.time;
        return period_seconds;
    }
};

} // namespace history
