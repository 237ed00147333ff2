// The block summaries behind a fast redraw: the lines and the figures they
// give are exactly those of the point-by-point way, on random logs with
// gaps, missing readings, repeated seconds and time going back, for windows
// that begin and end anywhere in a block, while points keep arriving.

#include "rules/history_blocks.h"
#include "rules/history_trace.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <random>

namespace {

using history::log_point;
using history::no_reading;

struct log_shape {
    const char* name;
    std::uint32_t seed;
    std::uint32_t period;  // the settings' sampling period; the log is at 5 s
    int missing_per_mille; // lost readings
    int pause_per_mille;   // pauses longer than the gap limit
    int back_per_mille;    // the clock set back
    int repeat_per_mille;  // the same second twice
    int edge_per_mille;    // one of these right where a block begins
};

// A random walk of both sensors with the oddities of `shape`, following
// `before` points.
std::vector<log_point> random_log(std::mt19937& rng, const log_shape& shape, std::size_t before,
                                  std::size_t count, std::uint32_t& time) {
    std::uniform_int_distribution<int> per_mille(0, 999);
    std::uniform_int_distribution<int> walk(-3, 3);
    std::vector<log_point> out;
    int value[2] = {40, 80};
    for (std::size_t i = 0; i < count; ++i) {
        const bool edge = (before + i) % history::block_index::block_size == 0 &&
                          per_mille(rng) < shape.edge_per_mille;
        const int oddity = edge ? per_mille(rng) % 3 : -1;
        if (oddity == 0 || per_mille(rng) < shape.pause_per_mille)
            time += 16 + static_cast<std::uint32_t>(per_mille(rng)) * 7;
        else if (oddity == 1 || per_mille(rng) < shape.back_per_mille)
            time -= std::min<std::uint32_t>(time, 300 + static_cast<std::uint32_t>(per_mille(rng)));
        else if (per_mille(rng) >= shape.repeat_per_mille)
            time += 5;
        log_point p;
        p.time = time;
        for (int s = 0; s < 2; ++s) {
            // Now and then a one-sample spike to either end of the scale.
            const int spike = per_mille(rng);
            value[s] = std::clamp(value[s] + walk(rng), 0, 124);
            const int v = spike == 0 ? 0 : spike == 1 ? 124 : value[s];
            const bool missing = (oddity == 2 && static_cast<std::size_t>(s) == i % 2) ||
                                 per_mille(rng) < shape.missing_per_mille;
            p.sensor[s] = missing ? no_reading : static_cast<std::uint8_t>(v);
        }
        out.push_back(p);
    }
    return out;
}

void expect_same_traces(const history::trace_set& fast, const history::trace_set& plain) {
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(fast.sensor[s].starts, plain.sensor[s].starts) << "sensor " << s + 1;
        EXPECT_EQ(fast.sensor[s].points, plain.sensor[s].points) << "sensor " << s + 1;
    }
    EXPECT_EQ(fast.lowest, plain.lowest);
    EXPECT_EQ(fast.highest, plain.highest);
}

void expect_same_figures(const std::array<history::sensor_summary, 2>& fast,
                         const std::array<history::sensor_summary, 2>& plain) {
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(fast[s].any, plain[s].any) << "sensor " << s + 1;
        EXPECT_EQ(fast[s].min, plain[s].min) << "sensor " << s + 1;
        EXPECT_EQ(fast[s].max, plain[s].max) << "sensor " << s + 1;
        // Both divide the same whole sums: equal to the last bit.
        EXPECT_EQ(fast[s].mean, plain[s].mean) << "sensor " << s + 1;
        EXPECT_EQ(fast[s].above_high, plain[s].above_high) << "sensor " << s + 1;
        EXPECT_EQ(fast[s].below_low, plain[s].below_low) << "sensor " << s + 1;
    }
}

// The search by time against a walk over every point: the stretches in a
// window, the joins across it, the nearest point (a tie to the later line), the latest time up
// to a limit.
void expect_found_as_by_every_point(const history::point_series& series, double from, double to,
                                    std::uint32_t limit) {
    const auto& pts = series.points();
    std::vector<history::index_range> ranges;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        if (pts[i].time < from || pts[i].time > to)
            continue;
        if (!ranges.empty() && ranges.back().end == i)
            ++ranges.back().end;
        else
            ranges.push_back({i, i + 1});
    }
    EXPECT_EQ(series.between(from, to), ranges);
    std::vector<std::size_t> crossings;
    for (std::size_t i = 1; i < pts.size(); ++i)
        if (pts[i - 1].time < from && pts[i].time > to)
            crossings.push_back(i);
    EXPECT_EQ(series.crossings(from, to), crossings);
    std::optional<std::size_t> nearest;
    std::optional<std::uint32_t> latest;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const double d = std::abs(pts[i].time - from);
        if (d <= 30 && (!nearest || d <= std::abs(pts[*nearest].time - from)))
            nearest = i;
        if (pts[i].time <= limit && (!latest || pts[i].time > *latest))
            latest = pts[i].time;
    }
    EXPECT_EQ(series.nearest(from, 30), nearest);
    EXPECT_EQ(series.latest_until(limit), latest);
}

