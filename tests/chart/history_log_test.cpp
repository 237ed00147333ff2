// Reading the data log back: the line parser, the parse of a stretch of
// bytes, and local time to UTC across the clock changes.

#include "chart/history_log.h"
#include "rules/log_rules.h"

#include <QDateTime>
#include <gtest/gtest.h>

namespace {

using chart::no_reading;

struct line_case {
    const char* name;
    QByteArray line;
    bool readable;
    int s1 = no_reading;
    int s2 = no_reading;
};

class log_line : public testing::TestWithParam<line_case> {};

TEST_P(log_line, reads_exactly_the_monitors_format) {
    const line_case& c = GetParam();
    const auto f = chart::parse_log_line(c.line);
    ASSERT_EQ(f.has_value(), c.readable);
    if (!f)
        return;
    EXPECT_EQ(f->sensor[0], c.s1);
    EXPECT_EQ(f->sensor[1], c.s2);
}

const QByteArray date = "12-05-2026\t21:10:05\t";

INSTANTIATE_TEST_SUITE_P(
    table, log_line,
    testing::Values(line_case{"both_readings",
                              date + "23\xBA"
                                     "C\t31\xBA"
                                     "C",
                              true, 23, 31},
                    line_case{"no_reading_text",
                              date + "23\xBA"
                                     "C\t - - ",
                              true, 23},
                    line_case{"empty_fields", date + "\t", true},
                    line_case{"lowest_and_highest",
                              date + "0\xBA"
                                     "C\t124\xBA"
                                     "C",
                              true, 0, 124},
                    line_case{"utf8_degree_sign",
                              date + "7\xC2\xBA"
                                     "C\t",
                              true, 7},
                    line_case{"reading_above_124",
                              date + "125\xBA"
                                     "C\t",
                              false},
                    line_case{"four_digits",
                              date + "0023\xBA"
                                     "C\t",
                              false},
                    line_case{"no_unit", date + "23\t", false},
                    line_case{"plain_C", date + "23C\t", false},
                    line_case{"negative",
                              date + "-3\xBA"
                                     "C\t",
                              false},
                    line_case{"three_fields",
                              date + "23\xBA"
                                     "C",
                              false},
                    line_case{"five_fields",
                              date + "23\xBA"
                                     "C\t\t",
                              false},
                    line_case{"february_30", "02-30-2026\t10:00:00\t\t", false},
                    line_case{"february_29_leap", "02-29-2028\t10:00:00\t\t", true},
                    line_case{"february_29_common", "02-29-2100\t10:00:00\t\t", false},
                    line_case{"month_13", "13-01-2026\t10:00:00\t\t", false},
                    line_case{"hour_24", "12-05-2026\t24:00:00\t\t", false},
                    line_case{"second_60", "12-05-2026\t23:59:60\t\t", false},
                    line_case{"year_first", "2026-12-05\t10:00:00\t\t", false},
                    line_case{"space_for_tab", "12-05-2026 10:00:00\t\t", false},
                    line_case{"letters_in_date", "1a-05-2026\t10:00:00\t\t", false},
                    line_case{"binary",
                              QByteArray("\0\x01\xFF\t\x80\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t", 22),
                              false},
                    line_case{"empty", "", false}),
    [](const testing::TestParamInfo<line_case>& i) { return std::string(i.param.name); });

TEST(log_line, reads_back_what_the_monitor_writes) {
    const QTimeZone utc = QTimeZone::utc();
    const QDateTime t(QDate(2026, 12, 5), QTime(21, 10, 5), utc);
    QByteArray line =
        rules::datalog::log_line(t, QStringLiteral("23\u00BAC"), QStringLiteral(" - - "));
    ASSERT_TRUE(line.endsWith("\r\n"));
    line.chop(2);
    const auto f = chart::parse_log_line(line);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->local_seconds, t.toSecsSinceEpoch());
    EXPECT_EQ(f->sensor[0], 23);
    EXPECT_EQ(f->sensor[1], no_reading);
}

