#include "rules/history_trace.h"

#include "rules/history_blocks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>

namespace history {

namespace {

// The extremes of readings in the order they came: the one that moved last
// came last, and a column draws it second.
struct extremes {
    int low = INT_MAX;
    int high = INT_MIN;
    bool low_before_high = true;

    void add(int v) {
        if (v < low) {
            low = v;
            low_before_high = false;
        }
        if (v > high) {
            high = v;
            low_before_high = true;
        }
    }
    // Takes in the extremes of readings that came after all those seen:
    // where both move, the later readings' own order stands.
    void add(const extremes& later) {
        const bool lower = later.low < low;
        const bool higher = later.high > high;
        if (lower)
            low = later.low;
        if (higher)
            high = later.high;
        if (lower || higher)
            low_before_high = lower && higher ? later.low_before_high : higher;
    }
};

extremes extremes_of(const block_sensor& b) {
    return {b.low, b.high, b.low_before_high};
}

// The readings of one sensor that fell into the current pixel column.
struct column {
    int bin = INT_MIN;
    double x = 0;
    std::uint8_t first = 0, last = 0;
    extremes ext;
    bool open = false;
};

class sensor_reducer {
public:
    sensor_reducer(trace& out, int columns)
        : out_(out)
        , columns_(columns)
        , dots_(static_cast<std::size_t>(columns) * 4) {}

    void add(int bin, double x, std::uint8_t v, bool joined) {
        if (!joined) {
            flush();
            end_polyline();
            out_.starts.push_back(out_.points.size());
            polyline_bin_ = bin;
            polyline_value_ = v;
        } else if (bin != col_.bin) {
            flush();
        }
        if (!col_.open) {
            col_ = {bin, x, v, v, {v, v, true}, true};
            return;
        }
        col_.last = v;
        col_.ext.add(v);
    }

    // Takes in the rest of a column whose readings all join: its extremes
    // and its last reading.
    void absorb(const extremes& rest, std::uint8_t last) {
        col_.ext.add(rest);
        col_.last = last;
    }

    // Lone readings in column `bin`, one bit per reading.
    void add_dots(int bin, const std::array<std::uint64_t, 4>& readings) {
        for (std::size_t w = 0; w < 4; ++w)
            dots_[static_cast<std::size_t>(bin) * 4 + w] |= readings[w];
    }

    // First, then the extremes in the order they came, then last: the
    // column's vertical stroke plus the joins to both neighbours.
    void flush() {
        if (!col_.open)
            return;
        const std::size_t begin = out_.starts.back();
        const extremes& e = col_.ext;
        emit(begin, col_.first);
        emit(begin, e.low_before_high ? e.low : e.high);
        emit(begin, e.low_before_high ? e.high : e.low);
        emit(begin, col_.last);
        col_.open = false;
    }

    // After the last reading: the dots, column by column and from the
    // lowest reading up, each one once.
    void finish() {
        flush();
        end_polyline();
        for (std::size_t bin = 0; bin < static_cast<std::size_t>(columns_); ++bin)
            for (std::size_t w = 0; w < 4; ++w)
                for (std::uint64_t bits = dots_[bin * 4 + w]; bits != 0; bits &= bits - 1) {
                    const auto v = static_cast<int>(w * 64) + std::countr_zero(bits);
                    out_.starts.push_back(out_.points.size());
                    out_.points.emplace_back(static_cast<double>(bin) + 0.5, v);
                }
    }

private:
    // A lone reading inside the window becomes a dot, drawn after the
    // lines: where time goes back on every line, or readings come and go,
    // a column holds at most one dot per degree, however many lines it
    // has.
    void end_polyline() {
        if (out_.starts.empty() || out_.points.size() - out_.starts.back() != 1 ||
            polyline_bin_ < 0 || polyline_bin_ >= columns_)
            return;
        out_.points.pop_back();
        out_.starts.pop_back();
        dots_[static_cast<std::size_t>(polyline_bin_) * 4 + polyline_value_ / 64] |=
            std::uint64_t(1) << (polyline_value_ % 64);
    }

