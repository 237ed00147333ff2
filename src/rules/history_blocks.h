#pragma once

#include "rules/history_series.h"
#include "rules/history_stats.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

// Summaries of the series in fixed blocks of points, made once as points
// arrive, so that a redraw of a wide window reads whole blocks and goes
// point by point only through the part blocks at the edges of its columns
// and ranges. Free of any widget.
namespace history {

// What one block holds of one sensor.
struct block_sensor {
    // The figures' sums over the block, exactly as summarize() counts them
    // point by point: weights from gap_rule::seconds_until, `above` and
    // `below` the weight at or beyond the thresholds.
    std::int64_t weight = 0;
    std::int64_t weighted = 0;
    std::int64_t above = 0;
    std::int64_t below = 0;
    std::uint8_t low = 255; // lowest reading; 255 when there is none
    std::uint8_t high = 0;  // highest reading; 0 when there is none
    std::uint8_t last = 0;  // the reading of the block's last point
    // Every point has a reading and joins the one before it inside the
    // block: in one pixel column the block is one unbroken stroke.
    bool joined = false;
    // The lowest reading first came no later than the highest, which is the
    // order a column draws its extremes in.
    bool low_before_high = true;
    // No point joins the one before it inside the block (time going back or
    // a gap on every line): each point but the first and last is a lone
    // reading, a dot; block_index::dots() says which readings they show.
    bool lone = false;
    std::uint32_t dots = 0; // 1 + its place among the dots' readings; 0: none
};

class block_index {
public:
    // The series' own blocks, so that a block's times are at hand.
    static constexpr std::size_t block_size = point_series::block_size;

    // Brings the summaries up to date: after an append only the last block
    // before it and the new ones are made; after the series was cleared, or
    // under other settings, all of them. At most about `most` points are
    // summarised in one call: until a later call has done the rest, the
    // summaries do not match the series.
    void update(const point_series& series, const gap_rule& gaps,
                const std::array<sensor_limits, 2>& limits,
                std::size_t most = std::numeric_limits<std::size_t>::max());

    // Whether the summaries are those of `series` as it stands.
    bool matches(const point_series& series) const {
        return &series == series_ && series.generation() == generation_ && series.size() == points_;
    }

    const gap_rule& gaps() const { return gaps_; }
    const std::array<sensor_limits, 2>& limits() const { return limits_; }
    // Only whole blocks are summarised; the points after them are few.
    std::size_t block_count() const { return blocks_.size(); }
    const block_sensor& at(std::size_t block, int sensor) const { return blocks_[block][sensor]; }
    // The readings of a lone block's dots, one bit each (few blocks have
    // them, so they are kept apart).
    using readings = std::array<std::uint64_t, 4>;
    const readings& dots(const block_sensor& b) const { return dots_[b.dots - 1]; }

private:
    void summarise(const point_series& series, std::size_t block);

    std::vector<std::array<block_sensor, 2>> blocks_;
    std::vector<readings> dots_;
    const point_series* series_ = nullptr;
    std::uint64_t generation_ = 0;
    std::size_t points_ = 0;
    gap_rule gaps_;
    std::array<sensor_limits, 2> limits_;
    std::array<reading_bounds, 2> bounds_;
};

} // namespace history
