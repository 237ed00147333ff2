#pragma once

#include "chart/history_index.h"
#include "chart/history_view.h"

#include <algorithm>
#include <memory>
#include <vector>

// Indexes of points held in memory, for the rules tests: blocks of `block`
// points each, read back from a copy of the points.
inline chart::log_index index_of(const std::vector<chart::log_point>& points,
                                 const chart::gap_rule& gaps,
                                 const std::array<chart::sensor_limits, 2>& limits = {},
                                 std::size_t block = 256) {
    chart::log_index index(gaps, limits);
    for (std::size_t at = 0; at < points.size(); at += block) {
        const std::size_t n = std::min(block, points.size() - at);
        index.add_block(std::span(points).subspan(at, n), at, static_cast<std::uint32_t>(n));
    }
    index.set_source(std::make_shared<chart::memory_points>(points));
    return index;
}