TEST(log_bytes, counts_bad_lines_and_leaves_the_unended_tail) {
    chart::local_clock clock{QTimeZone::utc()};
    std::vector<chart::log_point> points;
    const QByteArray bytes = date +
                             "1\xBA"
                             "C\t\r\n"       // CR LF
                             + "garbage\r\n" // unreadable
                             + date +
                             "2\xBA"
                             "C\t\n"                          // LF alone
                             + "\r\n"                         // empty line
                             + "01-01-1969\t00:00:00\t\t\r\n" // before 1970: no place in a point
                             + date +
                             "3\xBA"
                             "C\t"; // still being written
    const chart::parse_result r = chart::parse_log_bytes(bytes, clock, points);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].sensor[0], 1);
    EXPECT_EQ(points[1].sensor[0], 2);
    EXPECT_EQ(r.unreadable, 3);
    EXPECT_EQ(r.consumed, bytes.lastIndexOf('\n') + 1);
}

struct zone_case {
    const char* name;
    QDate date;
    QTime time;
};

class local_clock_test : public testing::TestWithParam<zone_case> {};

TEST_P(local_clock_test, agrees_with_qdatetime) {
    const QTimeZone berlin("Europe/Berlin");
    if (!berlin.isValid())
        GTEST_SKIP() << "no time zone data";
    chart::local_clock clock(berlin);
    const zone_case& c = GetParam();
    const QDateTime expected(c.date, c.time, berlin);
    const std::int64_t local =
        chart::days_from_civil(c.date.year(), c.date.month(), c.date.day()) * 86400 +
        c.time.msecsSinceStartOfDay() / 1000;
    EXPECT_EQ(clock.to_utc(local), expected.toSecsSinceEpoch());
    EXPECT_EQ(clock.offset_at_utc(expected.toSecsSinceEpoch()), expected.offsetFromUtc());
}

INSTANTIATE_TEST_SUITE_P(
    table, local_clock_test,
    testing::Values(zone_case{"winter", QDate(2026, 1, 15), QTime(12, 0, 0)},
                    zone_case{"summer", QDate(2026, 7, 15), QTime(12, 0, 0)},
                    zone_case{"before_spring_change", QDate(2026, 3, 29), QTime(1, 59, 59)},
                    zone_case{"after_spring_change", QDate(2026, 3, 29), QTime(3, 0, 0)},
                    zone_case{"last_summer_second", QDate(2026, 10, 25), QTime(1, 59, 59)},
                    zone_case{"after_autumn_change", QDate(2026, 10, 25), QTime(3, 0, 0)},
                    zone_case{"leap_day", QDate(2028, 2, 29), QTime(23, 59, 59)}),
    [](const testing::TestParamInfo<zone_case>& i) { return std::string(i.param.name); });

TEST(local_clock, repeated_hour_in_autumn_goes_back_in_time) {
    const QTimeZone berlin("Europe/Berlin");
    if (!berlin.isValid())
        GTEST_SKIP() << "no time zone data";
    chart::local_clock clock(berlin);
    std::vector<chart::log_point> points;
    // The monitor's clock runs 02:59:55 (summer time), then 02:00:00 again.
    const QByteArray bytes = "10-25-2026\t02:59:55\t20\xBA"
                             "C\t\r\n"
                             "10-25-2026\t02:00:00\t21\xBA"
                             "C\t\r\n";
    chart::parse_log_bytes(bytes, clock, points);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_LT(points[1].time, points[0].time);
}

