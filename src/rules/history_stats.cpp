#include "rules/history_stats.h"

#include "rules/numbers.h"

#include <algorithm>
#include <cmath>

namespace history {

std::array<sensor_summary, 2> summarize(const point_series& series,
                                        std::span<const index_range> ranges, const gap_rule& gaps,
                                        const std::array<sensor_limits, 2>& limits) {
    struct sums {
        std::int64_t weight = 0, weighted = 0, above = 0, below = 0;
        int min = 255, max = -1;
    };
    std::array<sums, 2> acc;
    // Readings are whole numbers: "at or above 25.5" is "at or above 26".
    // A threshold not in force is one no reading reaches.
    const auto whole = [](double v, int otherwise) {
        return rules::to_int32_half_even(std::clamp(v, -1.0, 256.0)).value_or(otherwise);
    };
    int high[2], low[2];
    for (int s = 0; s < 2; ++s) {
        high[s] = limits[s].high ? whole(std::ceil(*limits[s].high), 256) : 256;
        low[s] = limits[s].low ? whole(std::floor(*limits[s].low), -1) : -1;
    }
    const auto& pts = series.points();
    const std::uint32_t limit = gaps.limit();
    const std::uint32_t period = gaps.period_seconds;
    // One sensor at a time, with its sums in locals: the loop stays tight.
    for (int s = 0; s < 2; ++s) {
        sums a;
        for (const index_range& r : ranges) {
            for (std::size_t i = r.begin; i < r.end; ++i) {
                const log_point& p = pts[i];
                const int v = p.sensor[s];
                if (v == no_reading)
                    continue;
                // As gap_rule::seconds_until: the time to the next line of
                // the run (an earlier one starts another run and wraps here).
                const std::uint32_t dt = i + 1 < pts.size() ? pts[i + 1].time - p.time : 0;
                const std::int64_t w = dt - 1 < limit ? dt : period;
                a.weight += w;
                a.weighted += w * v;
                a.above += v >= high[s] ? w : 0;
                a.below += v <= low[s] ? w : 0;
                a.min = std::min(a.min, v);
                a.max = std::max(a.max, v);
            }
        }
        acc[s] = a;
    }
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

} // namespace history
