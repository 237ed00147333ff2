#include "chart/history_ticks.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace chart {

namespace {

constexpr std::int64_t minute = 60;
constexpr std::int64_t hour = 3600;
constexpr std::int64_t day = 86400;

std::int64_t floor_mod(std::int64_t a, std::int64_t b) {
    return a - floor_div(a, b) * b;
}

enum class unit { seconds, days, weeks, months, years };

struct step {
    unit in;
    std::int64_t count;
    // The shortest time between two ticks at this step, an hour less for
    // the days that summer time shortens.
    std::int64_t shortest;
};

constexpr step steps[] = {
    {unit::seconds, 5, 5},
    {unit::seconds, 10, 10},
    {unit::seconds, 15, 15},
    {unit::seconds, 30, 30},
    {unit::seconds, minute, minute},
    {unit::seconds, 2 * minute, 2 * minute},
    {unit::seconds, 5 * minute, 5 * minute},
    {unit::seconds, 10 * minute, 10 * minute},
    {unit::seconds, 15 * minute, 15 * minute},
    {unit::seconds, 30 * minute, 30 * minute},
    {unit::seconds, hour, hour},
    {unit::seconds, 2 * hour, 2 * hour},
    {unit::seconds, 3 * hour, 3 * hour},
    {unit::seconds, 6 * hour, 6 * hour},
    {unit::seconds, 12 * hour, 12 * hour},
    {unit::days, 1, day - hour},
    {unit::days, 2, 2 * day - hour},
    {unit::weeks, 1, 7 * day - hour},
    {unit::months, 1, 28 * day - hour},
    {unit::months, 3, 89 * day - hour},
    {unit::months, 6, 181 * day - hour},
    {unit::years, 1, 365 * day - hour},
    {unit::years, 2, 2 * (365 * day)},
    {unit::years, 5, 5 * (365 * day)},
    {unit::years, 10, 10 * (365 * day)},
    {unit::years, 20, 20 * (365 * day)},
    {unit::years, 50, 50 * (365 * day)},
    {unit::years, 100, 100 * (365 * day)},
};

// Never more ticks than this, whatever gap is asked for.
constexpr double most_ticks = 500;

QString label_of(std::int64_t utc, const step& at, local_clock& clock) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::int64_t local = utc + clock.offset_at_utc(utc);
    const std::int64_t days = floor_div(local, day);
    const auto secs = static_cast<int>(local - days * day);
    const civil date = civil_from_days(days);
    switch (at.in) {
    case unit::seconds:
        if (secs != 0)
            return at.count < 60
                       ? QString::asprintf("%02d:%02d:%02d", secs / 3600, secs / 60 % 60, secs % 60)
                       : QString::asprintf("%02d:%02d", secs / 3600, secs / 60 % 60);
        // Midnight says which day begins.
        [[fallthrough]];
    case unit::days:
    case unit::weeks:
        return QString::asprintf("%02d-%02d", date.month, date.day);
    case unit::months:
        return QString::asprintf("%s %d", months[date.month - 1], date.year);
    case unit::years:
        break;
    }
    return QString::number(date.year);
}

} // namespace

std::vector<time_tick> time_ticks(double from, double to, double min_gap, local_clock& clock) {
    std::vector<time_tick> out;
    // Far beyond any log: 1900 to 2200.
    constexpr double earliest = -2208988800.0, latest = 7258118400.0;
    if (!(from <= to) || from < earliest || to > latest)
        return out;
    const double gap = std::max(min_gap, (to - from) / most_ticks);
    const step* chosen = std::find_if(std::begin(steps), std::end(steps), [&](const step& s) {
        return static_cast<double>(s.shortest) >= gap;
    });
    if (chosen == std::end(steps))
        chosen = std::end(steps) - 1;
    const step& at = *chosen;
    const auto first = static_cast<std::int64_t>(std::ceil(from));
    const auto last = static_cast<std::int64_t>(std::floor(to));
    const auto add = [&](std::int64_t t) {
        if (t >= first && t <= last && (out.empty() || t > out.back().time))
            out.push_back({t, label_of(t, at, clock)});
    };

    if (at.in == unit::seconds && at.count <= hour) {
        // In UTC, so that the hour repeated when the clocks go back has its
        // ticks too; aligned to round local times, which a change of offset
        // by whole hours keeps.
        std::int64_t t = floor_div(first + clock.offset_at_utc(first), at.count) * at.count -
                         clock.offset_at_utc(first);
        while (t <= last) {
            const std::int64_t off_round = floor_mod(t + clock.offset_at_utc(t), at.count);
            if (off_round != 0) {
                t += at.count - off_round;
                continue;
            }
            add(t);
            t += at.count;
        }
        return out;
    }

    // Round local wall-clock times from the day before `from` on.
    const std::int64_t first_day = floor_div(first + clock.offset_at_utc(first), day) - 1;
    const auto local_midnight = [&](std::int64_t days) { return clock.to_utc(days * day); };
    switch (at.in) {
    case unit::seconds:
        for (std::int64_t d = first_day; local_midnight(d) <= last; ++d)
            for (std::int64_t h = 0; h < day; h += at.count)
                add(clock.to_utc(d * day + h));
        break;
    case unit::days:
    case unit::weeks: {
        // Every other day counted from 1970; weeks begin on Monday, and
        // 1970-01-01 was a Thursday.
        const std::int64_t every = at.in == unit::weeks ? 7 * at.count : at.count;
        const std::int64_t phase = at.in == unit::weeks ? 4 : 0;
        for (std::int64_t d = first_day - floor_mod(first_day - phase, every);
             local_midnight(d) <= last; d += every)
            add(local_midnight(d));
        break;
    }
    case unit::months:
    case unit::years: {
        const civil start = civil_from_days(first_day);
        const std::int64_t months = at.in == unit::years ? 12 * at.count : at.count;
        std::int64_t m = std::int64_t(start.year) * 12 + (start.month - 1);
        m -= floor_mod(m, months);
        for (;; m += months) {
            const auto year = static_cast<int>(floor_div(m, 12));
            const auto month = static_cast<int>(floor_mod(m, 12)) + 1;
            const std::int64_t t = local_midnight(days_from_civil(year, month, 1));
            if (t > last)
                break;
            add(t);
        }
        break;
    }
    }
    return out;
}

} // namespace chart
