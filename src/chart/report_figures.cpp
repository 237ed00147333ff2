#include "chart/report_figures.h"

#include <algorithm>
#include <cmath>

namespace chart {

namespace {

// What one reading stands for: its value over [from, to), inside the period.
struct stretch {
    std::int64_t from;
    std::int64_t to;
    int value;
};

// The settings that judge one reading.
struct judgement {
    reading_bounds bounds;
    std::int64_t hold = 60;
    std::int64_t delay = 0;
    bool on = false;
    bool recorded = false;
};

// exp(-ΔH/RT) of each reading a log can hold.
const std::array<double, 256>& arrhenius_of() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (std::size_t v = 0; v < t.size(); ++v)
            t[v] = std::exp(-mkt_activation_kelvin / (double(v) + 273.15));
        return t;
    }();
    return table;
}

// An excursion being followed, beyond one threshold.
struct open_run {
    bool open = false;
    std::int64_t unbroken_from = 0;
    excursion run;
};

// The day of the period a time falls on (the first or last for one
// outside), for times asked in order.
class day_finder {
public:
    explicit day_finder(const report_period& period)
        : days_(period.days) {}
    std::size_t at(std::int64_t t) {
        if (days_.empty())
            return 0;
        if (t < days_[day_].start)
            day_ = 0;
        while (day_ + 1 < days_.size() && days_[day_].end <= t)
            ++day_;
        return day_;
    }

private:
    const std::vector<report_day>& days_;
    std::size_t day_ = 0;
};

// One sensor's readings through the period, one stretch of time each.
class sensor_walk {
public:
    sensor_walk(int sensor, const report_period& period, report_figures& out)
        : sensor_(sensor)
        , period_(period)
        , out_(out)
        , covered_until_(period.start) {
        high_.run.sensor = low_.run.sensor = sensor;
        low_.run.high = false;
    }

    void reading(const stretch& r, const judgement& j) {
        if (r.from > covered_until_)
            out_.gaps.push_back({sensor_, covered_until_, r.from});
        covered_until_ = r.to;
        tally(r, j.bounds);
        follow(high_, r.value >= j.bounds.high, r, j);
        follow(low_, r.value <= j.bounds.low, r, j);
    }

    void finish() {
        if (covered_until_ < period_.end)
            out_.gaps.push_back({sensor_, covered_until_, period_.end});
        for (open_run* r : {&high_, &low_})
            if (r->open)
                out_.excursions.push_back(r->run);
    }

private:
    // Into the tallies of the days it falls on; the reading is counted on
    // the day it begins in.
    void tally(const stretch& r, const reading_bounds& bounds) {
        const int v = r.value;
        const double arrhenius = arrhenius_of()[std::size_t(v)];
        bool counted = false;
        for (std::int64_t a = r.from; a < r.to;) {
            while (period_.days[day_].end <= a)
                ++day_;
            const std::int64_t end = std::min(r.to, period_.days[day_].end);
            sensor_tally& t = out_.days[day_][sensor_];
            const std::int64_t seconds = end - a;
            t.readings += counted ? 0 : 1;
            counted = true;
            t.covered += seconds;
            t.weighted += seconds * v;
            t.arrhenius += double(seconds) * arrhenius;
            t.above += v >= bounds.high ? seconds : 0;
            t.below += v <= bounds.low ? seconds : 0;
            if (v < t.min) {
                t.min = v;
                t.min_at = a;
            }
            if (v > t.max) {
                t.max = v;
                t.max_at = a;
            }
            a = end;
        }
    }

    // A run goes on through readings within limits and gaps shorter than
    // the clear hold, as the alarm does.
    void follow(open_run& r, bool beyond, const stretch& s, const judgement& j) {
        if (!beyond)
            return;
        if (r.open && s.from > r.run.end && s.from - r.run.end >= j.hold) {
            out_.excursions.push_back(r.run);
            r.open = false;
        }
        if (!r.open) {
            r.open = true;
            r.run.start = s.from;
            r.run.peak = s.value;
            r.run.peak_at = s.from;
            r.run.longest = 0;
            r.run.delay = j.delay;
            r.run.alarm_on = j.on;
            r.run.recorded = j.recorded;
            r.unbroken_from = s.from;
        } else if (s.from != r.run.end) {
            r.unbroken_from = s.from;
        }
        r.run.end = s.to;
        r.run.longest = std::max(r.run.longest, s.to - r.unbroken_from);
        if (r.run.high ? s.value > r.run.peak : s.value < r.run.peak) {
            r.run.peak = s.value;
            r.run.peak_at = s.from;
        }
    }