class blocks : public testing::TestWithParam<log_shape> {};

TEST_P(blocks, give_exactly_the_lines_and_figures_of_the_points) {
    const log_shape& shape = GetParam();
    std::mt19937 rng(shape.seed);
    const history::gap_rule gaps{shape.period};
    const std::array<history::sensor_limits, 2> limits = {history::sensor_limits{60.5, 30.0},
                                                          history::sensor_limits{90.0, {}}};
    history::point_series series;
    history::block_index index;
    std::uint32_t time = 1'000'000;
    history::trace_set fast, plain;
    // Points arrive in uneven batches, as the reader sends them while the
    // monitor appends, some ending on a block's last point; the summaries
    // follow each one.
    for (const std::size_t batch : {1000u, 24u, 1u, 255u, 3840u, 300u, 7000u}) {
        series.append(random_log(rng, shape, series.size(), batch, time));
        index.update(series, gaps, limits);
        ASSERT_TRUE(index.matches(series));
        ASSERT_EQ(index.block_count(), series.size() / history::block_index::block_size);
        const double first = series.first_time();
        const double last = series.last_time();
        std::uniform_real_distribution<double> at(first - 100, last + 100);
        // Columns of many whole blocks, of a few, and of single points.
        std::uniform_int_distribution<int> narrow(1, 60);
        std::uniform_int_distribution<int> wide(1, 1500);
        for (int view = 0; view < 60; ++view) {
            double from = at(rng);
            double to = at(rng);
            if (from > to)
                std::swap(from, to);
            // Whole seconds too, so that window edges fall on points.
            if (view % 3 == 0) {
                from = std::floor(from);
                to = std::ceil(to);
            }
            const int columns = view % 4 == 0 ? 1 + view % 7 : view % 2 ? narrow(rng) : wide(rng);
            SCOPED_TRACE(testing::Message() << series.size() << " points, window " << from << " to "
                                            << to << ", " << columns << " columns");
            history::reduce(series, index, from, to, columns, fast);
            history::reduce(series, gaps, from, to, columns, plain);
            expect_same_traces(fast, plain);
            expect_found_as_by_every_point(
                series, from, to, series.points()[series.size() * view / 60].time + view % 2);
            const auto ranges = series.between(from, to);
            expect_same_figures(history::summarize(series, index, ranges),
                                history::summarize(series, ranges, gaps, limits));
        }
    }
    // Other settings make other summaries; a cleared series is summarised
    // anew.
    const history::gap_rule slower{shape.period * 4};
    const std::array<history::sensor_limits, 2> lower = {history::sensor_limits{{}, 50.0},
                                                         history::sensor_limits{70.0, 20.0}};
    index.update(series, slower, lower);
    const auto ranges = series.between(series.first_time(), series.last_time());
    expect_same_figures(history::summarize(series, index, ranges),
                        history::summarize(series, ranges, slower, lower));
    history::reduce(series, index, series.first_time(), series.last_time(), 3, fast);
    history::reduce(series, slower, series.first_time(), series.last_time(), 3, plain);
    expect_same_traces(fast, plain);
    series.clear();
    series.append(random_log(rng, shape, 0, 600, time));
    EXPECT_FALSE(index.matches(series));
    index.update(series, slower, lower);
    EXPECT_TRUE(index.matches(series));
    history::reduce(series, index, series.first_time(), series.last_time(), 2, fast);
    history::reduce(series, slower, series.first_time(), series.last_time(), 2, plain);
    expect_same_traces(fast, plain);
}

INSTANTIATE_TEST_SUITE_P(
    table, blocks,
    testing::Values(log_shape{"steady", 1, 5, 0, 0, 0, 0, 0},
                    log_shape{"gaps_where_blocks_begin", 2, 5, 0, 0, 0, 0, 600},
                    log_shape{"a_little_of_everything", 3, 5, 2, 1, 1, 5, 200},
                    log_shape{"many_gaps", 4, 5, 30, 20, 0, 0, 0},
                    log_shape{"clock_set_back", 5, 5, 1, 0, 8, 20, 200},
                    log_shape{"period_shorter_than_the_log", 6, 1, 0, 0, 0, 0, 0},
                    log_shape{"long_period", 7, 60, 0, 0, 0, 1, 300},
                    log_shape{"no_line_joins_the_next", 8, 5, 20, 500, 1000, 0, 0}),
    [](const testing::TestParamInfo<log_shape>& i) { return std::string(i.param.name); });

} // namespace
