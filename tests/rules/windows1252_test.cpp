#include "rules/windows1252.h"

#include <gtest/gtest.h>

using rules::from_windows1252;
using rules::to_windows1252;

TEST(windows1252, maps_the_high_bytes_as_windows_does_and_round_trips_every_byte) {
    struct row {
        unsigned char byte;
        char16_t character;
    };
    // Undefined in Windows-1252 are 0x81, 0x8D, 0x8F, 0x90 and 0x9D; Windows
    // passes them through as C1.
    const row rows[] = {{0xBA, u'\u00BA'}, {0x80, u'\u20AC'}, {0x8A, u'\u0160'}, {0x93, u'\u201C'},
                        {0x9F, u'\u0178'}, {0x81, u'\u0081'}, {0x9D, u'\u009D'}};
    for (const row& r : rows) {
        const char b = static_cast<char>(r.byte);
        const QString decoded = from_windows1252(QByteArrayView(&b, 1));
        ASSERT_EQ(decoded.size(), 1);
        EXPECT_EQ(decoded[0].unicode(), r.character) << "byte " << int(r.byte);
        EXPECT_EQ(to_windows1252(decoded), QByteArray(1, b)) << "byte " << int(r.byte);
    }

    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    const QString text = from_windows1252(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(to_windows1252(text), all);
}

TEST(windows1252, characters_without_a_byte_become_question_marks) {
    struct row {
        const char16_t* text;
        QByteArray expected;
    };
    const row rows[] = {
        {u"24\u00BAC", QByteArray("24\xBA"
                                  "C")},
        {u"\u03A9", "?"},         // Greek capital omega
        {u"\u0080", "?"},         // the C1 code point, not the euro sign's byte
        {u"\u0100x", "?x"},       // no best-fit "A"
        {u"a\U0001F321b", "a?b"}, // one surrogate pair, one character
        {u"\xD800z", "?z"},       // a lone surrogate
        {u"\u20AC5", QByteArray("\x80"
                                "5")},
    };
    for (const row& r : rows) {
        const QString text = QString::fromUtf16(r.text);
        EXPECT_EQ(to_windows1252(text), r.expected) << text.toStdString();
    }
}
