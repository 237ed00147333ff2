#pragma once

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What the fuzz targets share: cutting an input into pieces, and failing
// loudly. A failed check aborts, which libFuzzer records as a crash with
// the input that caused it, and which fails the corpus replay test.
namespace fuzz {

// Reads an input front to back. Past the end every piece is zero or empty,
// so any input, the empty one included, is a valid one.
class input {
public:
    input(const std::uint8_t* data, std::size_t size)
        : data_(data)
        , size_(size) {}

    std::size_t remaining() const { return size_ - pos_; }

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    std::uint16_t u16() {
        const std::uint16_t lo = byte();
        return static_cast<std::uint16_t>(lo | (byte() << 8));
    }

    // Up to n bytes; *count tells how many there were.
    const std::uint8_t* bytes(std::size_t n, std::size_t* count) {
        const std::size_t k = n < remaining() ? n : remaining();
        const std::uint8_t* p = data_ + pos_;
        pos_ += k;
        *count = k;
        return p;
    }

    // A text of n characters, either one per byte (Latin-1) or, with
    // utf16 set, one UTF-16 code unit per two bytes, so that any code unit,
    // lone surrogates included, can turn up.
    QString text(std::size_t n, bool utf16) {
        QString t;
        t.reserve(static_cast<qsizetype>(n));
        for (std::size_t i = 0; i < n && remaining() > 0; ++i)
            t.append(QChar(utf16 ? u16() : byte()));
        return t;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

[[noreturn]] inline void fail(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", qUtf8Printable(detail));
    std::abort();
}

// A text shown with every character outside printable ASCII escaped, so a
// failure message says exactly what was compared; a long one is cut.
inline QString shown(const QString& s) {
    constexpr qsizetype longest = 300;
    QString out = QStringLiteral("\"");
    for (const QChar c : QStringView(s).first(std::min(s.size(), longest))) {
        if (c >= u' ' && c <= u'~' && c != u'\\' && c != u'"')
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
    }
    out += u'"';
    if (s.size() > longest)
        out += QStringLiteral("... (%1 characters)").arg(s.size());
    return out;
}

} // namespace fuzz
