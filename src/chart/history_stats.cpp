#include "chart/history_stats.h"

#include "chart/history_view.h"
#include "rules/numbers.h"

#include <algorithm>
#include <cmath>

namespace chart {

namespace {

struct sums {
    std::int64_t weight = 0, weighted = 0, above = 0, below = 0;
    int min = 255, max = -1;
};

// The gap rule's two figures, both in seconds, named so that they cannot
// trade places: a step of up to `limit` weighs its length, any other one
// `period`.
struct step_weights {
    std::uint32_t limit;
    std::uint32_t period;
};

// One point of one sensor into its sums, `next` the line after it in the
// file; inline so that the loops over points stay tight.
inline void add_reading(sums& a, const log_point& p, const log_point* next, int s,
                        step_weights steps, const reading_bounds& bounds) {
    const int v = p.sensor[s];
    if (v == no_reading)
        return;
    // As gap_rule::seconds_until: the time to the next line (an earlier one
    // wraps here and weighs one period).
    const std::uint32_t dt = next ? next->time - p.time : 0;
    const std::int64_t w = dt - 1 < steps.limit ? dt : steps.period;
    a.weight += w;
    a.weighted += w * v;
    a.above += v >= bounds.high ? w : 0;
    a.below += v <= bounds.low ? w : 0;
    a.min = std::min(a.min, v);
    a.max = std::max(a.max, v);
}

inline void add_point(sums& a, std::span<const log_point> pts, std::size_t i, int s,
                      step_weights steps, const reading_bounds& bounds) {
    add_reading(a, pts[i], i + 1 < pts.size() ? &pts[i + 1] : nullptr, s, steps, bounds);
}

std::array<sensor_summary, 2> figures_of(const std::array<sums, 2>& acc,
                                         const std::array<sensor_limits, 2>& limits) {
    std::array<sensor_summary, 2> out;
    for (int s = 0; s < 2; ++s) {
        const sums& a = acc[s];
        if (a.weight <= 0)
            continue;
        out[s].any = true;
        out[s].min = a.min;
        out[s].max = a.max;
        const auto weight = static_cast<double>(a.weight);
        out[s].mean = static_cast<double>(a.weighted) / weight;
        if (limits[s].high)
            out[s].above_high = static_cast<double>(a.above) / weight;
        if (limits[s].low)
            out[s].below_low = static_cast<double>(a.below) / weight;
    }
    return out;
}

} // namespace

std::array<reading_bounds, 2> bounds_of(const std::array<sensor_limits, 2>& limits) {
    const auto whole = [](double v, int otherwise) {
        return rules::to_int32_half_even(std::clamp(v, -1.0, 256.0)).value_or(otherwise);
    };
    std::array<reading_bounds, 2> out;
    for (int s = 0; s < 2; ++s) {
        if (limits[s].high)
            out[s].high = whole(std::ceil(*limits[s].high), 256);
        if (limits[s].low)
            out[s].low = whole(std::floor(*limits[s].low), -1);
    }
    return out;
}

std::array<sensor_summary, 2> summarize(const point_series& series,
                                        std::span<const index_range> ranges, const gap_rule& gaps,
                                        const std::array<sensor_limits, 2>& limits) {
    const auto bounds = bounds_of(limits);
    const auto& pts = series.points();
    const step_weights steps{.limit = gaps.limit(), .period = gaps.period_seconds};
    std::array<sums, 2> acc;
    // One sensor at a time, with its sums in locals: the loop stays tight.
    for (int s = 0; s < 2; ++s) {
        sums a;
        for (const index_range& r : ranges)
            for (std::size_t i = r.begin; i < r.end; ++i)
                add_point(a, pts, i, s, steps, bounds[s]);
        acc[s] = a;
    }
    return figures_of(acc, limits);
}

std::array<sensor_summary, 2> summarize(const log_index& index, const log_window& w) {
    const auto bounds = bounds_of(index.limits());
    const step_weights steps{.limit = index.gaps().limit(), .period = index.gaps().period_seconds};
    std::array<sums, 2> acc;
    for (const log_window::visit& v : w.visits) {
        const log_block& b = index[v.block];
        const log_point* after = v.block + 1 < index.size() ? &index[v.block + 1].first : nullptr;
        if (b.min_time >= w.from && b.max_time <= w.to) {
            // Its sums, and its last point weighed up to the line after it.
            for (int s = 0; s < 2; ++s) {
                const block_sensor& block = b.sensor[s];
                sums& a = acc[s];
                a.weight += block.weight;
                a.weighted += block.weighted;
                a.above += block.above;
                a.below += block.below;
                if (block.low != no_reading) {
                    a.min = std::min<int>(a.min, block.low);
                    a.max = std::max<int>(a.max, block.high);
                }
                add_reading(a, b.last, after, s, steps, bounds[s]);
            }
            continue;
        }
        if (v.how != log_window::use::points)
            continue;
        const std::span<const log_point> pts(w.points.data() + v.first_point, b.points);
        for (std::size_t i = 0; i < pts.size(); ++i) {
            if (pts[i].time < w.from || pts[i].time > w.to)
                continue;
            const log_point* next = i + 1 < pts.size() ? &pts[i + 1] : after;
            for (int s = 0; s < 2; ++s)
                add_reading(acc[s], pts[i], next, s, steps, bounds[s]);
        }
    }
    return figures_of(acc, index.limits());
}

} // namespace chart
