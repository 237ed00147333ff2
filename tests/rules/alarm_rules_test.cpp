#include "rules/alarm_rules.h"

#include <gtest/gtest.h>
#include <limits>
#include <optional>

namespace {

QString deg(const char* n) {
    return QString::fromLatin1(n) + QStringLiteral("\u00BAC");
}

using kind = rules::alarms::threshold_verdict::kind;

} // namespace

TEST(alarm_rules, reading_value_is_the_number_in_front_of_the_unit) {
    struct row {
        QString text;
        std::optional<double> want;
    };
    const row table[] = {
        {deg("25"), 25},
        {deg("0"), 0},
        {deg("124"), 124},
        {QString(5000, u'9') + QStringLiteral("\u00BAC"), std::numeric_limits<double>::infinity()},
        {QStringLiteral(" - - "), std::nullopt},
        {QStringLiteral("- -"), std::nullopt},
        {QString(), std::nullopt},
        {QStringLiteral("abc"), std::nullopt},
        {QStringLiteral("25"), std::nullopt},
        {deg("-5"), std::nullopt},
        {deg("2.5"), std::nullopt},
        {deg(" 25"), std::nullopt},
        {QStringLiteral("25\u00B0C"), std::nullopt}, // degree sign, not the ordinal
        {QStringLiteral("\u0662\u0665\u00BAC"), std::nullopt},
    };
    for (const row& r : table)
        EXPECT_EQ(rules::alarms::reading_value(r.text), r.want)
            << '"' << r.text.toStdString() << '"';
}

// The lamps and what leaves the machine follow one judgement.
TEST(alarm_rules, one_judgement_gives_both_lamps_and_the_state) {
    using rules::alarms::lamp_state;
    using rules::alarms::sensor_state;
    constexpr auto red = lamp_state::alarm;
    constexpr auto green = lamp_state::normal;
    constexpr auto white = lamp_state::off;
    const std::optional<double> none;
    struct row {
        bool on;
        std::optional<double> reading, high, low;
        lamp_state high_lamp, low_lamp;
        sensor_state state;
    };
    const row table[] = {
        {false, 25, 30, 10, white, white, sensor_state::off},
        {false, none, none, none, white, white, sensor_state::off},
        {true, 25, 30, 10, green, green, sensor_state::normal},
        {true, 30, 30, 10, red, green, sensor_state::high},
        {true, 10, 30, 10, green, red, sensor_state::low},
        // Both rows reached (low above high): the high alarm is the one named.
        {true, 35, 30, 40, red, red, sensor_state::high},
        // A missing reading lights both lamps, and is one state, never a
        // high (or low) alarm.
        {true, none, 30, 10, red, red, sensor_state::no_reading},
        // A threshold that is no number shows the alarm, lamp and state alike.
        {true, 25, none, 10, red, green, sensor_state::high},
        {true, 25, 30, none, green, red, sensor_state::low},
    };
    for (const row& r : table) {
        const rules::alarms::sensor_judgement j =
            rules::alarms::judge_sensor(r.on, r.reading, r.high, r.low);
        SCOPED_TRACE(::testing::Message()
                     << "on " << r.on << ", reading " << r.reading.value_or(-1) << ", high "
                     << r.high.value_or(-1) << ", low " << r.low.value_or(-1));
        EXPECT_EQ(j.high, r.high_lamp);
        EXPECT_EQ(j.low, r.low_lamp);
        EXPECT_EQ(j.state, r.state);
    }
}

TEST(threshold_rule, text_gives_spin_value_or_refusal) {
    struct row {
        const char* text;
        rules::alarms::threshold_verdict want;
    };
    const row table[] = {
        {"30", {kind::set_spin, 30}},
        {"125", {kind::set_spin, 125}},
        {"12.5", {kind::set_spin, 12}},
        {"13.5", {kind::set_spin, 14}},
        {"12.7", {kind::set_spin, 13}},
        {"124.5", {kind::set_spin, 124}},
        {"124.51", {kind::set_spin, 125}},
        {"-0.5", {kind::set_spin, 0}},
        {"1.25e2", {kind::set_spin, 125}},
        {"125.4", {kind::refuse, 0}},
        {"130", {kind::refuse, 0}},
        {"1e400", {kind::refuse, 0}},
        {"-5", {kind::set_spin, 0}},
        {"-1e400", {kind::set_spin, 0}},
        {"", {kind::keep, 0}},
        {".", {kind::keep, 0}},
        {"abc", {kind::keep, 0}},
        {"12,7", {kind::keep, 0}},
    };
    for (const row& r : table) {
        const auto got =
            rules::alarms::judge_threshold_text(QString::fromUtf8(r.text), QLocale::c());
        EXPECT_EQ(got.what, r.want.what) << '"' << r.text << '"';
        EXPECT_EQ(got.spin, r.want.spin) << '"' << r.text << '"';
    }
}