    int sensor_;
    const report_period& period_;
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
    into.readings += t.readings;
    into.arrhenius += t.arrhenius;
    if (t.min < into.min) {
        into.min = t.min;
        into.min_at = t.min_at;
    }
    if (t.max > into.max) {
        into.max = t.max;
        into.max_at = t.max_at;
    }
}

std::uint32_t median(std::vector<std::uint32_t>& v) {
    const auto middle = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    return *middle;
}

// The settings of each reading, worked out once per stretch of the journal.
class judge_cache {
public:
    judge_cache(const journal_record& j, int sensor)
        : j_(j)
        , sensor_(sensor) {}
    const judgement& at(std::int64_t t, std::uint32_t& period) {
        std::size_t hint = hint_;
        const settings_state& s = state_at(j_, t, hint);
        if (hint != hint_ || !made_) {
            hint_ = hint;
            made_ = true;
            const sensor_alarm& a = s.alarms[std::size_t(sensor_)];
            std::array<sensor_limits, 2> limits;
            limits[0] = {a.high, a.low};
            judged_.bounds = bounds_of(limits)[0];
            judged_.hold = s.hold;
            judged_.delay = s.delay[std::size_t(sensor_)];
            judged_.on = a.on;
            judged_.recorded = s.recorded;
        }
        period = s.period;
        return judged_;
    }

private:
    const journal_record& j_;
    int sensor_;
    std::size_t hint_ = 0;
    bool made_ = false;
    judgement judged_;
};

} // namespace

double sensor_tally::mean_kinetic() const {
    if (!any() || arrhenius <= 0)
        return 0;
    return mkt_activation_kelvin / -std::log(arrhenius / double(covered)) - 273.15;
}

std::vector<std::uint32_t> own_periods(std::span<const log_point> points,
                                       const report_period& period,
                                       std::optional<std::int64_t> until) {
    // The points are in the order of time, so each day's steps come
    // together and are done with before the next day's.
    std::vector<std::uint32_t> medians(period.days.size(), 0);
    std::vector<std::uint32_t> steps;
    std::vector<std::uint32_t> found; // the medians of days with enough steps
    std::size_t day = 0;
    const auto close_day = [&] {
        if (steps.size() >= 2) {
            medians[day] = median(steps);
            found.push_back(medians[day]);
        }
        steps.clear();
    };
    day_finder days(period);
    for (std::size_t i = 1; i < points.size() && !period.days.empty(); ++i) {
        const std::int64_t t = points[i].time;
        if (t < period.start || t >= period.end || points[i - 1].time < period.start ||
            t <= points[i - 1].time || (until && t > *until))
            continue;
        const std::size_t d = days.at(t);
        if (d != day) {
            close_day();
            day = d;
        }
        if (points[i - 1].time >= period.days[d].start)
            steps.push_back(std::uint32_t(t - points[i - 1].time));
    }
    if (!period.days.empty())
        close_day();
    const std::uint32_t overall = found.empty() ? 5 : median(found);
    for (std::uint32_t& m : medians)
        m = m == 0 ? overall : m;
    return medians;
}

report_figures figures_of(std::span<const log_point> points, const report_period& period,
                          const journal_record& settings) {
    report_figures out;
    out.days.resize(period.days.size());
    out.own_period = own_periods(points, period, settings.first);
    for (std::size_t d = 0; d < period.days.size(); ++d)
        for (sensor_tally& t : out.days[d])
            t.seconds = period.days[d].seconds();
    for (int s = 0; s < 2 && !period.days.empty(); ++s) {
        sensor_walk walk(s, period, out);
        judge_cache judge(settings, s);
        day_finder day(period);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const log_point& p = points[i];
            if (p.sensor[s] == no_reading)
                continue;
            std::uint32_t recorded_period = 0;
            const judgement& j = judge.at(p.time, recorded_period);
            const std::int64_t every =
                recorded_period > 0 ? recorded_period : out.own_period[day.at(p.time)];
            // Sorted, so the next line is never earlier; one of the same
            // second takes its place.
            const std::int64_t step =
                i + 1 < points.size() ? std::int64_t(points[i + 1].time) - p.time : -1;
            const std::int64_t lasts = step >= 0 && step <= 3 * every ? step : every;
            const std::int64_t a = std::max<std::int64_t>(p.time, period.start);
            const std::int64_t b = std::min<std::int64_t>(p.time + lasts, period.end);
            if (a < b)
                walk.reading({a, b, p.sensor[s]}, j);
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
