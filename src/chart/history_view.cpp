#include "chart/history_view.h"

#include <algorithm>
#include <cmath>

namespace chart {

namespace {

// The blocks that may hold times in [from, to]: found by halving when time
// never goes back, all of them otherwise.
std::pair<std::size_t, std::size_t> blocks_between(const log_index& index, double from, double to) {
    const auto blocks = index.blocks();
    if (!index.ascending())
        return {0, blocks.size()};
    const auto first = std::partition_point(
        blocks.begin(), blocks.end(), [from](const log_block& b) { return b.max_time < from; });
    const auto last = std::partition_point(first, blocks.end(),
                                           [to](const log_block& b) { return b.min_time <= to; });
    return {static_cast<std::size_t>(first - blocks.begin()),
            static_cast<std::size_t>(last - blocks.begin())};
}

// The points of `wanted`, or none when the log no longer holds them.
bool read_back(const log_index& index, std::span<const std::size_t> wanted,
               std::vector<log_point>& out) {
    out.clear();
    if (wanted.empty())
        return true;
    if (index.source() && index.source()->read(index, wanted, out))
        return true;
    out.clear();
    return false;
}

} // namespace

log_window gather(const log_index& index, double from, double to, int columns) {
    log_window w;
    w.from = from;
    w.to = to;
    w.columns = columns;
    if (index.empty() || columns <= 0 || !(from < to))
        return w;
    const double scale = columns / (to - from);
    auto [lo, hi] = blocks_between(index, from, to);
    // The neighbours on either side, for lines that run on to the edges.
    lo = lo > 0 ? lo - 1 : 0;
    hi = std::min(hi + 1, index.size());
    std::vector<std::size_t> wanted;
    for (std::size_t b = lo; b < hi; ++b) {
        const log_block& block = index[b];
        using use = log_window::use;
        if (block.max_time < from) {
            // Its last point, when the next one lies on or past the window.
            if (b + 1 < index.size() && index[b + 1].first.time >= from)
                w.visits.push_back({b, use::edges, 0});
        } else if (block.min_time > to) {
            if (b > 0 && index[b - 1].last.time <= to)
                w.visits.push_back({b, use::edges, 0});
        } else if (block.min_time >= from && block.max_time <= to &&
                   column_of(block.min_time, from, scale, columns) ==
                       column_of(block.max_time, from, scale, columns)) {
            w.visits.push_back({b, use::summary, 0});
        } else {
            w.visits.push_back({b, use::points, 0});
            wanted.push_back(b);
        }
    }
    if (!read_back(index, wanted, w.points)) {
        w.complete = false;
        std::erase_if(w.visits,
                      [](const log_window::visit& v) { return v.how == log_window::use::points; });
        return w;
    }
    std::size_t at = 0;
    for (log_window::visit& v : w.visits) {
        if (v.how != log_window::use::points)
            continue;
        v.first_point = at;
        at += index[v.block].points;
    }
    return w;
}

std::optional<log_point> nearest(const log_index& index, double time, double within) {
    const auto [lo, hi] = blocks_between(index, time - within, time + within);
    std::vector<std::size_t> wanted;
    for (std::size_t b = lo; b < hi; ++b)
        if (index[b].max_time >= time - within && index[b].min_time <= time + within)
            wanted.push_back(b);
    std::vector<log_point> points;
    if (!read_back(index, wanted, points))
        return std::nullopt;
    std::optional<log_point> best;
    double best_distance = within;
    for (const log_point& p : points) {
        const double d = std::abs(static_cast<double>(p.time) - time);
        if (d <= best_distance) {
            best_distance = d;
            best = p;
        }
    }
    return best;
}

std::optional<std::uint32_t> latest_until(const log_index& index, std::uint32_t limit) {
    const std::size_t end = blocks_between(index, 0, limit).second;
    std::optional<std::uint32_t> best;
    std::vector<std::size_t> wanted;
    // Where time never goes back, the last of those blocks holds it.
    for (std::size_t b = index.ascending() && end > 0 ? end - 1 : 0; b < end; ++b) {
        const log_block& block = index[b];
        if (block.min_time > limit || (best && block.max_time <= *best))
            continue;
        if (block.max_time <= limit)
            best = block.max_time;
        else
            wanted.push_back(b);
    }
    std::vector<log_point> points;
    if (!read_back(index, wanted, points))
        return best;
    for (const log_point& p : points)
        if (p.time <= limit && (!best || p.time > *best))
            best = p.time;
    return best;
}

bool for_each_between(const log_index& index, double from, double to,
                      const std::function<bool(std::span<const log_point>)>& take) {
    const auto [lo, hi] = blocks_between(index, from, to);
    std::vector<std::size_t> wanted;
    std::vector<log_point> points, inside;
    // Some hundreds of blocks at a time: a few MB of lines.
    constexpr std::size_t blocks_at_once = 512;
    for (std::size_t b = lo; b < hi;) {
        wanted.clear();
        for (; b < hi && wanted.size() < blocks_at_once; ++b)
            if (index[b].max_time >= from && index[b].min_time <= to)
                wanted.push_back(b);
        if (!read_back(index, wanted, points))
            return false;
        inside.clear();
        for (const log_point& p : points)
            if (p.time >= from && p.time <= to)
                inside.push_back(p);
        if (!inside.empty() && !take(inside))
            return true;
    }
    return true;
}

} // namespace chart
