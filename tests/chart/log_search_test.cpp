// The lines of a period found by their time must be the very lines that a
// read of the whole log finds, in a log in order and in every kind of log
// that is not: the search reads only around the period where it can tell
// that this gives the same, and the whole log where it cannot.

#include "chart/log_search.h"
#include "chart/report_lines.h"

#include <QByteArray>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr std::int64_t minute = 60;
constexpr std::int64_t hour = 3600;
constexpr std::int64_t day = 86400;
// 2026-03-02 00:00 local; the logs count their days from it.
const std::int64_t start = chart::days_from_civil(2026, 3, 2) * day;

QByteArray line_at(std::int64_t local, int reading) {
    const chart::civil d = chart::civil_from_days(chart::floor_div(local, day));
    const auto s = static_cast<int>(local - chart::floor_div(local, day) * day);
    char text[64];
    const int n = std::snprintf(text, sizeof text,
                                "%02d-%02d-%04d\t%02d:%02d:%02d\t%d\xBA"
                                "C\t30\xBA"
                                "C\r\n",
                                d.month, d.day, d.year, s / 3600, s / 60 % 60, s % 60, reading);
    return QByteArray(text, n);
}

// Ten days at one line a minute (some 450 KB), each line's time from `time`
// of its number; `extra` may add to or change a line.
QByteArray log_of(const std::function<std::int64_t(int)>& time,
                  const std::function<QByteArray(int, QByteArray)>& extra = {}) {
    QByteArray out;
    for (int i = 0; i < 10 * 1440; ++i) {
        QByteArray line = line_at(time(i), 20 + i % 7);
        out += extra ? extra(i, std::move(line)) : line;
    }
    return out;
}

struct log_case {
    const char* name;
    std::function<QByteArray()> make;
};

const log_case logs[] = {
    {"in_order", [] { return log_of([](int i) { return start + i * minute; }); }},
    // Local time: 02:00 to 03:00 of the fifth day twice.
    {"hour_repeated_in_autumn",
     [] {
         return log_of([](int i) {
             const int repeat = 4 * 1440 + 180;
             return start + (i < repeat ? i : i - 60) * minute;
         });
     }},
    {"an_hour_back_on_every_other_line",
     [] { return log_of([](int i) { return start + i * minute - (i % 2) * hour; }); }},
    {"in_reverse_order", [] { return log_of([](int i) { return start + (14399 - i) * minute; }); }},
    // From noon of the sixth day on, the clock a day and a half behind.
    {"clock_set_back_by_days",
     [] {
         return log_of(
             [](int i) { return start + i * minute - (i >= 5 * 1440 + 720 ? 2160 : 0) * minute; });
     }},
    // A stray line dated years ahead, lines that cannot be read, one far
    // too long, and no line end at the end.
    {"stray_lines",
     [] {
         QByteArray log = log_of([](int i) { return start + i * minute; },
                                 [](int i, QByteArray line) {
                                     if (i == 3000)
                                         return line_at(start + day * 3 * 365, 50);
                                     if (i % 97 == 0)
                                         return QByteArray("garbage\r\n");
                                     if (i == 6000)
                                         return QByteArray(5000, 'x') + "\r\n";
                                     return line;
                                 });
         return log + line_at(start + 20 * day, 21).chopped(2);
     }},
};

struct period {
    const char* name;
    std::int64_t from; // seconds from the log's start
    std::int64_t to;
};

const period periods[] = {
    {"first_day", 0, day},
    {"part_of_a_day", 4 * day + 6 * hour, 4 * day + 18 * hour},
    {"two_days", 4 * day, 6 * day},
    {"inside_the_repeated_hour", 4 * day + 2 * hour + 1800, 4 * day + 3 * hour + 1800},
    {"the_last_day", 9 * day, 10 * day},
    {"before_the_log", -5 * day, -4 * day},
    {"after_the_log", 30 * day, 31 * day},
    {"all_of_it", -day, 40 * day},
};

class search : public testing::TestWithParam<std::tuple<log_case, period>> {};

TEST_P(search, finds_the_lines_a_whole_read_finds) {
    const auto& [log, p] = GetParam();
    const QByteArray bytes = log.make();
    const chart::line_span whole = chart::lines_between(bytes, start + p.from, start + p.to);
    const chart::memory_bytes source(bytes);
    const auto found = chart::locate_lines(source, bytes.size(), start + p.from, start + p.to);
    ASSERT_TRUE(found);
    const std::int64_t before = chart::count_lines(bytes.first(found->counted_from));
    const chart::line_span& s = found->span;
    EXPECT_EQ(s.empty(), whole.empty());
    if (whole.empty())
        return;
    EXPECT_EQ(s.begin, whole.begin);
    EXPECT_EQ(s.end, whole.end);
    EXPECT_EQ(s.read_begin, whole.read_begin);
    EXPECT_EQ(s.read_end, whole.read_end);
    EXPECT_EQ(before + s.first_line, whole.first_line);
    EXPECT_EQ(before + s.last_line, whole.last_line);
}

INSTANTIATE_TEST_SUITE_P(table, search,
                         testing::Combine(testing::ValuesIn(logs), testing::ValuesIn(periods)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).name;
                         });

// In a log in order only the lines around the period are read, and a log
// that comes up short is said to.
TEST(search, reads_little_of_a_log_in_order_and_tells_a_log_cut_short) {
    const QByteArray bytes = log_of([](int i) { return start + i * minute; });
    class counting : public chart::memory_bytes {
    public:
        using memory_bytes::memory_bytes;
        qint64 read_at(qint64 pos, char* out, qint64 len) const override {
            const qint64 n = memory_bytes::read_at(pos, out, len);
            read += std::max<qint64>(0, n);
            return n;
        }
        mutable qint64 read = 0;
    };
    const counting source(bytes);
    const auto found = chart::locate_lines(source, bytes.size(), start + 4 * day, start + 5 * day);
    ASSERT_TRUE(found);
    EXPECT_GT(found->counted_from, 0);
    EXPECT_LT(source.read, bytes.size() / 3);

    const chart::memory_bytes shorter(bytes.first(bytes.size() / 2));
    EXPECT_FALSE(chart::locate_lines(shorter, bytes.size(), start + 8 * day, start + 9 * day));
    EXPECT_FALSE(chart::count_lines(shorter, 0, bytes.size(), 2));
    EXPECT_EQ(chart::count_lines(source, 0, bytes.size(), 2), 14400);
}

} // namespace
