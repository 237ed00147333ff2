#include "rules/numbers.h"

#include <QLocale>
#include <QString>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

struct decimal_case {
    const char* name;
    QString text;
    std::optional<double> want;
};

void expect_reads(const std::vector<decimal_case>& table, const QLocale& locale) {
    for (const decimal_case& c : table) {
        const std::optional<double> got = rules::read_decimal(c.text, locale);
        ASSERT_EQ(got.has_value(), c.want.has_value()) << c.name;
        if (c.want) {
            EXPECT_EQ(*got, *c.want) << c.name;
            EXPECT_EQ(std::signbit(*got), std::signbit(*c.want)) << c.name;
        }
    }
}

} // namespace

TEST(read_decimal, reads_a_whole_text_as_one_decimal_number) {
    const QString many_nines(10000, u'9');
    const QString tiny = QStringLiteral("0.") + QString(10000, u'0') + QStringLiteral("1");
    const std::vector<decimal_case> table = {
        {"plain", QStringLiteral("30"), 30},
        {"leading zero", QStringLiteral("08"), 8},
        {"blanks around", QStringLiteral(" 40 "), 40},
        {"plus sign", QStringLiteral("+5"), 5},
        {"minus sign", QStringLiteral("-5"), -5},
        {"negative zero", QStringLiteral("-0"), -0.0},
        {"trailing point", QStringLiteral("12."), 12},
        {"leading point", QStringLiteral(".5"), 0.5},
        {"fraction", QStringLiteral("12.7"), 12.7},
        {"just above the limit", QStringLiteral("125.01"), 125.01},
        {"exponent", QStringLiteral("1.5e2"), 150},
        {"negative exponent", QStringLiteral("1E-2"), 0.01},
        {"overflow", QStringLiteral("1e400"), inf},
        {"negative overflow", QStringLiteral("-1e400"), -inf},
        {"underflow", QStringLiteral("1e-400"), 0},
        {"exponent beyond 64 bits", QStringLiteral("1e99999999999999999999"), inf},
        {"fraction with a huge exponent", QStringLiteral("0.5e400"), inf},
        {"ten thousand digits", many_nines, inf},
        {"ten thousand digits, scaled down", many_nines + QStringLiteral("e-10000"), 1},
        {"tiny fraction", tiny, 0},
        {"empty", QString(), std::nullopt},
        {"blanks only", QStringLiteral("   "), std::nullopt},
        {"lone minus", QStringLiteral("-"), std::nullopt},
        {"lone point", QStringLiteral("."), std::nullopt},
        {"exponent without mantissa", QStringLiteral("e5"), std::nullopt},
        {"exponent without digits", QStringLiteral("1e"), std::nullopt},
        {"blank inside", QStringLiteral("1 2"), std::nullopt},
        {"two points", QStringLiteral("1.2.3"), std::nullopt},
        {"letters after", QStringLiteral("12abc"), std::nullopt},
        {"letters", QStringLiteral("abc"), std::nullopt},
        {"nan", QStringLiteral("nan"), std::nullopt},
        {"inf", QStringLiteral("inf"), std::nullopt},
        {"Infinity", QStringLiteral("-Infinity"), std::nullopt},
        {"comma in the C locale", QStringLiteral("1,5"), std::nullopt},
        {"Arabic-Indic digits", QStringLiteral("\u0661\u0662"), std::nullopt},
        {"emoji after digits", QString::fromUtf8("12\U0001F600"), std::nullopt},
        {"lone surrogate", QString(QChar(0xD800)), std::nullopt},
        {"NUL inside", QString::fromUtf16(u"1\u00002", 3), std::nullopt},
    };
    expect_reads(table, QLocale::c());
}

TEST(read_decimal, takes_the_decimal_separator_of_the_locale) {
    const QLocale german(QLocale::German, QLocale::Germany);
    ASSERT_EQ(german.decimalPoint(), QStringLiteral(","));
    expect_reads({{"comma", QStringLiteral("12,7"), 12.7},
                  {"comma and exponent", QStringLiteral("1,5e2"), 150},
                  {"point is not the separator", QStringLiteral("12.7"), std::nullopt},
                  {"group separators are not read", QStringLiteral("1.000"), std::nullopt},
                  {"whole number", QStringLiteral(" 40 "), 40}},
                 german);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    expect_reads({{"point", QStringLiteral("12.7"), 12.7},
                  {"comma is not the separator", QStringLiteral("12,7"), std::nullopt}},
                 english);
}

TEST(to_int32_half_even, rounds_halves_to_even_and_refuses_what_does_not_fit) {
    struct row {
        double value;
        std::optional<std::int32_t> want;
    };
    const row table[] = {
        {12.5, 12},
        {13.5, 14},
        {12.7, 13},
        {-0.5, 0},
        {-2.5, -2},
        {124.5, 124},
        {-0.0, 0},
        {2147483647.0, 2147483647},
        {2147483647.4, 2147483647},
        {2147483647.5, std::nullopt}, // rounds to 2^31
        {-2147483648.0, std::numeric_limits<std::int32_t>::min()},
        {-2147483648.5, std::numeric_limits<std::int32_t>::min()}, // even neighbour is in range
        {-2147483649.0, std::nullopt},
        {1e300, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const row& r : table)
        EXPECT_EQ(rules::to_int32_half_even(r.value), r.want) << "value " << r.value;
}
