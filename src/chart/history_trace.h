#pragma once

#include "chart/history_series.h"

#include <QLineF>
#include <QPointF>
#include <cstddef>
#include <optional>
#include <vector>

// What the chart draws for a time window: each pixel column reduced to the
// first, lowest, highest and last reading that fall in it, so a line over
// millions of points costs a few thousand vertices and a one-sample spike
// still shows at any zoom. Free of any widget.
namespace chart {

// One sensor's polylines; x in pixel columns from the window's left edge,
// y in degrees.
struct trace {
    std::vector<QPointF> points;
    // Index into `points` where each polyline begins. A polyline of one
    // point is a reading with no neighbour to join: it is drawn as a dot.
    std::vector<std::size_t> starts;

    void clear() {
        points.clear();
        starts.clear();
    }
    std::size_t polyline_count() const { return starts.size(); }
    std::size_t polyline_end(std::size_t i) const {
        return i + 1 < starts.size() ? starts[i + 1] : points.size();
    }
};

struct trace_set {
    trace sensor[2];
    // Lowest and highest reading inside the window, of either sensor.
    std::optional<int> lowest;
    std::optional<int> highest;
};

// A trace as straight lines, as the chart draws it: each column's points as
// one upright stroke from the lowest to the highest, and a line from a
// column's last point on to the next column's first; a polyline of one
// point goes to `dots`. What a pixel column can show, and at the same cost
// however often the readings step inside it.
void column_strokes(const trace& t, std::vector<QLineF>& lines, std::vector<QPointF>& dots);

class log_index;
struct log_window;

// Reduces the points with from <= time <= to to `columns` pixel columns,
// one point at a time. A line joins two neighbours only as gap_rule::joins
// allows; the neighbour just outside the window on each side is kept (at
// its true position) so that lines run on to the edges. `out` is reused to
// spare allocations.
void reduce(const point_series& series, const gap_rule& gaps, double from, double to, int columns,
            trace_set& out);

// The same reduction of a window gathered from an index, under the gap rule
// the index was made for: each block inside one column taken from its
// summary, the others point by point.
void reduce(const log_index& index, const log_window& w, trace_set& out);

} // namespace chart
