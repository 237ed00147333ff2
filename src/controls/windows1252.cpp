#include "controls/windows1252.h"

#include <array>

namespace windows1252 {

namespace {

// 0x80..0x9F are not the C1 controls of Latin-1 but typographic characters;
// the five unassigned bytes map to the C1 code point of the same value.
constexpr std::array<char16_t, 32> high_block = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char encode_one(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (std::size_t i = 0; i < high_block.size(); ++i)
        if (high_block[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

QByteArray encode(QStringView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        // A surrogate pair is one character, and it has no byte here.
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        out.append(c.isSurrogate() ? '?' : encode_one(c.unicode()));
    }
    return out;
}

QString decode(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        out.append(QChar(u >= 0x80 && u < 0xA0 ? high_block[u - 0x80] : char16_t(u)));
    }
    return out;
}

} // namespace windows1252
