#pragma once

#include "chart/history_log.h"
#include "chart/report_lines.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

// Finding the lines of a period in a data log by their time, reading only
// what lies around them. The log is in time order almost everywhere, so the
// lines of a period are found by halving the file on line starts; where
// what is read is not in order, the whole log is read instead. Free of any
// widget.
namespace chart {

// A log's bytes, read at any offset.
class log_bytes {
public:
    log_bytes() = default;
    log_bytes(const log_bytes&) = delete;
    log_bytes& operator=(const log_bytes&) = delete;
    virtual ~log_bytes() = default;
    // Up to `len` bytes at `pos` into `out`; fewer where the log ends
    // sooner, -1 when it cannot be read.
    virtual qint64 read_at(qint64 pos, char* out, qint64 len) const = 0;
};

// A log held in memory.
class memory_bytes : public log_bytes {
public:
    // Keeps its own (shared) copy: a view of a temporary would dangle.
    explicit memory_bytes(QByteArray bytes)
        : bytes_(std::move(bytes)) {}
    qint64 read_at(qint64 pos, char* out, qint64 len) const override;

private:
    QByteArray bytes_;
};

// How far a log's local time may go back and still count as in order: the
// hour repeated when the clocks go back, by up to a few hours.
inline constexpr std::int64_t order_slack = std::int64_t{4} * 3600;

// Times in the order of the file, each no more than order_slack before the
// latest one before it. Then a line lies at most order_slack after any line
// that follows it, so a line far enough outside a period on either side
// bounds where the period's lines can be.
class order_check {
public:
    void add(std::int64_t time) {
        in_order_ = in_order_ && time >= latest_ - order_slack;
        latest_ = std::max(latest_, time);
    }
    bool in_order() const { return in_order_; }

private:
    std::int64_t latest_ = INT64_MIN + order_slack;
    bool in_order_ = true;
};

struct byte_range {
    qint64 begin = 0;
    qint64 end = 0;
};

// Whole lines of a log of `size` bytes that hold every line whose local
// time lies in [local_from, local_to), if the log is in order
// (order_check): from a line more than order_slack before the period (or
// the log's start) to one more than order_slack after it (or the end of
// its last line), found by halving on line starts, a few KB read per
// probe. Nullopt when what the probes read is not in order, or the log
// cannot be read.
std::optional<byte_range> find_lines(const log_bytes& log, qint64 size, std::int64_t local_from,
                                     std::int64_t local_to);

// The lines of a log as lines_between() finds them in all of its bytes.
struct located_lines {
    line_span span;          // offsets in the log; line numbers from the line at `counted_from`
    qint64 counted_from = 0; // where the lines counted begin: those before it are not
};

// The lines whose local time lies in [local_from, local_to), looked for
// where find_lines() says and checked to be in order there (with the lines
// around them), else in the whole log. Nullopt when the log comes up
// shorter than `size` (it was cut meanwhile) or cannot be read.
std::optional<located_lines> locate_lines(const log_bytes& log, qint64 size,
                                          std::int64_t local_from, std::int64_t local_to);

// The line ends in [begin, end) of a log, read a piece at a time on up to
// `threads` threads; nullopt when the log comes up short.
std::optional<std::int64_t> count_lines(const log_bytes& log, qint64 begin, qint64 end,
                                        int threads);

} // namespace chart
