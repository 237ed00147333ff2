#include "rules/windows1252.h"

#include <array>

namespace rules {

namespace {

// Characters of the bytes 0x80..0x9F, where Windows-1252 parts from Latin-1.
constexpr std::array<char16_t, 32> high_c1 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char to_byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (std::size_t i = 0; i < high_c1.size(); ++i)
        if (high_c1[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

QByteArray to_windows1252(QStringView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i; // nothing above the BMP has a byte
            out += '?';
        } else if (c.isSurrogate()) {
            out += '?';
        } else {
            out += to_byte(c.unicode());
        }
    }
    return out;
}

QString from_windows1252(QByteArrayView bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        d[i] = (b >= 0x80 && b <= 0x9F) ? QChar(high_c1[b - 0x80]) : QChar(b);
    }
    return out;
}

} // namespace rules
