#pragma once

#include "chart/history_log.h"
#include "chart/history_series.h"
#include "chart/history_stats.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The whole data log in little memory: its lines in blocks of about 8 KiB,
// each kept only as a summary (where its lines are, its first and last
// point, the times and readings it spans, the figures' sums), from which a
// wide view is drawn. Where a view needs more, the lines of a block are
// read back from the log and parsed again. Free of any widget.
namespace chart {

// One sensor's readings on consecutive lines that each join the one before
// (gap_rule::joins): the first, the lowest and highest in the order they
// came, and the last.
struct reading_run {
    std::uint8_t first = 0;
    std::uint8_t low = 0;
    std::uint8_t high = 0;
    std::uint8_t last = 0;
    bool low_before_high = true;
};

// What a block holds of one sensor.
struct block_sensor {
    // The figures' sums over the block's points but its last, whose weight
    // depends on the line after the block; counted as summarize() counts.
    std::int64_t weight = 0;
    std::int64_t weighted = 0;
    std::int64_t above = 0;
    std::int64_t below = 0;
    std::uint8_t low = no_reading; // the lowest reading; no_reading when none
    std::uint8_t high = 0;         // the highest reading
    // Runs of readings: 0, 1, 2, or 3 for three and more.
    std::uint8_t runs = 0;
    reading_run head;         // the first run
    reading_run tail;         // the last run, when there are two or more
    std::uint32_t middle = 0; // 1 + the index of the runs between them; 0: none
};

// The runs between a block's first and last: those of more than one
// reading in their order, and the readings that stand alone (one bit per
// degree), which the chart draws as dots.
struct block_middle {
    std::uint32_t first_run = 0;
    std::uint32_t run_count = 0;
    std::array<std::uint64_t, 4> dots{};
};

// Consecutive lines of the log, at least one of them read.
struct log_block {
    std::uint64_t at = 0;    // where its first line begins in the log
    std::uint32_t bytes = 0; // its lines' length, line ends included
    std::uint32_t points = 0;
    std::uint32_t unreadable = 0; // lines among them that could not be read
    log_point first;              // its first and last point, in the order of the file
    log_point last;
    std::uint32_t min_time = 0;
    std::uint32_t max_time = 0;
    bool ascending = true; // time never goes back inside it
    block_sensor sensor[2];
};

class log_index;

// Where the points of an index's blocks are read back from.
class point_source {
public:
    point_source() = default;
    point_source(const point_source&) = delete;
    point_source& operator=(const point_source&) = delete;
    virtual ~point_source() = default;
    // Appends the points of `blocks` (ascending block numbers) to `out`, in
    // the order of the file. False when the log no longer holds them as
    // they were summarised (it was changed meanwhile); `out` then holds
    // what could be read. One call at a time.
    virtual bool read(const log_index& index, std::span<const std::size_t> blocks,
                      std::vector<log_point>& out) const = 0;
};

class log_index {
public:
    // The least length of a block's lines: some 270 lines at the 5 s period.
    static constexpr qsizetype block_bytes = 8192;

    log_index() = default;
    log_index(const gap_rule& gaps, const std::array<sensor_limits, 2>& limits);

    // The settings the summaries are made for.
    const gap_rule& gaps() const { return gaps_; }
    const std::array<sensor_limits, 2>& limits() const { return limits_; }

    const point_source* source() const { return source_.get(); }
    void set_source(std::shared_ptr<const point_source> source) { source_ = std::move(source); }

    // Summarises `points` (at least one) as the next block.
    void add_block(std::span<const log_point> points, std::uint64_t at, std::uint32_t bytes);
    // Parses the complete lines of `text`, which begins at `at` in the log,
    // block by block; what follows the last line end is left, and unless
    // `whole`, a last block shorter than block_bytes too (for the lines that
    // come next to join it). `consumed` says how far the blocks reach. The
    // points are added to `kept` where one is given.
    parse_result add_text(QByteArrayView text, std::uint64_t at, local_clock& clock,
                          bool whole = true, std::vector<log_point>* kept = nullptr);
    // `part`'s blocks in place of those from `from` on, under its settings
    // and source; the blocks before `from` must have been made under them.
    void splice(std::size_t from, const log_index& part);
    void clear();

    std::size_t size() const { return blocks_.size(); }
    bool empty() const { return blocks_.empty(); }
    const log_block& operator[](std::size_t b) const { return blocks_[b]; }
    std::span<const log_block> blocks() const { return blocks_; }
    const block_middle& middle(const block_sensor& s) const { return middles_[s.middle - 1]; }
    std::span<const reading_run> runs_of(const block_middle& m) const {
        return std::span(middle_runs_).subspan(m.first_run, m.run_count);
    }

    // Lines read, in all.
    std::uint64_t points() const { return points_; }
    // Earliest and latest time anywhere (0 when empty).
    std::uint32_t first_time() const { return first_time_; }
    std::uint32_t last_time() const { return last_time_; }
    // Time never goes back anywhere in the log.
    bool ascending() const { return ascending_; }
    // Changes whenever blocks are taken out or replaced.
    std::uint64_t generation() const { return generation_; }
    // The memory the summaries take, in bytes.
    std::size_t memory() const {
        return blocks_.capacity() * sizeof(log_block) + middles_.capacity() * sizeof(block_middle) +
               middle_runs_.capacity() * sizeof(reading_run);
    }

private:
    // One sensor of a block, run by run.
    void summarise(block_sensor& out, std::span<const log_point> pts, int s);
    void take_in(const log_block& block);
    void recount();

    std::vector<log_block> blocks_;
    std::vector<block_middle> middles_;
    std::vector<reading_run> middle_runs_;
    gap_rule gaps_;
    std::array<sensor_limits, 2> limits_;
    std::array<reading_bounds, 2> bounds_ = bounds_of({});
    std::shared_ptr<const point_source> source_;
    std::uint64_t points_ = 0;
    std::uint32_t first_time_ = 0;
    std::uint32_t last_time_ = 0;
    bool ascending_ = true;
    std::uint64_t generation_ = 0;
    std::vector<log_point> scratch_;
    std::vector<reading_run> runs_;
};

// Parses the blocks of `blocks` out of `text`, the log's bytes from `text_at`
// on, appending their points to `out`; false when a block's lines no longer
// give the points it was made from.
bool parse_blocks(QByteArrayView text, std::uint64_t text_at, const log_index& index,
                  std::span<const std::size_t> blocks, local_clock& clock,
                  std::vector<log_point>& out);

// Points kept in memory: a block's first point is at the block's `at`, or
// where `starts` says, by block number.
class memory_points : public point_source {
public:
    explicit memory_points(std::vector<log_point> points, std::vector<std::size_t> starts = {})
        : points_(std::move(points))
        , starts_(std::move(starts)) {}
    bool read(const log_index& index, std::span<const std::size_t> blocks,
              std::vector<log_point>& out) const override;

private:
    std::vector<log_point> points_;
    std::vector<std::size_t> starts_;
};

// A log's text kept in memory, parsed again on each read.
class text_points : public point_source {
public:
    text_points(QByteArray text, const local_clock& clock)
        : text_(std::move(text))
        , clock_(clock) {}
    bool read(const log_index& index, std::span<const std::size_t> blocks,
              std::vector<log_point>& out) const override;

private:
    QByteArray text_;
    mutable local_clock clock_;
};

} // namespace chart
