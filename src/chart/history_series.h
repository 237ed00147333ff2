#pragma once

#include "chart/history_log.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

// The points of a data log in file order, the search by time over them,
// and the rules that say which neighbours a line may join. Free of any
// widget.
namespace chart {

// A stretch of points in file order; [begin, end) indexes the series.
struct index_range {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool empty() const { return begin >= end; }
    std::size_t size() const { return end - begin; }
    friend bool operator==(const index_range&, const index_range&) = default;
};

// Room for the points of one log, written by one thread and read by
// another: the writer only ever adds past what it has handed over, so the
// points handed over never move. Room not yet written costs no memory.
class point_store {
public:
    explicit point_store(std::size_t capacity);
    std::size_t capacity() const { return capacity_; }
    log_point* data() { return data_.get(); }
    const log_point* data() const { return data_.get(); }

private:
    struct release {
        void operator()(log_point* p) const;
    };
    std::unique_ptr<log_point[], release> data_;
    std::size_t capacity_ = 0;
};

// The log's lines as points, in the order the file holds them. Time may go
// back anywhere (a clock set back, the hour repeated when daylight saving
// time ends, a file in another order): there the line breaks, and the
// search below still finds every point, through the earliest and latest
// time of each block of points and whether time goes back inside it.
class point_series {
public:
    static constexpr std::size_t block_size = 256;

    void clear();
    // Copies points in after the last (for a series filled on one thread).
    void append(std::span<const log_point> points);
    // Takes the first `count` points of `store`, which holds the points the
    // series has as they are (for a series filled by another thread, which
    // goes on writing past `count`). Nothing is copied.
    void adopt(std::shared_ptr<const point_store> store, std::size_t count);

    std::span<const log_point> points() const { return {store_ ? store_->data() : nullptr, size_}; }
    // Changes whenever the series is cleared, so that what was worked out
    // from its points can tell it is out of date.
    std::uint64_t generation() const { return generation_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // Earliest and latest time anywhere in the series (0 when empty).
    std::uint32_t first_time() const { return first_time_; }
    std::uint32_t last_time() const { return last_time_; }
    // The latest time no later than `limit`, or nullopt when every point
    // is later.
    std::optional<std::uint32_t> latest_until(std::uint32_t limit) const;

    // The stretches of consecutive points with from <= time <= to, in file
    // order, each as long as it can be.
    std::vector<index_range> between(double from, double to) const;
    // The lines whose line before lies before the window and which lie
    // after it themselves: the join between the two crosses the window.
    std::vector<std::size_t> crossings(double from, double to) const;
    // Where time next goes back after `i`: the first index in (i, end)
    // whose time is earlier than the one before it, else `end`.
    std::size_t ascending_end(std::size_t i, std::size_t end) const;

    // The earliest and latest time of block `b` (of block_size points).
    std::pair<std::uint32_t, std::uint32_t> block_times(std::size_t b) const {
        return {blocks_[b].min, blocks_[b].max};
    }

    // The point nearest to `time`, or nullopt when there is none within
    // `within` seconds; a tie goes to the later line of the file.
    std::optional<std::size_t> nearest(double time, double within) const;

private:
    struct time_block {
        std::uint32_t min = 0;
        std::uint32_t max = 0;
        // No point of the block is earlier than the one before it.
        bool ascending = true;
    };
    std::size_t block_end(std::size_t b) const { return std::min(size_, (b + 1) * block_size); }
    // The blocks that may hold times in [from, to]: found by halving when
    // time never goes back, all of them otherwise.
    std::pair<std::size_t, std::size_t> blocks_between(double from, double to) const;

    // The block times of points [size_, count) of the store.
    void summarise_times(std::size_t count);

    const log_point* data() const { return store_ ? store_->data() : nullptr; }

    std::shared_ptr<const point_store> store_;
    point_store* own_ = nullptr; // the store, when this series made it
    std::size_t size_ = 0;
    std::vector<time_block> blocks_;
    bool ascending_ = true; // time never goes back in the whole series
    std::uint32_t first_time_ = 0;
    std::uint32_t last_time_ = 0;
    std::uint64_t generation_ = 0;
};

// The sampling period and the pause after which the line breaks.
struct gap_rule {
    std::uint32_t period_seconds = 5;
    // A pause longer than three sampling periods is a gap in the line.
    std::uint32_t limit() const { return 3 * period_seconds; }
    // Whether two neighbouring lines join: both hold a reading and the
    // later follows within the limit (never where time goes back).
    bool joins(const log_point& a, const log_point& b, int sensor) const {
        return a.sensor[sensor] != no_reading && b.sensor[sensor] != no_reading &&
               b.time - a.time <= limit();
    }
    // How long a point stands for: until the next line, unless that is a
    // gap away, at the same second or earlier; then one period.
    std::uint32_t seconds_until(const log_point& a, const log_point* next) const {
        if (next && next->time > a.time && next->time - a.time <= limit())
            return next->time - a.time;
        return period_seconds;
    }
};

} // namespace chart
