#include "chart/report_figures.h"

#include <algorithm>

namespace chart {

namespace {

// What one reading stands for: its value over [from, to), inside the period.
struct stretch {
    std::int64_t from;
    std::int64_t to;
    int value;
};

// An excursion being followed, beyond one threshold.
struct open_run {
    bool open = false;
    excursion run;
};

// One sensor's readings through the period, one stretch of time each.
class sensor_walk {
public:
    sensor_walk(int sensor, const report_period& period, const reading_bounds& bounds,
                report_figures& out)
        : sensor_(sensor)
        , period_(period)
        , bounds_(bounds)
        , out_(out)
        , covered_until_(period.start) {
        high_.run = {sensor, true, 0, 0, 0};
        low_.run = {sensor, false, 0, 0, 0};
    }

    void reading(const stretch& r) {
        if (r.from > covered_until_)
            out_.gaps.push_back({sensor_, covered_until_, r.from});
        covered_until_ = r.to;
        tally(r);
        follow(high_, r.value >= bounds_.high, r);
        follow(low_, r.value <= bounds_.low, r);
    }

    void finish() {
        if (covered_until_ < period_.end)
            out_.gaps.push_back({sensor_, covered_until_, period_.end});
        for (open_run* r : {&high_, &low_})
            if (r->open)
                out_.excursions.push_back(r->run);
    }

private:
    // Into the tallies of the days it falls on.
    void tally(const stretch& r) {
        const int v = r.value;
        for (std::int64_t a = r.from; a < r.to;) {
            while (period_.days[day_].end <= a)
                ++day_;
            const std::int64_t end = std::min(r.to, period_.days[day_].end);
            sensor_tally& t = out_.days[day_][sensor_];
            const std::int64_t seconds = end - a;
            t.covered += seconds;
            t.weighted += seconds * v;
            t.above += v >= bounds_.high ? seconds : 0;
            t.below += v <= bounds_.low ? seconds : 0;
            t.min = std::min(t.min, v);
            t.max = std::max(t.max, v);
            a = end;
        }
    }

    // A run goes on only from where the last of its readings ran out.
    void follow(open_run& r, bool beyond, const stretch& s) {
        if (r.open && (!beyond || r.run.end != s.from)) {
            out_.excursions.push_back(r.run);
            r.open = false;
        }
        if (!beyond)
            return;
        if (!r.open) {
            r.open = true;
            r.run.start = s.from;
            r.run.peak = s.value;
        }
        r.run.end = s.to;
        r.run.peak = r.run.high ? std::max(r.run.peak, s.value) : std::min(r.run.peak, s.value);
    }

    int sensor_;
    const report_period& period_;
    reading_bounds bounds_;
    report_figures& out_;
    std::int64_t covered_until_;
    std::size_t day_ = 0;
    open_run high_;
    open_run low_;
};

void add(sensor_tally& into, const sensor_tally& t) {
    into.covered += t.covered;
    into.weighted += t.weighted;
    into.above += t.above;
    into.below += t.below;
    into.min = std::min(into.min, t.min);
    into.max = std::max(into.max, t.max);
}

} // namespace

report_figures figures_of(std::span<const log_point> points, const report_period& period,
                          const gap_rule& gaps, const std::array<reading_bounds, 2>& bounds) {
    report_figures out;
    out.days.resize(period.days.size());
    for (std::size_t d = 0; d < period.days.size(); ++d)
        for (sensor_tally& t : out.days[d])
            t.seconds = period.days[d].seconds();
    for (int s = 0; s < 2; ++s) {
        sensor_walk walk(s, period, bounds[s], out);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const log_point& p = points[i];
            if (p.sensor[s] == no_reading)
                continue;
            // Sorted, so the next line is never earlier; one of the same
            // second takes its place.
            const std::int64_t step =
                i + 1 < points.size() ? std::int64_t(points[i + 1].time) - p.time : -1;
            const std::int64_t lasts =
                step >= 0 && step <= gaps.limit() ? step : gaps.period_seconds;
            const std::int64_t a = std::max<std::int64_t>(p.time, period.start);
            const std::int64_t b = std::min<std::int64_t>(p.time + lasts, period.end);
            if (a < b)
                walk.reading({a, b, p.sensor[s]});
        }
        walk.finish();
    }
    const auto by_start = [](const auto& x, const auto& y) {
        return x.start != y.start ? x.start < y.start : x.sensor < y.sensor;
    };
    std::stable_sort(out.excursions.begin(), out.excursions.end(), by_start);
    std::stable_sort(out.gaps.begin(), out.gaps.end(), by_start);
    for (int s = 0; s < 2; ++s) {
        out.total[s].seconds = period.seconds();
        for (const auto& day : out.days)
            add(out.total[s], day[s]);
    }
    return out;
}

} // namespace chart
