#include "chart/history_trace.h"

#include "chart/history_view.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>

namespace chart {

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

// Every point the general way: the reference the block summaries are held
// to, and quick enough for a report's period.
void reduce_points(const point_series& series, const gap_rule& gaps, double from, double to,
                   int columns, trace_set& out) {
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

    sensor_reducer reducers[2] = {sensor_reducer(out.sensor[0], columns),
                                  sensor_reducer(out.sensor[1], columns)};
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
        for (std::size_t i = a; i < b; ++i) {
            const log_point& p = pts[i];
            const bool inside = p.time >= from && p.time <= to;
            // Points outside keep their true position in bins of their own.
            const int bin =
                inside ? column_of(p.time, from, scale, columns) : (p.time < from ? -1 : columns);
            const double x = inside ? bin + 0.5 : (p.time - from) * scale;
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
                reducers[s].add(bin, x, v, i > a && gaps.joins(pts[i - 1], p, s));
            }
        }
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

// Whether a line is drawn in the window: inside it, or the neighbour just
// outside of one inside (or of one on its other side), that a line runs on
// to. `before` and `after` are the lines around it in the file.
bool drawn(const log_point& p, const log_point* before, const log_point* after, double from,
           double to) {
    if (p.time < from)
        return after && after->time >= from;
    if (p.time > to)
        return before && before->time <= to;
    return true;
}

// The reduction of a window gathered from an index.
class index_reducer {
public:
    index_reducer(const log_index& index, const log_window& w, trace_set& out)
        : index_(index)
        , w_(w)
        , scale_(w.columns / (w.to - w.from))
        , reducers_{sensor_reducer(out.sensor[0], w.columns),
                    sensor_reducer(out.sensor[1], w.columns)} {}

    // One line, as the point-by-point way takes it; `before` is the line
    // before it in the file. A line outside the window never joins the one
    // before it: that one lies further out.
    void step(const log_point& p, const log_point* before) {
        const bool inside = p.time >= w_.from && p.time <= w_.to;
        const int bin = inside ? column_of(p.time, w_.from, scale_, w_.columns)
                               : (p.time < w_.from ? -1 : w_.columns);
        const double x = inside ? bin + 0.5 : (p.time - w_.from) * scale_;
        for (int s = 0; s < 2; ++s) {
            const std::uint8_t v = p.sensor[s];
            if (v == no_reading) {
                reducers_[s].flush();
                continue;
            }
            if (inside) {
                lowest_ = std::min<int>(lowest_, v);
                highest_ = std::max<int>(highest_, v);
            }
            const bool joined = before && p.time >= w_.from && index_.gaps().joins(*before, p, s);
            reducers_[s].add(bin, x, v, joined);
        }
    }

    // A block inside the window and inside one column, from its summary:
    // its runs go into the column as their points would, one after the
    // other, and the readings that stand alone as dots.
    void replay(const log_block& b, const log_point* before) {
        const int bin = column_of(b.min_time, w_.from, scale_, w_.columns);
        const double x = bin + 0.5;
        for (int s = 0; s < 2; ++s) {
            const block_sensor& bs = b.sensor[s];
            if (bs.runs == 0)
                continue;
            lowest_ = std::min<int>(lowest_, bs.low);
            highest_ = std::max<int>(highest_, bs.high);
            sensor_reducer& red = reducers_[s];
            const bool joined = before && index_.gaps().joins(*before, b.first, s);
            red.add(bin, x, bs.head.first, joined);
            red.absorb(extremes_of(bs.head), bs.head.last);
            if (bs.middle != 0) {
                const block_middle& m = index_.middle(bs);
                for (const reading_run& r : index_.runs_of(m)) {
                    red.add(bin, x, r.first, false);
                    red.absorb(extremes_of(r), r.last);
                }
                red.add_dots(bin, m.dots);
            }
            if (bs.runs >= 2) {
                red.add(bin, x, bs.tail.first, false);
                red.absorb(extremes_of(bs.tail), bs.tail.last);
            }
        }
    }

    void visit(const log_window::visit& v) {
        const log_block& b = index_[v.block];
        const log_point* before = v.block > 0 ? &index_[v.block - 1].last : nullptr;
        const log_point* after = v.block + 1 < index_.size() ? &index_[v.block + 1].first : nullptr;
        switch (v.how) {
        case log_window::use::summary:
            replay(b, before);
            break;
        case log_window::use::edges:
            // Only the last line of a block before the window may be drawn,
            // and only the first of one after it.
            if (b.max_time < w_.from)
                step(b.last, nullptr);
            else
                step(b.first, before);
            break;
        case log_window::use::points: {
            const log_point* pts = w_.points.data() + v.first_point;
            for (std::size_t i = 0; i < b.points; ++i) {
                const log_point* prev = i > 0 ? &pts[i - 1] : before;
                const log_point* next = i + 1 < b.points ? &pts[i + 1] : after;
                if (drawn(pts[i], prev, next, w_.from, w_.to))
                    step(pts[i], prev);
            }
            break;
        }
        }
    }

    void finish(trace_set& out) {
        for (sensor_reducer& red : reducers_)
            red.finish();
        if (lowest_ <= highest_) {
            out.lowest = lowest_;
            out.highest = highest_;
        }
    }

private:
    static extremes extremes_of(const reading_run& r) { return {r.low, r.high, r.low_before_high}; }

    const log_index& index_;
    const log_window& w_;
    double scale_;
    sensor_reducer reducers_[2];
    int lowest_ = INT_MAX;
    int highest_ = INT_MIN;
};

} // namespace

void column_strokes(const trace& t, std::vector<QLineF>& lines, std::vector<QPointF>& dots) {
    for (std::size_t i = 0; i < t.polyline_count(); ++i) {
        const std::size_t e = t.polyline_end(i);
        if (e - t.starts[i] == 1) {
            dots.push_back(t.points[t.starts[i]]);
            continue;
        }
        for (std::size_t k = t.starts[i]; k < e;) {
            const double x = t.points[k].x();
            double low = t.points[k].y();
            double high = low;
            std::size_t j = k + 1;
            for (; j < e && t.points[j].x() == x; ++j) {
                low = std::min(low, t.points[j].y());
                high = std::max(high, t.points[j].y());
            }
            if (high > low)
                lines.emplace_back(x, low, x, high);
            if (j < e)
                lines.emplace_back(t.points[j - 1], t.points[j]);
            k = j;
        }
    }
}

void reduce(const point_series& series, const gap_rule& gaps, double from, double to, int columns,
            trace_set& out) {
    reduce_points(series, gaps, from, to, columns, out);
}

void reduce(const log_index& index, const log_window& w, trace_set& out) {
    for (trace& t : out.sensor)
        t.clear();
    out.lowest.reset();
    out.highest.reset();
    if (w.visits.empty() || w.columns <= 0 || !(w.from < w.to))
        return;
    index_reducer reducer(index, w, out);
    for (const log_window::visit& v : w.visits)
        reducer.visit(v);
    reducer.finish(out);
}

} // namespace chart