// The wall clock of both changes of 2026 in Berlin, line by line at 5 s: the
// hour skipped in spring (written all the same by a clock that is set by
// hand), and the hour repeated in autumn, where time goes back.
QByteArray clock_change_lines() {
    QByteArray out;
    const auto lines = [&out](QDate date, int from_hour, int to_hour) {
        for (int s = from_hour * 3600; s < to_hour * 3600; s += 5)
            out += rules::datalog::log_line(
                QDateTime(date, QTime(0, 0).addSecs(s), QTimeZone::utc()),
                QStringLiteral("%1\u00BAC").arg(s / 60 % 125), QStringLiteral(" - - "));
    };
    // With the end of the day before and the start of the day after each,
    // whose offsets hold the whole day.
    lines(QDate(2026, 3, 28), 22, 24);
    lines(QDate(2026, 3, 29), 0, 5);
    lines(QDate(2026, 3, 30), 0, 2);
    lines(QDate(2026, 10, 24), 22, 24);
    lines(QDate(2026, 10, 25), 0, 3);
    lines(QDate(2026, 10, 25), 2, 4);
    lines(QDate(2026, 10, 26), 0, 2);
    return out;
}

TEST(local_clock, cached_per_day_or_hour_gives_the_conversion_of_every_line) {
    const QTimeZone berlin("Europe/Berlin");
    if (!berlin.isValid())
        GTEST_SKIP() << "no time zone data";
    const QByteArray bytes = clock_change_lines();
    chart::local_clock clock(berlin);
    std::vector<chart::log_point> points;
    const chart::parse_result r = chart::parse_log_bytes(bytes, clock, points);
    ASSERT_EQ(r.unreadable, 0);
    std::size_t i = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const auto f = chart::parse_log_line(QByteArrayView(line).chopped(1));
        ASSERT_TRUE(f);
        // As QDateTime converts the one line, its own date and time.
        const auto days = chart::floor_div(f->local_seconds, 86400);
        const auto [y, m, d] = chart::civil_from_days(days);
        const QDateTime dt(QDate(y, m, d),
                           QTime(0, 0).addSecs(static_cast<int>(f->local_seconds - days * 86400)),
                           berlin);
        const std::int64_t expected = dt.isValid() ? dt.toSecsSinceEpoch() : f->local_seconds;
        ASSERT_LT(i, points.size());
        ASSERT_EQ(points[i++].time, expected) << line.constData();
    }
    EXPECT_EQ(i, points.size());
}

TEST(log_parallel, parts_split_at_line_ends_give_what_one_pass_gives) {
    const QTimeZone berlin("Europe/Berlin");
    const chart::local_clock clock(berlin.isValid() ? berlin : QTimeZone::utc());
    const QByteArray one_line = date + "5\xBA"
                                       "C\t\r\n";
    const QByteArray logs[] = {
        clock_change_lines() + "garbage\r\n" + date +
            "7\xBA"
            "C\t", // a line still written
        one_line,
        one_line.chopped(2), // one line without its end
        "\n\n\n",
        {},
    };
    for (const QByteArray& bytes : logs) {
        chart::local_clock whole_clock = clock;
        std::vector<chart::log_point> whole;
        const chart::parse_result one = chart::parse_log_bytes(bytes, whole_clock, whole);
        for (const int threads : {1, 2, 3, 4, 7, 64}) {
            SCOPED_TRACE(testing::Message()
                         << bytes.size() << " bytes on " << threads << " threads");
            const auto parts = chart::split_at_line_ends(bytes, threads);
            ASSERT_EQ(parts.size(), static_cast<std::size_t>(threads));
            QByteArray joined;
            for (const QByteArrayView part : parts) {
                joined += part.toByteArray();
                // A part ends a line, or it holds the end of the bytes: no
                // line is cut.
                EXPECT_TRUE(part.isEmpty() || part.endsWith('\n') || joined.size() == bytes.size());
            }
            EXPECT_EQ(joined, bytes);
            std::vector<chart::log_point> split;
            const chart::parse_result r = chart::parse_log_parallel(bytes, clock, threads, split);
            EXPECT_EQ(r.consumed, one.consumed);
            EXPECT_EQ(r.unreadable, one.unreadable);
            ASSERT_EQ(split.size(), whole.size());
            for (std::size_t i = 0; i < split.size(); ++i) {
                ASSERT_TRUE(split[i].time == whole[i].time &&
                            split[i].sensor[0] == whole[i].sensor[0] &&
                            split[i].sensor[1] == whole[i].sensor[1])
                    << "point " << i;
            }
        }
    }
}

} // namespace
