#include "rules/history_blocks.h"

#include <algorithm>

namespace history {

void block_index::update(const point_series& series, const gap_rule& gaps,
                         const std::array<sensor_limits, 2>& limits, std::size_t most) {
    const bool same_settings = gaps.period_seconds == gaps_.period_seconds &&
                               limits[0].high == limits_[0].high &&
                               limits[0].low == limits_[0].low &&
                               limits[1].high == limits_[1].high && limits[1].low == limits_[1].low;
    std::size_t from = 0;
    if (&series == series_ && series.generation() == generation_ && same_settings &&
        series.size() >= points_) {
        if (series.size() == points_)
            return;
        // The last point of the last whole block weighs until the point after
        // it, which may just have come.
        from = blocks_.empty() ? 0 : blocks_.size() - 1;
    }
    series_ = &series;
    generation_ = series.generation();
    gaps_ = gaps;
    limits_ = limits;
    bounds_ = bounds_of(limits);
    if (from == 0) {
        blocks_.clear();
        dots_.clear();
    }
    const std::size_t whole = series.size() / block_size;
    const std::size_t last = std::min(whole, from + std::max<std::size_t>(1, most / block_size));
    points_ = last == whole ? series.size() : last * block_size;
    blocks_.resize(last);
    for (std::size_t b = from; b < last; ++b)
        summarise(series, b);
}

void block_index::summarise(const point_series& series, std::size_t block) {
    const auto& pts = series.points();
    const std::size_t begin = block * block_size;
    const std::size_t end = begin + block_size;
    // What both sensors share: each point's weight, and whether every step
    // in time inside the block is short enough to join.
    std::uint32_t weight[block_size];
    bool steps_join = true;
    for (std::size_t i = begin; i < end; ++i) {
        weight[i - begin] = gaps_.seconds_until(pts[i], i + 1 < pts.size() ? &pts[i + 1] : nullptr);
        if (i > begin && pts[i].time - pts[i - 1].time > gaps_.limit())
            steps_join = false;
    }
    for (int s = 0; s < 2; ++s) {
        block_sensor out;
        bool all_readings = true;
        int low = 256, high = -1;
        for (std::size_t i = begin; i < end; ++i) {
            const std::uint8_t v = pts[i].sensor[s];
            if (v == no_reading) {
                all_readings = false;
                continue;
            }
            const std::int64_t w = weight[i - begin];
            out.weight += w;
            out.weighted += w * v;
            out.above += v >= bounds_[s].high ? w : 0;
            out.below += v <= bounds_[s].low ? w : 0;
            // As a column takes its readings one by one: the extreme that
            // moved last is drawn second.
            if (v < low) {
                low = v;
                out.low_before_high = false;
            }
            if (v > high) {
                high = v;
                out.low_before_high = true;
            }
        }
        if (high >= 0) {
            out.low = static_cast<std::uint8_t>(low);
            out.high = static_cast<std::uint8_t>(high);
        }
        out.last = pts[end - 1].sensor[s];
        out.joined = all_readings && steps_join;
        out.lone = true;
        for (std::size_t i = begin + 1; i < end && out.lone; ++i)
            out.lone = !gaps_.joins(pts[i - 1], pts[i], s);
        readings inner{};
        for (std::size_t i = begin + 1; out.lone && i + 1 < end; ++i)
            if (const std::uint8_t v = pts[i].sensor[s]; v != no_reading)
                inner[v / 64] |= std::uint64_t(1) << (v % 64);
        // A block made again (the last one, after an append) keeps its place.
        out.dots = block < blocks_.size() ? blocks_[block][s].dots : 0;
        if (inner != readings{} || out.dots != 0) {
            if (out.dots == 0) {
                dots_.push_back(inner);
                out.dots = static_cast<std::uint32_t>(dots_.size());
            } else {
                dots_[out.dots - 1] = inner;
            }
        }
        blocks_[block][s] = out;
    }
}

} // namespace history
