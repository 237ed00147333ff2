#include "rules/decoder.h"

#include <gtest/gtest.h>

using namespace rules::decoder;

namespace {

// A second, deliberately plain statement of the decoding table: what a byte
// does per byte class and state.
step expected(const QString& state, int code) {
    const bool first = state == QLatin1String("first");
    const bool second = state == QLatin1String("second");
    if (code == 253)
        return {QStringLiteral("second"), target::none, {}};
    if (code == 254)
        return {QStringLiteral("first"), target::none, {}};
    const QString text = code == 255 ? QStringLiteral(" - - ")
                                     : QString::number(code) + QChar(0xBA) + QLatin1Char('C');
    if (code <= 124 || code == 255) {
        if (first)
            return {std::nullopt, target::sensor1, text};
        if (second)
            return {std::nullopt, target::sensor2, text};
    }
    return {};
}

// One row per decoder state; within a row every byte code 0..255.
class decoder_table : public ::testing::TestWithParam<const char*> {};

TEST_P(decoder_table, every_code_follows_the_table) {
    const QString state = QString::fromLatin1(GetParam());
    for (int code = 0; code < 256; ++code) {
        const step got = decode(state, code);
        const step want = expected(state, code);
        EXPECT_EQ(got.new_state, want.new_state) << "code " << code;
        EXPECT_EQ(got.field, want.field) << "code " << code;
        EXPECT_EQ(got.text, want.text) << "code " << code;
    }
}

INSTANTIATE_TEST_SUITE_P(states, decoder_table,
                         ::testing::Values("first", "second", "", "First", "select"),
                         [](const auto& info) {
                             const std::string s = info.param;
                             return s.empty() ? std::string("empty")
                                              : s + "_" + std::to_string(info.index);
                         });

} // namespace

TEST(reading_text, has_no_space_and_the_masculine_ordinal) {
    EXPECT_EQ(reading_text(25), QString::fromUtf8("25\u00BAC"));
    EXPECT_EQ(reading_text(0), QString::fromUtf8("0\u00BAC"));
    EXPECT_EQ(reading_text(124), QString::fromUtf8("124\u00BAC"));
    EXPECT_EQ(reading_text(25).toLatin1(), QByteArray("25\xBA"
                                                      "C"));
}

TEST(caption, joins_both_readings_in_order) {
    EXPECT_EQ(caption(reading_text(25), no_reading),
              QString::fromUtf8("KESTROVA (25\u00BAC, - - )"));
    EXPECT_EQ(caption({}, {}), QStringLiteral("KESTROVA (,)"));
}
