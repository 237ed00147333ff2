// The chart's reduction and the rules behind it: runs where time goes back,
// gaps, the one-sample spike, the status line's figures and the CSV line.

#include "chart/history_csv.h"
#include "chart/history_stats.h"
#include "chart/history_trace.h"
#include "history_points.h"

#include <gtest/gtest.h>

namespace {

using chart::log_point;
using chart::no_reading;

log_point at(std::uint32_t t, std::uint8_t s1, std::uint8_t s2 = no_reading) {
    log_point p;
    p.time = t;
    p.sensor[0] = s1;
    p.sensor[1] = s2;
    return p;
}

chart::point_series series_of(const std::vector<log_point>& points) {
    chart::point_series s;
    s.append(points);
    return s;
}

// Every polyline of sensor 1 as a list of its points' y values.
std::vector<std::vector<double>> polylines(const chart::trace_set& t) {
    std::vector<std::vector<double>> out;
    const chart::trace& tr = t.sensor[0];
    for (std::size_t i = 0; i < tr.polyline_count(); ++i) {
        out.emplace_back();
        for (std::size_t k = tr.starts[i]; k < tr.polyline_end(i); ++k)
            out.back().push_back(tr.points[k].y());
    }
    return out;
}

const chart::gap_rule five_seconds{5};

TEST(point_series, finds_points_on_both_sides_of_time_going_back) {
    const auto s = series_of({at(100, 1), at(105, 1), at(50, 1), at(55, 1), at(55, 1), at(10, 1)});
    EXPECT_EQ(s.ascending_end(0, 6), 2u);
    EXPECT_EQ(s.ascending_end(2, 6), 5u);
    EXPECT_EQ(s.ascending_end(2, 4), 4u);
    EXPECT_EQ(s.first_time(), 10u);
    EXPECT_EQ(s.last_time(), 105u);
    // The search finds the points before and after the step back in an
    // overlapping window.
    const auto r = s.between(52, 101);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0], (chart::index_range{0, 1}));
    EXPECT_EQ(r[1], (chart::index_range{3, 5}));
    EXPECT_EQ(s.nearest(103, 5), 1u);
    EXPECT_EQ(s.nearest(80, 5), std::nullopt);
    EXPECT_EQ(s.nearest(55, 5), 4u); // the later of equal lines
    EXPECT_EQ(s.latest_until(104), 100u);
    EXPECT_EQ(s.latest_until(9), std::nullopt);
}

TEST(reduce, time_going_back_on_every_line_costs_a_dot_per_column_and_degree) {
    // A log in reverse order, as after tac: no two lines join, and a column
    // of many such lines draws each of its readings once.
    std::vector<log_point> points;
    for (std::uint32_t i = 0; i < 20000; ++i)
        points.push_back(at(1'000'000 - 5 * i, static_cast<std::uint8_t>(20 + i % 3), 30));
    const auto index = index_of(points, five_seconds);
    chart::trace_set t;
    chart::reduce(index, chart::gather(index, index.first_time(), index.last_time(), 100), t);
    EXPECT_EQ(t.sensor[0].polyline_count(), 300u);
    EXPECT_EQ(t.sensor[1].polyline_count(), 100u);
    EXPECT_EQ(t.sensor[0].points.size(), 300u);
    EXPECT_EQ(t.lowest, 20);
    EXPECT_EQ(t.highest, 30);
}

struct gap_case {
    const char* name;
    std::vector<log_point> points;
    std::vector<std::vector<double>> lines; // sensor 1's polylines
};

class gaps : public testing::TestWithParam<gap_case> {};

