// The report's rules: its figures on short runs of points, the days of a
// period across the clock changes, the lines a period covers, the dates
// and the paper.

#include "chart/report_figures.h"
#include "chart/report_lines.h"
#include "chart/report_period.h"
#include "chart/report_text.h"
#include "rules/log_rules.h"

#include <QDateTime>
#include <cmath>
#include <gtest/gtest.h>
#include <tuple>

namespace {

using chart::log_point;
using chart::no_reading;
using chart::reading_gap;

constexpr std::uint8_t none = no_reading;
// Monday 2026-11-02 00:00 UTC; the cases' times count from it.
constexpr std::int64_t base = 1793577600;

// Sensor, high (1) or low (0), start, end, peak; times from base.
using excursion = std::array<std::int64_t, 5>;

struct figures_case {
    const char* name;
    std::vector<std::array<int, 3>> points; // time from base, sensor 1, sensor 2
    std::vector<excursion> excursions;
    std::vector<reading_gap> gaps;
    std::array<std::int64_t, 2> covered;
    // Sensor 1's seconds at or above its high threshold and at or below
    // its low one.
    std::array<std::int64_t, 2> beyond;
    std::int64_t hold = 0; // the clear hold
};

// Settings the journal holds from before `base` on: a sampling period,
// sensor 1's thresholds, the clear hold.
chart::journal_record recorded(std::uint32_t period, std::optional<double> high,
                               std::optional<double> low, std::int64_t hold = 0) {
    chart::settings_state s;
    s.period = period;
    s.alarms[0] = {true, high, low};
    s.hold = hold;
    s.recorded = true;
    chart::journal_record j;
    j.stretches.push_back({base - 86400, s});
    return j;
}

// Sensor 1 reading `v1`, sensor 2 30 ºC, every 5 s over [from, to).
std::vector<std::array<int, 3>> every_5s(std::pair<int, int> times, int v1 = 20) {
    std::vector<std::array<int, 3>> out;
    for (int t = times.first; t < times.second; t += 5)
        out.push_back({t, v1, 30});
    return out;
}

std::vector<std::array<int, 3>> operator+(std::vector<std::array<int, 3>> a,
                                          const std::vector<std::array<int, 3>>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class report_figures : public testing::TestWithParam<figures_case> {};

// Ten minutes at 5 s; sensor 1 judged at 40 and 15, sensor 2 not at all.
// An excursion goes on through readings within limits and gaps shorter
// than the clear hold.
TEST_P(report_figures, count_time_excursions_and_gaps) {
    const figures_case& c = GetParam();
    std::vector<log_point> points;
    for (const auto& [t, s1, s2] : c.points)
        points.push_back({std::uint32_t(base + t), {std::uint8_t(s1), std::uint8_t(s2)}});
    chart::local_clock utc{QTimeZone::utc()};
    const auto period = chart::period_between(base, base + 600, utc);
    const auto f = chart::figures_of(points, period, recorded(5, 40, 15, c.hold));
    std::vector<excursion> excursions;
    for (const chart::excursion& e : f.excursions)
        excursions.push_back({e.sensor, e.high, e.start - base, e.end - base, e.peak});
    std::vector<reading_gap> gaps = c.gaps;
    for (reading_gap& g : gaps) {
        g.start += base;
        g.end += base;
    }
    EXPECT_EQ(excursions, c.excursions);
    EXPECT_EQ(f.gaps, gaps);
    EXPECT_EQ(f.total[0].above, c.beyond[0]);
    EXPECT_EQ(f.total[0].below, c.beyond[1]);
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(f.total[s].covered, c.covered[s]) << "sensor " << s + 1;
        EXPECT_EQ(f.total[s].seconds, 600);
        ASSERT_EQ(f.days.size(), 1u);
        EXPECT_EQ(f.days[0][s].covered, c.covered[s]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    table, report_figures,
    testing::Values(
        figures_case{"steady", every_5s({0, 600}), {}, {}, {600, 600}, {0, 0}},
        figures_case{"silence_of_three_periods_is_no_gap",
                     every_5s({0, 100}) + every_5s({110, 600}),
                     {},
                     {},
                     {600, 600},
                     {0, 0}},
        // The last line before the silence stands for one period.
        figures_case{"longer_silence_is_a_gap_of_both",
                     every_5s({0, 100}) + every_5s({200, 600}),
                     {},
                     {{0, 100, 200}, {1, 100, 200}},
                     {500, 500},
                     {0, 0}},
        figures_case{"no_reading_is_a_gap_of_its_sensor",
                     every_5s({0, 50}) + every_5s({50, 55}, none) + every_5s({55, 600}),
                     {},
                     {{0, 50, 55}},
                     {595, 600},
                     {0, 0}},
        figures_case{"excursion_from_first_to_where_the_last_runs_out",
                     every_5s({0, 100}) + every_5s({100, 120}, 41) + every_5s({120, 125}, 45) +
                         every_5s({125, 150}, 40) + every_5s({150, 600}),
                     {{0, true, 100, 150, 45}},
                     {},
                     {600, 600},
                     {50, 0}},
        figures_case{"gap_ends_an_excursion",
                     every_5s({0, 100}) + every_5s({100, 150}, 41) + every_5s({200, 250}, 44) +
                         every_5s({250, 600}),
                     {{0, true, 100, 150, 41}, {0, true, 200, 250, 44}},
                     {{0, 150, 200}, {1, 150, 200}},
                     {550, 550},
                     {100, 0}},
        figures_case{"low_excursion_and_its_lowest",
                     every_5s({0, 300}) + every_5s({300, 310}, 15) + every_5s({310, 315}, 12) +
                         every_5s({315, 600}),
                     {{0, false, 300, 315, 12}},
                     {},
                     {600, 600},
                     {0, 15}},
        // A reading at a threshold is beyond it, as the lamp says.
        figures_case{"exactly_at_each_threshold",
                     every_5s({0, 100}) + every_5s({100, 200}, 40) + every_5s({200, 300}, 15) +
                         every_5s({300, 600}),
                     {{0, true, 100, 200, 40}, {0, false, 200, 300, 15}},
                     {},
                     {600, 600},
                     {100, 100}},
        figures_case{"gap_shorter_than_the_hold_does_not_split",
                     every_5s({0, 100}) + every_5s({100, 150}, 41) + every_5s({200, 250}, 44) +
                         every_5s({250, 600}),
                     {{0, true, 100, 250, 44}},
                     {{0, 150, 200}, {1, 150, 200}},
                     {550, 550},
                     {100, 0},
                     60},
        figures_case{"touch_of_the_threshold_within_the_hold_is_one",
                     every_5s({0, 100}) + every_5s({100, 130}, 41) + every_5s({130, 140}) +
                         every_5s({140, 150}, 42) + every_5s({150, 300}) +
                         every_5s({300, 310}, 43) + every_5s({310, 600}),
                     {{0, true, 100, 150, 42}, {0, true, 300, 310, 43}},
                     {},
                     {600, 600},
                     {50, 0},
                     60},
        // The line before the period stands into it; the log ends early.
        figures_case{"edges_of_the_period",
                     every_5s({-3, 2}, 50) + every_5s({2, 300}),
                     {{0, true, 0, 2, 50}},
                     {{0, 302, 600}, {1, 302, 600}},
                     {302, 302},
                     {2, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// Each reading judged by the settings in force when it was written: a log
// at 1 min before the journal (its own spacing), the period set to 5 s and
// the high threshold from 30 to 28 half way.
TEST(report_settings, each_reading_is_judged_by_the_settings_of_its_time) {
    chart::local_clock utc{QTimeZone::utc()};
    const auto period = chart::period_between(base, base + 3600, utc);
    std::vector<log_point> points;
    for (int t = 0; t < 1800; t += 60)
        points.push_back({std::uint32_t(base + t), {29, 20}});
    for (int t = 1800; t < 3600; t += 5)
        points.push_back({std::uint32_t(base + t), {29, std::uint8_t(t < 1900 ? 20 : 30)}});
    chart::settings_state today;
    today.alarms[0] = {true, 30, {}};
    chart::journal_record j;
    j.stretches.push_back({INT64_MIN, today});
    chart::settings_state later = today;
    later.recorded = true;
    later.period = 5;
    later.alarms[0].high = 28;
    later.delay[0] = 120;
    j.stretches.push_back({base + 1800, later});
    j.first = base + 1800;

    const auto f = chart::figures_of(points, period, j);
    EXPECT_EQ(f.own_period, std::vector<std::uint32_t>{60});
    EXPECT_TRUE(f.gaps.empty());
    EXPECT_EQ(f.total[0].covered, 3600);
    EXPECT_EQ(f.total[0].above, 1800);
    EXPECT_EQ(f.total[0].readings, 30 + 360);
    ASSERT_EQ(f.excursions.size(), 1u);
    const chart::excursion& e = f.excursions[0];
    EXPECT_EQ(std::make_tuple(e.start, e.end, e.peak, e.delay, e.recorded, e.alarm_due()),
              std::make_tuple(base + 1800, base + 3600, 29, std::int64_t(120), true, true));
    // Sensor 2: 20 °C, then 30 °C from 1900 s; lowest and highest with the
    // time they were first read, and the mean kinetic temperature of
    // ΔH = 83.144 kJ/mol worked out on paper for 1900 s at 20 and 1700 s at 30.
    const chart::sensor_tally& s2 = f.total[1];
    EXPECT_EQ(std::make_tuple(s2.min, s2.min_at, s2.max, s2.max_at),
              std::make_tuple(20, base, 30, base + 1900));
    chart::sensor_tally halves;
    halves.covered = 2;
    halves.arrhenius = std::exp(-10000 / 293.15) + std::exp(-10000 / 303.15);
    EXPECT_NEAR(halves.mean_kinetic(), 26.2599, 0.0001);
    EXPECT_GT(s2.mean_kinetic(), s2.mean());
    EXPECT_NEAR(s2.mean_kinetic(), 26.0025, 0.0001);
}

// Excursions shorter than the raise delay, or while the alarm is off, are
// listed with no alarm due.
TEST(report_settings, an_excursion_under_the_delay_or_switched_off_has_no_alarm_due) {
    chart::local_clock utc{QTimeZone::utc()};
    const auto period = chart::period_between(base, base + 600, utc);
    std::vector<log_point> points;
    for (int t = 0; t < 600; t += 5)
        points.push_back({std::uint32_t(base + t),
                          {std::uint8_t(t >= 100 && t < 160 ? 45 : 20),
                           std::uint8_t(t >= 300 && t < 400 ? 45 : 20)}});
    chart::settings_state s;
    s.recorded = true;
    s.period = 5;
    s.alarms = {chart::sensor_alarm{true, 40, {}}, chart::sensor_alarm{false, 40, {}}};
    s.delay = {120, 0};
    chart::journal_record j;
    j.stretches.push_back({INT64_MIN, s});
    const auto f = chart::figures_of(points, period, j);
    ASSERT_EQ(f.excursions.size(), 2u);
    EXPECT_EQ(f.excursions[0].longest, 60);
    EXPECT_FALSE(f.excursions[0].alarm_due()) << "60 s beyond, under a delay of 120 s";
    EXPECT_FALSE(f.excursions[1].alarm_on);
    EXPECT_FALSE(f.excursions[1].alarm_due());
}

// "The time shown" as a report takes it: whole days when it spans them
// (the nearest midnights, across the autumn change), else whole minutes.
TEST(report_shown, rounds_to_whole_days_or_minutes) {
    const QTimeZone berlin("Europe/Berlin");
    chart::local_clock clock{berlin};
    const auto t = [&berlin](int day, int h, int m, int s) {
        return QDateTime(QDate(2026, 10, day), QTime(h, m, s), berlin).toSecsSinceEpoch();
    };
    const struct {
        std::int64_t from, to;
        const char* text;
        bool days;
    } rows[] = {{t(24, 23, 59, 30), t(31, 23, 59, 10), "2026-10-25 to 2026-10-31", true},
                {t(25, 0, 10, 0), t(26, 0, 5, 0), "2026-10-25", true},
                {t(24, 10, 0, 20), t(24, 12, 29, 50), "2026-10-24 10:00 to 12:30", false},
                {t(24, 23, 50, 0), t(25, 0, 20, 0), "2026-10-24 23:50 to 2026-10-25 00:20", false}};
    for (const auto& row : rows) {
        const chart::shown_span s = chart::round_shown(row.from, row.to, clock);
        EXPECT_EQ(chart::shown_text(s, clock).toStdString(), row.text);
        EXPECT_EQ(s.days.has_value(), row.days) << row.text;
    }
    const chart::shown_span week = chart::round_shown(rows[0].from, rows[0].to, clock);
    EXPECT_EQ(week.end - week.start, 7 * 86400 + 3600) << "the day the clocks go back has 25 hours";
}

struct clock_change_case {
    const char* name;
    const char* from;
    const char* to;
    std::vector<int> hours; // of each day
};

class report_days : public testing::TestWithParam<clock_change_case> {};

// A log at 1 min in Berlin across a change of the clocks: each day counts
// its own hours, all of them with a reading, the repeated hour included.
TEST_P(report_days, count_the_hours_the_clocks_give_them) {
    const clock_change_case& c = GetParam();
    const QTimeZone berlin("Europe/Berlin");
    chart::local_clock clock{berlin};
    const chart::date_range dates{*chart::parse_report_date(QString::fromLatin1(c.from)),
                                  *chart::parse_report_date(QString::fromLatin1(c.to))};
    const auto period = chart::period_of_dates(dates, clock);
    QByteArray log;
    for (std::int64_t t = period.start; t < period.end; t += 60)
        log += rules::datalog::log_line(QDateTime::fromSecsSinceEpoch(t, berlin),
                                        QStringLiteral("20\u00BAC"), QStringLiteral("30\u00BAC"));
    std::vector<log_point> points;
    chart::parse_log_bytes(log, clock, points);
    chart::order_repeated_hours(points, clock);
    chart::order_by_time(points);
    const auto f = chart::figures_of(points, period, recorded(60, {}, {}));
    ASSERT_EQ(period.days.size(), c.hours.size());
    for (std::size_t d = 0; d < c.hours.size(); ++d) {
        EXPECT_EQ(period.days[d].seconds(), c.hours[d] * 3600) << "day " << d;
        EXPECT_EQ(f.days[d][0].covered, c.hours[d] * 3600) << "day " << d;
    }
    EXPECT_TRUE(f.gaps.empty());
}

INSTANTIATE_TEST_SUITE_P(
    table, report_days,
    testing::Values(clock_change_case{"autumn", "2026-10-24", "2026-10-26", {24, 25, 24}},
                    clock_change_case{"spring", "2026-03-28", "2026-03-30", {24, 23, 24}}),
    [](const auto& info) { return std::string(info.param.name); });

struct span_case {
    const char* name;
    const char* from; // local, ISO
    const char* to;
    std::int64_t first_line;
    std::int64_t last_line;
    int read_from_line; // the line read_begin starts, 1-based
    int read_to_line;   // the last line up to read_end
};

class report_lines : public testing::TestWithParam<span_case> {};

TEST_P(report_lines, span_the_lines_of_the_period) {
    const span_case& c = GetParam();
    const auto line = [](const char* time, int v) {
        return QByteArray(time) + '\t' + QByteArray::number(v) + "\xBA" + "C\t\r\n";
    };
    const QList<QByteArray> lines = {
        line("10-31-2026\t23:59:55", 20), "garbage\r\n",
        line("11-01-2026\t00:00:00", 21), line("11-01-2026\t12:00:00", 22),
        line("11-02-2026\t00:00:00", 23), line("11-01-2026\t13:00:00", 24),
        line("11-03-2026\t00:00:00", 25), line("11-01-2026\t14:00:00", 26).chopped(2)};
    QByteArray log;
    std::vector<qsizetype> starts;
    for (const QByteArray& line : lines) {
        starts.push_back(log.size());
        log += line;
    }
    starts.push_back(log.size());
    const auto local = [](const char* iso) {
        return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toSecsSinceEpoch();
    };
    const auto span = chart::lines_between(log, local(c.from), local(c.to));
    EXPECT_EQ(span.first_line, c.first_line);
    EXPECT_EQ(span.last_line, c.last_line);
    if (span.empty())
        return;
    EXPECT_EQ(span.begin, starts[std::size_t(c.first_line - 1)]);
    EXPECT_EQ(span.end, starts[std::size_t(c.last_line)]);
    EXPECT_EQ(span.read_begin, starts[std::size_t(c.read_from_line - 1)]);
    EXPECT_EQ(span.read_end, starts[std::size_t(c.read_to_line)]);
}

INSTANTIATE_TEST_SUITE_P(
    table, report_lines,
    testing::Values(
        // Out of order lines inside; the unfinished last line is not.
        span_case{"one_day", "2026-11-01T00:00:00Z", "2026-11-02T00:00:00Z", 3, 6, 2, 7},
        span_case{"part_of_a_day", "2026-11-01T12:00:00Z", "2026-11-01T13:30:00Z", 4, 6, 3, 7},
        span_case{"from_the_first_line", "2026-10-01T00:00:00Z", "2026-11-01T00:00:01Z", 1, 3, 1,
                  4},
        span_case{"to_the_last_complete_line", "2026-11-02T00:00:00Z", "2026-12-01T00:00:00Z", 5, 7,
                  4, 7},
        span_case{"none", "2026-11-04T00:00:00Z", "2026-11-05T00:00:00Z", 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Counted eight bytes at a time: every length, and bytes one bit from a
// line end.
TEST(report_lines, counts_line_ends_in_any_bytes) {
    QByteArray bytes;
    std::uint32_t seed = 1;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245 + 12345;
        const char pick[] = {'\n', '\x8A', '\x0B', '\x0E', 'a', '\0'};
        bytes += pick[(seed >> 16) % 6];
    }
    for (qsizetype size : {0, 7, 8, 9, 2039, 2040, 2041, 4087, 20000}) {
        const QByteArrayView part(bytes.constData() + 3, size - (size > 3 ? 3 : 0));
        EXPECT_EQ(chart::count_lines(part), std::count(part.begin(), part.end(), '\n')) << size;
    }
    EXPECT_EQ(chart::count_lines(QByteArray(20000, '\n')), 20000);
}

TEST(report_dates, are_real_dates_and_default_to_the_last_whole_week) {
    EXPECT_EQ(chart::parse_report_date(u"2026-11-07"), QDate(2026, 11, 7));
    EXPECT_EQ(chart::parse_report_date(u"2028-02-29"), QDate(2028, 2, 29));
    for (const char16_t* bad : {u"2026-02-29", u"2026-1-07", u"07-11-2026", u"2026-11-07x",
                                u"1969-12-31", u"2106-01-01", u"", u"2026-11-0a"})
        EXPECT_EQ(chart::parse_report_date(bad), std::nullopt)
            << QStringView(bad).toString().toStdString();

    const QDate today(2026, 11, 8);
    const auto range = [&](std::optional<QDate> from, std::optional<QDate> to) {
        const auto r = chart::report_dates(today, from, to);
        return std::pair(r.from, r.to);
    };
    EXPECT_EQ(range({}, {}), std::pair(QDate(2026, 11, 1), QDate(2026, 11, 7)));
    EXPECT_EQ(range({}, QDate(2026, 10, 31)), std::pair(QDate(2026, 10, 25), QDate(2026, 10, 31)));
    EXPECT_EQ(range(QDate(2026, 10, 1), {}), std::pair(QDate(2026, 10, 1), QDate(2026, 11, 7)));
    // Today alone, though not yet whole.
    EXPECT_EQ(range(today, {}), std::pair(today, today));
}

TEST(report_text, rounds_durations_up_and_shares_down_and_picks_the_paper) {
    QLocale::setDefault(QLocale::c());
    const std::pair<std::int64_t, const char*> minutes[] = {
        {0, "0.0"}, {1, "0.1"}, {5, "0.1"}, {6, "0.1"}, {7, "0.2"}, {1195, "20.0"}, {1200, "20.0"}};
    for (const auto& [seconds, text] : minutes)
        EXPECT_EQ(chart::minutes_text(seconds), QLatin1StringView(text)) << seconds;
    EXPECT_EQ(chart::percent_text(86399, 86400), QStringLiteral("99.9"));
    EXPECT_EQ(chart::percent_text(86400, 86400), QStringLiteral("100.0"));
    EXPECT_EQ(chart::percent_text(0, 0), QStringLiteral("\u2013"));

    const std::pair<const char*, chart::paper> papers[] = {
        {"en_US", chart::paper::letter}, {"fr_CA", chart::paper::letter},
        {"es_MX", chart::paper::letter}, {"en_PH", chart::paper::letter},
        {"en_GB", chart::paper::a4},     {"de_DE", chart::paper::a4},
        {"es_ES", chart::paper::a4},     {"en_AU", chart::paper::a4}};
    for (const auto& [name, paper] : papers)
        EXPECT_EQ(chart::paper_for(QLocale(QString::fromLatin1(name))), paper) << name;
}

} // namespace