    void emit(std::size_t polyline_begin, int v) {
        const QPointF p(col_.x, v);
        if (out_.points.size() > polyline_begin && out_.points.back() == p)
            return;
        out_.points.push_back(p);
    }

    trace& out_;
    column col_;
    int columns_;
    int polyline_bin_ = 0;
    std::uint8_t polyline_value_ = 0;
    std::vector<std::uint64_t> dots_;
};

// Without `blocks` every point takes the general way; with them, runs of
// joined readings inside a column are taken whole blocks at a time, and
// point by point in a tight loop around them.
void reduce_points(const point_series& series, const gap_rule& gaps, const block_index* blocks,
                   double from, double to, int columns, trace_set& out) {
    for (trace& t : out.sensor)
        t.clear();
    out.lowest.reset();
    out.highest.reset();
    if (series.empty() || columns <= 0 || !(from < to))
        return;

    const auto& pts = series.points();
    const double scale = columns / (to - from);
    const std::uint32_t limit = gaps.limit();
    constexpr std::size_t block_size = block_index::block_size;
    int lowest = INT_MAX;
    int highest = INT_MIN;

    sensor_reducer reducers[2] = {sensor_reducer(out.sensor[0], columns),
                                  sensor_reducer(out.sensor[1], columns)};
    const auto bin_of = [&](const log_point& p) {
        return std::clamp(static_cast<int>((p.time - from) * scale), 0, columns - 1);
    };
    // The stretches inside the window, and in file order among them the
    // joins that cross it with no line inside (as empty stretches).
    std::vector<index_range> stretches = series.between(from, to);
    for (const std::size_t i : series.crossings(from, to))
        stretches.push_back({i, i});
    std::sort(stretches.begin(), stretches.end(),
              [](const index_range& x, const index_range& y) { return x.begin < y.begin; });
    for (const index_range& range : stretches) {
        const std::size_t lo_i = range.begin;
        const std::size_t hi_i = range.end;
        // The line before and after, when it lies on the window's own side
        // and may join, at its true position: lines run on to the edges.
        const std::size_t a = lo_i > 0 && pts[lo_i - 1].time < from ? lo_i - 1 : lo_i;
        const std::size_t b = hi_i < pts.size() && pts[hi_i].time > to ? hi_i + 1 : hi_i;

        // One point, one sensor: the general way, for any point.
        const auto step = [&](std::size_t i, int s) __attribute__((always_inline)) {
            const log_point& p = pts[i];
            const std::uint8_t v = p.sensor[s];
            if (v == no_reading) {
                reducers[s].flush();
                return;
            }
            const bool inside = p.time >= from && p.time <= to;
            if (inside) {
                lowest = std::min<int>(lowest, v);
                highest = std::max<int>(highest, v);
            }
            const bool joined = i > a && gaps.joins(pts[i - 1], p, s);
            // Points outside keep their true position in bins of their own.
            const int bin = inside ? bin_of(p) : (p.time < from ? -1 : columns);
            reducers[s].add(bin, inside ? bin + 0.5 : (p.time - from) * scale, v, joined);
        };
        if (!blocks) {
            for (std::size_t i = a; i < b; ++i)
                step(i, 0), step(i, 1);
            for (sensor_reducer& red : reducers)
                red.flush();
            continue;
        }
        for (std::size_t i = a; i < lo_i; ++i)
            step(i, 0), step(i, 1);
        // Inside the window, column by column and sensor by sensor, over
        // each stretch where time does not go back: the first reading of a
        // stretch takes the general way, the rest only adds its extremes.
        for (std::size_t i = lo_i; i < hi_i;) {
            // A summarised block of lone readings in one column: its first
            // and last point take the general way, the rest are its dots.
            if (i % block_size == 0 && i + block_size <= hi_i &&
                i / block_size < blocks->block_count()) {
                const auto [first, last] = series.block_times(i / block_size);
                const block_sensor* b0 = &blocks->at(i / block_size, 0);
                const block_sensor* b1 = &blocks->at(i / block_size, 1);
                const log_point p_first{first, {}};
                const log_point p_last{last, {}};
                if (b0->lone && b1->lone && bin_of(p_first) == bin_of(p_last)) {
                    for (int s = 0; s < 2; ++s) {
                        const block_sensor& bs = s == 0 ? *b0 : *b1;
                        step(i, s);
                        if (bs.dots != 0)
                            reducers[s].add_dots(bin_of(p_first), blocks->dots(bs));
                        if (bs.low != no_reading) {
                            lowest = std::min<int>(lowest, bs.low);
                            highest = std::max<int>(highest, bs.high);
                        }
                        step(i + block_size - 1, s);
                    }
                    i += block_size;
                    continue;
                }
            }
            // A short stretch stops at the next block, which may be one of
            // lone readings.
            std::size_t ascending_end = series.ascending_end(i, hi_i);
            const std::size_t next_block = (i / block_size + 1) * block_size;
            if (ascending_end > next_block && ascending_end - i < block_size)
                ascending_end = next_block;
            const auto stretch_end = pts.begin() + static_cast<std::ptrdiff_t>(ascending_end);
            while (i < ascending_end) {
                const int bin = bin_of(pts[i]);
                const std::size_t e = static_cast<std::size_t>(
                    std::partition_point(pts.begin() + static_cast<std::ptrdiff_t>(i), stretch_end,
                                         [&](const log_point& p) { return bin_of(p) == bin; }) -
                    pts.begin());
                // A summarised block that lies wholly in this column.
                const auto whole_block = [&](std::size_t j) {
                    return j % block_size == 0 && j + block_size <= e &&
                           j / block_size < blocks->block_count();
                };
                for (int s = 0; s < 2; ++s) {
                    for (std::size_t k = i; k < e;) {
                        step(k, s);
                        if (pts[k].sensor[s] == no_reading) {
                            ++k;
                            continue;
                        }
                        extremes rest;
                        std::size_t j = k + 1;
                        // A block that starts with this reading: taking it in
                        // again changes neither extreme nor their order.
                        if (whole_block(k) && blocks->at(k / block_size, s).joined) {
                            rest.add(extremes_of(blocks->at(k / block_size, s)));
                            j = k + block_size;
                        }
                        while (j < e) {
                            if (whole_block(j) && blocks->at(j / block_size, s).joined) {
                                if (!gaps.joins(pts[j - 1], pts[j], s))
                                    break;
                                rest.add(extremes_of(blocks->at(j / block_size, s)));
                                j += block_size;
                                continue;
                            }
                            const std::uint8_t v = pts[j].sensor[s];
                            if (v == no_reading || pts[j].time - pts[j - 1].time > limit)
                                break;
                            rest.add(v);
                            ++j;
                        }
                        if (j > k + 1) {
                            reducers[s].absorb(rest, pts[j - 1].sensor[s]);
                            lowest = std::min(lowest, rest.low);
                            highest = std::max(highest, rest.high);
                        }
                        k = j;
                    }
                }
                i = e;
            }
        }
        for (std::size_t i = hi_i; i < b; ++i)
            step(i, 0), step(i, 1);
        for (sensor_reducer& red : reducers)
            red.flush();
    }
    for (sensor_reducer& red : reducers)
        red.finish();
    if (lowest <= highest) {
        out.lowest = lowest;
        out.highest = highest;
    }
}

} // namespace

void reduce(const point_series& series, const gap_rule& gaps, double from, double to, int columns,
            trace_set& out) {
    reduce_points(series, gaps, nullptr, from, to, columns, out);
}

void reduce(const point_series& series, const block_index& blocks, double from, double to,
            int columns, trace_set& out) {
    reduce_points(series, blocks.gaps(), blocks.matches(series) ? &blocks : nullptr, from, to,
                  columns, out);
}

} // namespace history