TEST_P(gaps, break_the_line_where_the_log_has_none) {
    const gap_case& c = GetParam();
    const auto s = series_of(c.points);
    chart::trace_set t;
    // Wide enough that every point has a column of its own.
    chart::reduce(s, five_seconds, 0, 1000, 1000, t);
    EXPECT_EQ(polylines(t), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    table, gaps,
    testing::Values(
        gap_case{"joined", {at(100, 1), at(105, 2), at(110, 3)}, {{1, 2, 3}}},
        gap_case{"no_reading_is_a_gap", {at(100, 1), at(105, no_reading), at(110, 3)}, {{1}, {3}}},
        gap_case{"three_periods_still_join", {at(100, 1), at(115, 2)}, {{1, 2}}},
        gap_case{"longer_pause_is_a_gap", {at(100, 1), at(116, 2)}, {{1}, {2}}},
        gap_case{"time_back_is_never_drawn_back",
                 {at(200, 1), at(205, 2), at(190, 3), at(195, 4)},
                 {{1, 2}, {3, 4}}},
        gap_case{"same_second_joins", {at(100, 1), at(100, 2), at(105, 3)}, {{1, 2, 3}}}),
    [](const testing::TestParamInfo<gap_case>& i) { return std::string(i.param.name); });

struct zoom_case {
    const char* name;
    double from;
    double to;
    int columns;
};

class spike : public testing::TestWithParam<zoom_case> {};

TEST_P(spike, of_one_sample_survives_any_zoom) {
    // A day at 5 s, 20 ºC throughout but one sample of 90 ºC and one of 3 ºC.
    std::vector<log_point> points;
    for (std::uint32_t t = 0; t < 86400; t += 5)
        points.push_back(at(1'000'000 + t, 20, 20));
    points[9000].sensor[0] = 90;
    points[12345].sensor[1] = 3;
    const auto s = series_of(points);
    const zoom_case& c = GetParam();
    chart::trace_set t;
    chart::reduce(s, five_seconds, 1'000'000 + c.from, 1'000'000 + c.to, c.columns, t);
    double high = 0, low = 200;
    for (const QPointF& p : t.sensor[0].points)
        high = std::max(high, p.y());
    for (const QPointF& p : t.sensor[1].points)
        low = std::min(low, p.y());
    EXPECT_EQ(high, 90);
    EXPECT_EQ(low, 3);
    EXPECT_EQ(t.highest, 90);
    EXPECT_EQ(t.lowest, 3);
    // Never more than four vertices a column, a couple more for the edges.
    EXPECT_LE(t.sensor[0].points.size(), 4u * c.columns + 4);
    // Through the block summaries, the very same lines.
    const auto index = index_of(points, five_seconds);
    chart::trace_set fast;
    chart::reduce(index, chart::gather(index, 1'000'000 + c.from, 1'000'000 + c.to, c.columns),
                  fast);
    EXPECT_EQ(fast.sensor[0].points, t.sensor[0].points);
    EXPECT_EQ(fast.sensor[1].points, t.sensor[1].points);
}

INSTANTIATE_TEST_SUITE_P(table, spike,
                         testing::Values(zoom_case{"whole_day_narrow", 0, 86400, 7},
                                         zoom_case{"whole_day_wide", 0, 86400, 1500},
                                         zoom_case{"one_column", 0, 86400, 1},
                                         zoom_case{"hours_around", 40000, 70000, 333},
                                         zoom_case{"minute_around", 45000 - 30, 61725 + 30, 999}),
                         [](const testing::TestParamInfo<zoom_case>& i) {
                             return std::string(i.param.name);
                         });

// A thermostat's sawtooth over a year, a degree a minute up and down
// 20..26 ºC, with one minute at 40 ºC: at a year's zoom each column is drawn
// as one stroke from 20 to 26, the spike's up to 40, and lines between.
TEST(column_strokes, of_a_sawtooth_keep_every_peak_and_a_one_minute_spike_at_a_years_zoom) {
    std::vector<log_point> points;
    const std::uint32_t first = 1'000'000;
    for (std::uint32_t i = 0; i < 365 * 1440; ++i) {
        const std::uint32_t step = i % 12;
        points.push_back(
            at(first + i * 60, static_cast<std::uint8_t>(20 + std::min(step, 12 - step))));
    }
    const std::size_t spike_at = 200'000;
    points[spike_at].sensor[0] = 40;
    const auto index = index_of(points, chart::gap_rule{60});
    const int columns = 1100;
    const double from = first;
    const double to = points.back().time;
    chart::trace_set t;
    chart::reduce(index, chart::gather(index, from, to, columns), t);
    std::vector<QLineF> lines;
    std::vector<QPointF> dots;
    chart::column_strokes(t.sensor[0], lines, dots);
    EXPECT_TRUE(dots.empty());
    std::vector<std::pair<double, double>> upright(columns, {0, 0});
    for (const QLineF& l : lines)
        if (l.x1() == l.x2()) {
            ASSERT_GE(l.x1(), 0);
            ASSERT_LT(l.x1(), columns);
            upright[static_cast<std::size_t>(l.x1())] = std::minmax(l.y1(), l.y2());
        }
    const int spike_column =
        chart::column_of(points[spike_at].time, from, columns / (to - from), columns);
    for (int c = 0; c < columns; ++c)
        EXPECT_EQ(upright[static_cast<std::size_t>(c)],
                  std::pair(20.0, c == spike_column ? 40.0 : 26.0))
            << "column " << c;
    // Upright strokes and the lines between them, a couple for the edges.
    EXPECT_LE(lines.size(), 2u * columns + 2);
}

TEST(reduce, missing_reading_or_pause_inside_a_crowded_column_still_breaks_the_line) {
    std::vector<log_point> points;
    for (std::uint32_t t = 0; t < 5000; t += 5)
        points.push_back(at(t, 20, 25));
    points[500].sensor[0] = no_reading;
    for (std::size_t i = 700; i < points.size(); ++i)
        points[i].time += 60; // the logger was off for a minute
    const auto s = series_of(points);
    chart::trace_set t;
    chart::reduce(s, five_seconds, 0, 5060, 3, t);
    EXPECT_EQ(t.sensor[0].polyline_count(), 3u);
    EXPECT_EQ(t.sensor[1].polyline_count(), 2u);
}

TEST(reduce, lines_run_on_to_the_edges_and_lone_readings_are_dots) {
    const auto s = series_of({at(0, 10), at(5, 20), at(10, 30), at(100, 40)});
    chart::trace_set t;
    // A window between the first two points: the line crosses it.
    chart::reduce(s, five_seconds, 2, 3, 100, t);
    ASSERT_EQ(polylines(t), (std::vector<std::vector<double>>{{10, 20}}));
    EXPECT_LT(t.sensor[0].points.front().x(), 0);
    EXPECT_GT(t.sensor[0].points.back().x(), 100);
    EXPECT_FALSE(t.highest); // no reading inside the window itself
    chart::reduce(s, five_seconds, 50, 150, 100, t);
    EXPECT_EQ(polylines(t).back(), std::vector<double>{40});
}

TEST(summarize, weighs_each_reading_by_the_time_it_stands_for) {
    // At a 10 s period: 10 ºC for 30 s, 30 ºC for 10 s, then a gap: the 30 ºC
    // before it and the 40 ºC after it count one period each.
    const chart::gap_rule ten_seconds{10};
    const auto s = series_of({at(0, 10, 5), at(30, 30), at(40, 30), at(1000, 40)});
    const std::array<chart::sensor_limits, 2> limits = {chart::sensor_limits{30.0, 10.0},
                                                        chart::sensor_limits{}};
    const auto ranges = s.between(0, 2000);
    const auto sum = chart::summarize(s, ranges, ten_seconds, limits);
    ASSERT_TRUE(sum[0].any);
    EXPECT_EQ(sum[0].min, 10);
    EXPECT_EQ(sum[0].max, 40);
    // Weights 30, 10, 10, 10 s.
    EXPECT_DOUBLE_EQ(sum[0].mean, (10 * 30 + 30 * 10 + 30 * 10 + 40 * 10) / 60.0);
    EXPECT_DOUBLE_EQ(*sum[0].above_high, 30 / 60.0); // at or above, as the lamp
    EXPECT_DOUBLE_EQ(*sum[0].below_low, 30 / 60.0);
    EXPECT_TRUE(sum[1].any);
    EXPECT_FALSE(sum[1].above_high); // no threshold in force, no share
    EXPECT_FALSE(chart::summarize(s, {}, ten_seconds, limits)[0].any);
}

struct iso_case {
    std::int64_t utc;
    int offset;
    const char* text;
};

class iso_time : public testing::TestWithParam<iso_case> {};

TEST_P(iso_time, carries_the_local_offset) {
    EXPECT_EQ(chart::iso_time(GetParam().utc, GetParam().offset), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(table, iso_time,
                         testing::Values(iso_case{0, 0, "1970-01-01T00:00:00+00:00"},
                                         iso_case{1796505005, 3600, "2026-12-05T22:10:05+01:00"},
                                         iso_case{1796505005, -12600, "2026-12-05T17:40:05-03:30"},
                                         iso_case{951782400, 0, "2000-02-29T00:00:00+00:00"},
                                         iso_case{4294967295, 0, "2106-02-07T06:28:15+00:00"}));

TEST(csv, readings_as_plain_numbers_and_empty_without_one) {
    QByteArray out(chart::csv_header);
    chart::append_csv_line(out, at(0, 23), 7200);
    chart::append_csv_line(out, at(5, no_reading, 0), 7200);
    EXPECT_EQ(out, "time,sensor1,sensor2\r\n"
                   "1970-01-01T02:00:00+02:00,23,\r\n"
                   "1970-01-01T02:00:05+02:00,,0\r\n");
}

} // namespace
