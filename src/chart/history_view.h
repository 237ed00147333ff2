#pragma once

#include "chart/history_index.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

// What a view of the log needs of its index: the blocks in a time window,
// and the points of those that their summary does not stand for, read back
// from the log; the point under the pointer; the latest time. Free of any
// widget.
namespace chart {

// The blocks that a window [from, to] of `columns` pixel columns touches,
// in the order of the file.
struct log_window {
    enum class use : std::uint8_t {
        summary, // every point inside the window, and all in one column
        points,  // its points, read back from the log
        edges,   // outside the window but for its first or last point, a
                 // neighbour that a line runs on to
    };
    struct visit {
        std::size_t block = 0;
        use how = use::summary;
        std::size_t first_point = 0; // into `points`, for use::points
    };
    double from = 0;
    double to = 0;
    int columns = 0;
    std::vector<visit> visits;
    std::vector<log_point> points;
    // Every block's points could be read back; where not (the log changed
    // meanwhile), those blocks are left out.
    bool complete = true;
};

// The column of pixel columns [0, columns) that `time` falls in.
inline int column_of(std::uint32_t time, double from, double scale, int columns) {
    const int bin = static_cast<int>((time - from) * scale);
    return bin < 0 ? 0 : bin >= columns ? columns - 1 : bin;
}

log_window gather(const log_index& index, double from, double to, int columns);

// The point nearest to `time`, or nullopt when there is none within
// `within` seconds; a tie goes to the later line of the file.
std::optional<log_point> nearest(const log_index& index, double time, double within);

// The latest time no later than `limit`, or nullopt when every point is
// later.
std::optional<std::uint32_t> latest_until(const log_index& index, std::uint32_t limit);

// Hands `take` the points with from <= time <= to, in the order of the
// file, some thousands at a time, until it returns false. False when the
// log changed under it.
bool for_each_between(const log_index& index, double from, double to,
                      const std::function<bool(std::span<const log_point>)>& take);

} // namespace chart
