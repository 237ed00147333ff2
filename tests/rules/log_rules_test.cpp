#include "rules/log_rules.h"

#include <gtest/gtest.h>

TEST(sample_interval, period_per_option_in_test_order) {
    using datalog::sample_period_ms;
    EXPECT_EQ(sample_period_ms(true, false, false, false), 5000);
    EXPECT_EQ(sample_period_ms(false, true, false, false), 10000);
    EXPECT_EQ(sample_period_ms(false, false, true, false), 30000);
    EXPECT_EQ(sample_period_ms(false, false, false, true), 60000);
    EXPECT_EQ(sample_period_ms(false, false, false, false), 5000);
    EXPECT_EQ(sample_period_ms(false, true, true, true), 10000) << "the first selected wins";
}
