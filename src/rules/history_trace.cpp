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
        const auto hi = std::upper_bound(lo, last, to,
                                         [](double t, const log_point& p) { return t < p.time; });
        // One neighbour outside the window on each side, when the run has it.
        const std::size_t a = static_cast<std::size_t>(lo - pts.begin()) - (lo > first ? 1 : 0);
        const std::size_t b = static_cast<std::size_t>(hi - pts.begin()) + (hi < last ? 1 : 0);

        sensor_reducer reducers[2] = {sensor_reducer(out.sensor[0]),
                                      sensor_reducer(out.sensor[1])};
        for (std::size_t i = a; i < b; ++i) {
            const log_point& p = pts[i];
            const double x = (p.time - from) * scale;
            const bool inside = p.time >= from && p.time <= to;
            // Points outside keep their true position in bins of their own.
            const int bin =
                inside ? std::clamp(static_cast<int>(x), 0, columns - 1) : (p.time < from ? -1 : columns);
            const double at = inside ? bin + 0.5 : x;
            for (int s = 0; s < 2; ++s) {
                const std::uint8_t v = p.sensor[s];
                if (v == no_reading) {
                    reducers[s].flush();
                    continue;
                }
                if (inside) {
                    lowest = std::min<int>(lowest, v);
                    highest = std::max<int>(highest, v);
                }
                const bool joined = i > a && gaps.joins(pts[i - 1], p, s);
                reducers[s].add(bin, at, v, joined);
            }
        }
        for (sensor_reducer& red : reducers)
            red.flush();
    }
    if (lowest <= highest) {
        out.lowest = lowest;
        out.highest = highest;
    }
}

} // namespace history
