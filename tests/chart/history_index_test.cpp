// The block summaries behind the whole log in little memory: the lines,
// the figures and the points found through them are exactly those of the
// point-by-point way, on random logs with gaps, missing readings, repeated
// seconds and time going back, for windows that begin and end anywhere in
// a block, while lines keep arriving; and a log changed under the index is
// found out, not drawn from.

#include "chart/history_trace.h"
#include "history_points.h"

#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <random>

namespace {

using chart::log_point;
using chart::no_reading;

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
        const bool edge = (before + i) % 256 == 0 && per_mille(rng) < shape.edge_per_mille;
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

void expect_same_traces(const chart::trace_set& fast, const chart::trace_set& plain) {
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(fast.sensor[s].starts, plain.sensor[s].starts) << "sensor " << s + 1;
        EXPECT_EQ(fast.sensor[s].points, plain.sensor[s].points) << "sensor " << s + 1;
    }
    EXPECT_EQ(fast.lowest, plain.lowest);
    EXPECT_EQ(fast.highest, plain.highest);
}

void expect_same_figures(const std::array<chart::sensor_summary, 2>& fast,
                         const std::array<chart::sensor_summary, 2>& plain) {
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
// window, the joins across it, the nearest point (a tie to the later line),
// the latest time up to a limit; through the series and through the index.
void expect_found_as_by_every_point(const chart::point_series& series,
                                    const chart::log_index& index, double from, double to,
                                    std::uint32_t limit) {
    const auto& pts = series.points();
    std::vector<chart::index_range> ranges;
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
    const auto found = chart::nearest(index, from, 30);
    ASSERT_EQ(found.has_value(), nearest.has_value());
    if (found) {
        EXPECT_EQ(found->time, pts[*nearest].time);
        EXPECT_EQ(found->sensor[0], pts[*nearest].sensor[0]);
        EXPECT_EQ(found->sensor[1], pts[*nearest].sensor[1]);
    }
    EXPECT_EQ(chart::latest_until(index, limit), latest);
    std::size_t inside = 0;
    EXPECT_TRUE(chart::for_each_between(index, from, to, [&](std::span<const log_point> part) {
        for (const log_point& p : part)
            inside += p.time >= from && p.time <= to ? 1 : 0;
        return true;
    }));
    std::size_t expected = 0;
    for (const auto& r : ranges)
        expected += r.size();
    EXPECT_EQ(inside, expected);
}

// Blocks of the points from `begin` on, as the reader makes them: most of
// a fixed size, some shorter or longer, the last where the points end.
chart::log_index blocks_from(const std::vector<log_point>& all, std::size_t begin,
                             const chart::gap_rule& gaps,
                             const std::array<chart::sensor_limits, 2>& limits, std::mt19937& rng) {
    chart::log_index part(gaps, limits);
    std::uniform_int_distribution<std::size_t> size(1, 600);
    for (std::size_t at = begin; at < all.size();) {
        const std::size_t n = std::min(rng() % 4 == 0 ? size(rng) : 256, all.size() - at);
        part.add_block(std::span(all).subspan(at, n), at, static_cast<std::uint32_t>(n));
        at += n;
    }
    part.set_source(std::make_shared<chart::memory_points>(all));
    return part;
}

void expect_same_views(const chart::point_series& series, const chart::log_index& index,
                       std::mt19937& rng, int views) {
    const double first = series.first_time();
    const double last = series.last_time();
    std::uniform_real_distribution<double> at(first - 100, last + 100);
    // Columns of many whole blocks, of a few, and of single points.
    std::uniform_int_distribution<int> narrow(1, 60);
    std::uniform_int_distribution<int> wide(1, 1500);
    chart::trace_set fast, plain;
    for (int view = 0; view < views; ++view) {
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
        const chart::log_window w = chart::gather(index, from, to, columns);
        EXPECT_TRUE(w.complete);
        chart::reduce(index, w, fast);
        chart::reduce(series, index.gaps(), from, to, columns, plain);
        expect_same_traces(fast, plain);
        expect_found_as_by_every_point(
            series, index, from, to, series.points()[series.size() * view / views].time + view % 2);
        const auto ranges = series.between(from, to);
        expect_same_figures(chart::summarize(index, w),
                            chart::summarize(series, ranges, index.gaps(), index.limits()));
    }
}

class blocks : public testing::TestWithParam<log_shape> {};

TEST_P(blocks, give_exactly_the_lines_figures_and_points_of_the_points) {
    const log_shape& shape = GetParam();
    std::mt19937 rng(shape.seed);
    const chart::gap_rule gaps{shape.period};
    const std::array<chart::sensor_limits, 2> limits = {chart::sensor_limits{60.5, 30.0},
                                                        chart::sensor_limits{90.0, {}}};
    chart::point_series series;
    std::vector<log_point> all;
    chart::log_index index(gaps, limits);
    std::uint32_t time = 1'000'000;
    // Lines arrive in uneven batches, as the reader sends them while the
    // monitor appends; a last block shorter than the others is made again
    // with the lines that join it.
    for (const std::size_t batch : {1000u, 24u, 1u, 255u, 3840u, 300u, 7000u}) {
        const std::vector<log_point> more = random_log(rng, shape, all.size(), batch, time);
        series.append(more);
        all.insert(all.end(), more.begin(), more.end());
        std::size_t from = index.size();
        if (from > 0 && index[from - 1].points < 256)
            --from;
        const std::size_t begin = from < index.size() ? index[from].at : all.size() - batch;
        index.splice(from, blocks_from(all, begin, gaps, limits, rng));
        ASSERT_EQ(index.points(), series.size());
        ASSERT_EQ(index.first_time(), series.first_time());
        ASSERT_EQ(index.last_time(), series.last_time());
        expect_same_views(series, index, rng, 60);
    }
    // Other settings make other summaries.
    const chart::gap_rule slower{shape.period * 4};
    const std::array<chart::sensor_limits, 2> lower = {chart::sensor_limits{{}, 50.0},
                                                       chart::sensor_limits{70.0, 20.0}};
    expect_same_views(series, blocks_from(all, 0, slower, lower, rng), rng, 20);
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

// Lines as the monitor writes them, the time taken as UTC.
QByteArray text_of(const std::vector<log_point>& points) {
    QByteArray out;
    char line[64];
    for (const log_point& p : points) {
        const chart::civil d = chart::civil_from_days(p.time / 86400);
        const unsigned s = p.time % 86400;
        char r[2][8];
        for (int i = 0; i < 2; ++i)
            std::snprintf(r[i], sizeof r[i],
                          p.sensor[i] == no_reading ? " - - "
                                                    : "%d\xBA"
                                                      "C",
                          p.sensor[i]);
        out.append(line, std::snprintf(line, sizeof line,
                                       "%02d-%02d-%04d\t%02u:%02u:%02u\t%s\t%s\r\n", d.month, d.day,
                                       d.year, s / 3600, s / 60 % 60, s % 60, r[0], r[1]));
    }
    return out;
}

TEST(blocks_of_text, lie_end_to_end_at_line_ends_and_a_changed_log_is_not_drawn_from) {
    std::mt19937 rng(9);
    std::uint32_t time = 1'700'000'000;
    const log_shape shape{"text", 9, 5, 2, 1, 1, 5, 0};
    const std::vector<log_point> points = random_log(rng, shape, 0, 6000, time);
    const QByteArray lines = text_of(points);
    const qsizetype half = lines.indexOf('\n', lines.size() / 2) + 1;
    const QByteArray text =
        lines.left(half) + "not a line\r\n" + lines.mid(half) + "12-05-2026\t21:2";
    chart::local_clock utc(QTimeZone::utc());
    chart::log_index index(chart::gap_rule{5}, {});
    const chart::parse_result r = index.add_text(text, 0, utc);
    EXPECT_EQ(r.consumed, text.lastIndexOf('\n') + 1);
    EXPECT_EQ(r.unreadable, 1);
    EXPECT_EQ(index.points(), points.size());
    std::uint64_t at = 0;
    for (std::size_t b = 0; b < index.size(); ++b) {
        EXPECT_EQ(index[b].at, at);
        if (b + 1 < index.size()) {
            EXPECT_GE(index[b].bytes, chart::log_index::block_bytes);
        }
        at += index[b].bytes;
        EXPECT_EQ(text[static_cast<qsizetype>(at) - 1], '\n');
    }
    // Lines that come later join a short last block when they are parsed
    // with it: the same blocks as at once.
    chart::log_index in_two(chart::gap_rule{5}, {});
    const auto first = in_two.add_text(text.left(text.size() / 3), 0, utc, false);
    in_two.add_text(text.mid(first.consumed), static_cast<std::uint64_t>(first.consumed), utc);
    ASSERT_EQ(in_two.size(), index.size());
    EXPECT_EQ(in_two[index.size() / 2].at, index[index.size() / 2].at);

    index.set_source(std::make_shared<chart::text_points>(text, utc));
    chart::point_series series;
    series.append(points);
    expect_same_views(series, index, rng, 20);

    // A block's first time changed in place, as an editor might: the block
    // is refused, and the window is drawn without what was read back.
    QByteArray changed = text;
    const auto second = static_cast<qsizetype>(index[index.size() / 4].at) + 18;
    changed[second] = changed[second] == '0' ? '1' : '0';
    index.set_source(std::make_shared<chart::text_points>(changed, utc));
    const auto w = chart::gather(index, index.first_time(), index.last_time(), 100000);
    EXPECT_FALSE(w.complete);
    EXPECT_TRUE(w.points.empty());
}

} // namespace
