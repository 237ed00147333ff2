#include "rules/numbers.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

struct leading_case {
    const char16_t* text;
    double expected;
};

const double inf = std::numeric_limits<double>::infinity();

const leading_case rows[] = {
    // What a save writes.
    {u"1", 1},
    {u"0", 0},
    {u"40", 40},
    {u"125", 125},
    {u"False", 0},
    {u"True", 0},
    // Not a number at the start.
    {u"", 0},
    {u"abc", 0},
    {u"-", 0},
    {u".", 0},
    {u"e5", 0},
    {u"+-5", 0},
    {u"\u00BA5", 0},
    // The number ends where it cannot go on.
    {u"40abc", 40},
    {u"24\u00BAC", 24},
    {u"1.5.3", 1.5},
    {u"12-3", 12},
    {u"1e", 1},
    {u"1e+", 1},
    {u"7,5", 7},
    // Sign, decimal point, exponent.
    {u"-12", -12},
    {u"+3", 3},
    {u".5", 0.5},
    {u"-.25", -0.25},
    {u"2.5e2", 250},
    {u"1E-2", 0.01},
    {u"3d2", 300},
    {u"007", 7},
    // Blanks are skipped anywhere inside the number.
    {u"   8", 8},
    {u"\t9", 9},
    {u"1 2 3", 123},
    {u"- 4", -4},
    {u"1 . 5", 1.5},
    {u"1 e 2", 100},
    {u"1e -2", 0.01},
    {u"1e- 2", 0.01},
    // Magnitudes a double cannot hold.
    {u"1e999", inf},
    {u"-1e999", -inf},
    {u"1e-999", 0},
    {u"1e99999999999999999999", inf}};

} // namespace

TEST(leading_number, converts_the_number_a_text_begins_with) {
    for (const leading_case& row : rows) {
        const QString text = QString::fromUtf16(row.text);
        const double got = rules::leading_number(text);
        if (std::isinf(row.expected))
            EXPECT_EQ(got, row.expected) << "text \"" << text.toStdString() << '"';
        else
            EXPECT_DOUBLE_EQ(got, row.expected) << "text \"" << text.toStdString() << '"';
    }
}
