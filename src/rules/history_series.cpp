#include "rules/history_series.h"

#include <algorithm>
#include <cmath>

namespace history {

void point_series::clear() {
    points_.clear();
    points_.shrink_to_fit();
    run_starts_.clear();
    first_time_ = last_time_ = 0;
    ++generation_;
}

void point_series::append(std::span<const log_point> points) {
    if (points.empty())
        return;
    points_.reserve(points_.size() + points.size());
    for (const log_point& p : points) {
        if (points_.empty()) {
            run_starts_.push_back(0);
            first_time_ = last_time_ = p.time;
        } else if (p.time < points_.back().time) {
            run_starts_.push_back(points_.size());
        }
        first_time_ = std::min(first_time_, p.time);
        last_time_ = std::max(last_time_, p.time);
        points_.push_back(p);
    }
}

index_range point_series::run(std::size_t i) const {
    const std::size_t end = i + 1 < run_starts_.size() ? run_starts_[i + 1] : points_.size();
    return {run_starts_[i], end};
}

std::vector<index_range> point_series::between(double from, double to) const {
    std::vector<index_range> out;
    if (!(from <= to))
        return out;
    for (std::size_t r = 0; r < run_starts_.size(); ++r) {
        const index_range run_range = run(r);
        const auto first = points_.begin() + static_cast<std::ptrdiff_t>(run_range.begin);
        const auto last = points_.begin() + static_cast<std::ptrdiff_t>(run_range.end);
        if (to < first->time || (last - 1)->time < from)
            continue;
        const auto lo = std::lower_bound(first, last, from,
                                         [](const log_point& p, double t) { return p.time < t; });
        const auto hi =
            std::upper_bound(lo, last, to, [](double t, const log_point& p) { return t < p.time; });
        if (lo < hi)
            out.push_back({static_cast<std::size_t>(lo - points_.begin()),
                           static_cast<std::size_t>(hi - points_.begin())});
    }
    return out;
}

std::optional<std::size_t> point_series::nearest(double time, double within) const {
    std::optional<std::size_t> best;
    double best_distance = within;
    for (std::size_t r = 0; r < run_starts_.size(); ++r) {
        const index_range run_range = run(r);
        const auto first = points_.begin() + static_cast<std::ptrdiff_t>(run_range.begin);
        const auto last = points_.begin() + static_cast<std::ptrdiff_t>(run_range.end);
        const auto at = std::lower_bound(first, last, time,
                                         [](const log_point& p, double t) { return p.time < t; });
        const auto at_index = static_cast<std::size_t>(at - points_.begin());
        for (std::size_t i : {at_index - 1, at_index}) {
            // The one before `at` only when there is one in this run.
            if (i < run_range.begin || i >= run_range.end)
                continue;
            const double d = std::abs(static_cast<double>(points_[i].time) - time);
            if (d <= best_distance) {
                best_distance = d;
                best = i;
            }
        }
    }
    return best;
}

} // namespace history
