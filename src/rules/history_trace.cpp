#include "rules/history_trace.h"

#include <algorithm>
#include <climits>

namespace history {

namespace {

// The readings of one sensor that fell into the current pixel column.
struct column {
    int bin = INT_MIN;
    double x = 0;
    std::uint8_t first = 0, last = 0, low = 0, high = 0;
    bool low_before_high = true;
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
            col_ = {bin, x, v, v, v, v, true, true};
            return;
        }
        col_.last = v;
        if (v < col_.low) {
            col_.low = v;
            col_.low_before_high = false;
        }
        if (v > col_.high) {
            col_.high = v;
            col_.low_before_high = true;
        }
    }

    // Takes in the rest of a column whose readings all join: its extremes
    // and its last reading.
    void absorb(std::uint8_t low, std::uint8_t high, std::uint8_t last) {
        if (low < col_.low) {
            col_.low = low;
            col_.low_before_high = false;
        }
        if (high > col_.high) {
            col_.high = high;
            col_.low_before_high = true;
        }
        col_.last = last;
    }

    // First, then the extremes in the order they came, then last: the
    // column's vertical stroke plus the joins to both neighbours.
    void flush() {
        if (!col_.open)
            return;
        const std::size_t begin = out_.starts.back();
        emit(begin, col_.first);
        emit(begin, col_.low_before_high ? col_.low : col_.high);
        emit(begin, col_.low_before_high ? col_.high : col_.low);
        emit(begin, col_.last);
        col_.open = false;
    }

private:
    void emit(std::size_t polyline_begin, std::uint8_t v) {
        const QPointF p(col_.x, v);
        if (out_.points.size() > polyline_begin && out_.points.back() == p)
            return;
        out_.points.push_back(p);
    }

    trace& out_;
    column col_;
};

} // namespace

void reduce(const point_series& series, const gap_rule& gaps, double from, double to, int columns,
            trace_set& out) {
    for (trace& t : out.sensor)
        t.clear();
    out.lowest.reset();
    out.highest.reset();
    if (series.empty() || columns <= 0 || !(from < to))
        return;

    const auto& pts = series.points();
    const double scale = columns / (to - from);
    const std::uint32_t limit = gaps.limit();
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
        for (std::size_t i = a; i < lo_i; ++i)
            step(i, 0), step(i, 1);
        // Inside the window, column by column and sensor by sensor: a
        // stretch of readings that all join goes through one tight loop that
        // only keeps its extremes; the point that breaks it takes the
        // general way.
        for (std::size_t i = lo_i; i < hi_i;) {
            const int bin = bin_of(pts[i]);
            const std::size_t e = static_cast<std::size_t>(
                std::partition_point(pts.begin() + static_cast<std::ptrdiff_t>(i), hi,
                                     [&](const log_point& p) { return bin_of(p) == bin; }) -
                pts.begin());
            for (int s = 0; s < 2; ++s) {
                for (std::size_t k = i; k < e;) {
                    step(k, s);
                    if (pts[k].sensor[s] == no_reading) {
                        ++k;
                        continue;
                    }
                    std::uint8_t low = 255, high = 0;
                    std::size_t j = k + 1;
                    for (; j < e; ++j) {
                        const std::uint8_t v = pts[j].sensor[s];
                        if (v == no_reading || pts[j].time - pts[j - 1].time > limit)
                            break;
                        low = std::min(low, v);
                        high = std::max(high, v);
                    }
                    if (j > k + 1) {
                        reducers[s].absorb(low, high, pts[j - 1].sensor[s]);
                        lowest = std::min<int>(lowest, low);
                        highest = std::max<int>(highest, high);
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

} // namespace history
