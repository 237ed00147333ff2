#include "rules/history_trace.h"

#include "rules/history_blocks.h"

#include <algorithm>
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
    explicit sensor_reducer(trace& out)
        : out_(out) {}

    void add(int bin, double x, std::uint8_t v, bool joined) {
        if (!joined) {
            flush();
            out_.starts.push_back(out_.points.size());
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

private:
    void emit(std::size_t polyline_begin, int v) {
        const QPointF p(col_.x, v);
        if (out_.points.size() > polyline_begin && out_.points.back() == p)
            return;
        out_.points.push_back(p);
    }

    trace& out_;
    column col_;
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

    for (std::size_t r = 0; r < series.run_count(); ++r) {
        const index_range run = series.run(r);
        if (pts[run.end - 1].time < from || to < pts[run.begin].time)
            continue;
        const auto first = pts.begin() + static_cast<std::ptrdiff_t>(run.begin);
        const auto last = pts.begin() + static_cast<std::ptrdiff_t>(run.end);
        const auto lo = std::lower_bound(first, last, from,
                                         [](const log_point& p, double t) { return p.time < t; });
        const auto hi =
            std::upper_bound(lo, last, to, [](double t, const log_point& p) { return t < p.time; });
        // One neighbour outside the window on each side, when the run has it.
        const std::size_t a = static_cast<std::size_t>(lo - pts.begin()) - (lo > first ? 1 : 0);
        const std::size_t b = static_cast<std::size_t>(hi - pts.begin()) + (hi < last ? 1 : 0);

        sensor_reducer reducers[2] = {sensor_reducer(out.sensor[0]), sensor_reducer(out.sensor[1])};
        const auto bin_of = [&](const log_point& p) {
            return std::clamp(static_cast<int>((p.time - from) * scale), 0, columns - 1);
        };
        // One point, one sensor: the general way, for any point.
        const auto step = [&](std::size_t i, int s) {
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
        const std::size_t lo_i = static_cast<std::size_t>(lo - pts.begin());
        const std::size_t hi_i = static_cast<std::size_t>(hi - pts.begin());
        if (!blocks) {
            for (std::size_t i = a; i < b; ++i)
                step(i, 0), step(i, 1);
            for (sensor_reducer& red : reducers)
                red.flush();
            continue;
        }
        for (std::size_t i = a; i < lo_i; ++i)
            step(i, 0), step(i, 1);
        // Inside the window, column by column and sensor by sensor: the
        // first reading of a stretch takes the general way, the rest of the
        // stretch only adds its extremes.
        for (std::size_t i = lo_i; i < hi_i;) {
            const int bin = bin_of(pts[i]);
            const std::size_t e = static_cast<std::size_t>(
                std::partition_point(pts.begin() + static_cast<std::ptrdiff_t>(i), hi,
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
        for (std::size_t i = hi_i; i < b; ++i)
            step(i, 0), step(i, 1);
        for (sensor_reducer& red : reducers)
            red.flush();
    }
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
