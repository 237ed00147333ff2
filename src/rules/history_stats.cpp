#include "rules/history_stats.h"

#include <algorithm>

namespace history {

std::array<sensor_summary, 2> summarize(const point_series& series,
                                        std::span<const index_range> ranges, const gap_rule& gaps,
                                        const std::array<sensor_limits, 2>& limits) {
    struct sums {
        double weight = 0, weighted = 0, above = 0, below = 0;
        int min = 255, max = -1;
    };
    std::array<sums, 2> acc;
    const auto& pts = series.points();
    for (const index_range& r : ranges) {
        for (std::size_t i = r.begin; i < r.end; ++i) {
            const log_point& p = pts[i];
            // A later point with an earlier time starts another run.
            const log_point* next =
                i + 1 < pts.size() && pts[i + 1].time >= p.time ? &pts[i + 1] : nullptr;
            const double w = gaps.seconds_until(p, next);
            for (int s = 0; s < 2; ++s) {
                const int v = p.sensor[s];
                if (v == no_reading)
                    continue;
                sums& a = acc[s];
                a.weight += w;
                a.weighted += w * v;
                a.min = std::min(a.min, v);
                a.max = std::max(a.max, v);
                if (limits[s].high && v >= *limits[s].high)
                    a.above += w;
                if (limits[s].low && v <= *limits[s].low)
                    a.below += w;
            }
        }
    }
    std::array<sensor_summary, 2> out;
    for (int s = 0; s < 2; ++s) {
        const sums& a = acc[s];
        if (a.weight <= 0)
            continue;
        out[s].any = true;
        out[s].min = a.min;
        out[s].max = a.max;
        out[s].mean = a.weighted / a.weight;
        if (limits[s].high)
            out[s].above_high = a.above / a.weight;
        if (limits[s].low)
            out[s].below_low = a.below / a.weight;
    }
    return out;
}

} // namespace history
