// The time axis's ticks: round local times at a step that suits the span,
// across the clock changes and in a zone half an hour off the hour.

#include "chart/history_ticks.h"

#include <QDateTime>
#include <gtest/gtest.h>

namespace {

struct ticks_case {
    const char* name;
    const char* zone;
    const char* from; // UTC, ISO 8601
    const char* to;
    double min_gap;
    std::vector<QString> labels;
};

double utc(const char* iso) {
    return static_cast<double>(
        QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toSecsSinceEpoch());
}

class time_ticks : public testing::TestWithParam<ticks_case> {};

TEST_P(time_ticks, fall_on_round_local_times) {
    const ticks_case& c = GetParam();
    chart::local_clock clock{QTimeZone(c.zone)};
    const auto ticks = chart::time_ticks(utc(c.from), utc(c.to), c.min_gap, clock);
    std::vector<QString> labels;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        labels.push_back(ticks[i].label);
        EXPECT_GE(static_cast<double>(ticks[i].time), utc(c.from));
        EXPECT_LE(static_cast<double>(ticks[i].time), utc(c.to));
        // An hour less where the clocks go forward between two local times.
        if (i > 0) {
            EXPECT_GE(static_cast<double>(ticks[i].time - ticks[i - 1].time), c.min_gap - 3600);
        }
    }
    EXPECT_EQ(labels, c.labels);
}

INSTANTIATE_TEST_SUITE_P(
    table, time_ticks,
    testing::Values(
        ticks_case{"ten_seconds",
                   "UTC",
                   "2026-12-05T12:00:03Z",
                   "2026-12-05T12:01:00Z",
                   8,
                   {"12:00:10", "12:00:20", "12:00:30", "12:00:40", "12:00:50", "12:01:00"}},
        ticks_case{"quarter_hours",
                   "UTC",
                   "2026-12-05T21:10:05Z",
                   "2026-12-05T22:20:00Z",
                   700,
                   {"21:15", "21:30", "21:45", "22:00", "22:15"}},
        ticks_case{"whole_local_hours_half_an_hour_off_utc",
                   "Asia/Kolkata",
                   "2026-12-05T00:00:00Z",
                   "2026-12-05T03:00:00Z",
                   3000,
                   {"06:00", "07:00", "08:00"}},
        ticks_case{"midnight_gives_the_date",
                   "UTC",
                   "2026-12-05T18:00:00Z",
                   "2026-12-06T09:00:00Z",
                   10000,
                   {"18:00", "21:00", "12-06", "03:00", "06:00", "09:00"}},
        ticks_case{"hour_repeated_in_autumn",
                   "Europe/Berlin",
                   "2026-10-24T23:30:00Z",
                   "2026-10-25T02:30:00Z",
                   1800,
                   {"01:30", "02:00", "02:30", "02:00", "02:30", "03:00", "03:30"}},
        ticks_case{"hour_skipped_in_spring",
                   "Europe/Berlin",
                   "2026-03-28T22:00:00Z",
                   "2026-03-29T12:00:00Z",
                   10000,
                   {"03-29", "03:00", "06:00", "09:00", "12:00"}},
        ticks_case{"days",
                   "UTC",
                   "2026-12-01T12:00:00Z",
                   "2026-12-08T12:00:00Z",
                   80000,
                   {"12-02", "12-03", "12-04", "12-05", "12-06", "12-07", "12-08"}},
        ticks_case{
            "weeks_begin_on_monday",
            "UTC",
            "2026-11-01T00:00:00Z",
            "2026-12-31T00:00:00Z",
            5 * 86400,
            {"11-02", "11-09", "11-16", "11-23", "11-30", "12-07", "12-14", "12-21", "12-28"}},
        ticks_case{"months",
                   "Europe/Berlin",
                   "2024-12-31T23:00:00Z",
                   "2025-12-31T22:59:55Z",
                   20 * 86400,
                   {"Jan 2025", "Feb 2025", "Mar 2025", "Apr 2025", "May 2025", "Jun 2025",
                    "Jul 2025", "Aug 2025", "Sep 2025", "Oct 2025", "Nov 2025", "Dec 2025"}},
        ticks_case{"quarters",
                   "UTC",
                   "2024-01-01T00:00:00Z",
                   "2026-12-31T00:00:00Z",
                   60 * 86400,
                   {"Jan 2024", "Apr 2024", "Jul 2024", "Oct 2024", "Jan 2025", "Apr 2025",
                    "Jul 2025", "Oct 2025", "Jan 2026", "Apr 2026", "Jul 2026", "Oct 2026"}},
        ticks_case{"years",
                   "UTC",
                   "2000-01-01T00:00:00Z",
                   "2030-06-01T00:00:00Z",
                   3 * 365 * 86400,
                   {"2000", "2005", "2010", "2015", "2020", "2025", "2030"}}),
    [](const testing::TestParamInfo<ticks_case>& i) { return std::string(i.param.name); });

TEST(time_ticks, stay_few_however_small_the_gap_asked_for) {
    chart::local_clock clock{QTimeZone::utc()};
    EXPECT_LE(chart::time_ticks(0, 365.0 * 86400, 0, clock).size(), 500u);
    EXPECT_TRUE(chart::time_ticks(10, 5, 1, clock).empty());
}

} // namespace
