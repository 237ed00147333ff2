#include "rules/alarm_rules.h"

#include <gtest/gtest.h>
#include <limits>
#include <optional>

namespace {

QString deg(const char* n) {
    return QString::fromLatin1(n) + QStringLiteral("\u00BAC");
}

using kind = alarms::threshold_verdict::kind;

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
        EXPECT_EQ(alarms::reading_value(r.text), r.want) << '"' << r.text.toStdString() << '"';
}

TEST(threshold_rule, text_gives_spin_value_or_refusal) {
    struct row {
        const char* text;
        alarms::threshold_verdict want;
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
        const auto got = alarms::judge_threshold_text(QString::fromUtf8(r.text), QLocale::c());
        EXPECT_EQ(got.what, r.want.what) << '"' << r.text << '"';
        EXPECT_EQ(got.spin, r.want.spin) << '"' << r.text << '"';
    }
}
