#include "rules/log_rules.h"

#include <gtest/gtest.h>

TEST(sample_interval, period_per_option_in_test_order) {
    using rules::datalog::sample_period_ms;
    EXPECT_EQ(sample_period_ms(true, false, false, false), 5000);
    EXPECT_EQ(sample_period_ms(false, true, false, false), 10000);
    EXPECT_EQ(sample_period_ms(false, false, true, false), 30000);
    EXPECT_EQ(sample_period_ms(false, false, false, true), 60000);
    EXPECT_EQ(sample_period_ms(false, false, false, false), 5000);
    EXPECT_EQ(sample_period_ms(false, true, true, true), 10000) << "the first selected wins";
}

// The history chart and every reader of the log rely on these fixed fields:
// month-day-year and a 24-hour clock, each with its leading zeros.
TEST(log_line, date_and_time_fields_whatever_the_hour) {
    const struct {
        QDate date;
        QTime time;
        const char* expected;
    } rows[] = {
        {{2026, 1, 2}, {0, 0, 0}, "01-02-2026\t00:00:00"},
        {{2026, 12, 31}, {9, 5, 7}, "12-31-2026\t09:05:07"},
        {{2027, 6, 15}, {12, 30, 0}, "06-15-2027\t12:30:00"},
        {{2027, 6, 15}, {13, 0, 59}, "06-15-2027\t13:00:59"},
        {{2028, 2, 29}, {23, 59, 59}, "02-29-2028\t23:59:59"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(rules::datalog::log_line(QDateTime(row.date, row.time),
                                           QStringLiteral("7\u00BAC"), QStringLiteral(" - - ")),
                  QByteArray(row.expected) + "\t7\xBA" + "C\t - - \r\n")
            << row.expected;
}
