// The number readers and the rounding helper on any text. Checked against
// plain references built on strtod: read_decimal in the C locale, the
// same text in a comma locale and in a locale whose separator is not ASCII
// (with the separators swapped, the answer must not change), leading_number,
// to_int32_half_even on every result and on raw bit patterns, the threshold
// rule with its spin value within 0..125, and the number of a reading text.
// No result may be NaN.
//
// Input: a mode byte (bits 0-1: the text as Latin-1, UTF-8, UTF-16, or eight
// bytes of a double for the rounding helper followed by a Latin-1 text),
// then the text.

#include "fuzz_support.h"

#include "rules/alarm_rules.h"
#include "rules/decoder.h"
#include "rules/numbers.h"

#include <QLocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

struct locales {
    QLocale c = QLocale::c();
    QLocale comma{QLocale::German, QLocale::Germany};
    QLocale arabic{QLocale::Arabic, QLocale::Egypt};
};

const locales& the_locales() {
    static const locales l;
    return l;
}

QString number_text(double v) {
    return QString::number(v, 'g', 17);
}

bool same_number(double a, double b) {
    return a == b && std::signbit(a) == std::signbit(b);
}

bool same_number(std::optional<double> a, std::optional<double> b) {
    return a.has_value() == b.has_value() && (!a || same_number(*a, *b));
}

QString shown_number(std::optional<double> v) {
    return v ? number_text(*v) : QStringLiteral("not a number");
}

bool ascii_digit(char c) {
    return c >= '0' && c <= '9';
}

// Rounding to nearest, halves to even, from the floor and the distance to
// it; nothing for what a 32-bit integer cannot hold.
std::optional<double> reference_int32(double v) {
    if (!std::isfinite(v))
        return std::nullopt;
    const double f = std::floor(v);
    const double d = v - f;
    double r = f + 1;
    if (d < 0.5 || (d == 0.5 && std::fmod(f, 2.0) == 0))
        r = f;
    if (r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return r;
}

void check_rounding(double v) {
    const std::optional<std::int32_t> got = rules::to_int32_half_even(v);
    const std::optional<double> want = reference_int32(v);
    if (got.has_value() != want.has_value() || (got && static_cast<double>(*got) != *want))
        fuzz::fail("to_int32_half_even",
                   QStringLiteral("%1 gives %2, should be %3")
                       .arg(number_text(v), got ? QString::number(*got) : QStringLiteral("nothing"),
                            shown_number(want)));
}

// The text as ASCII, with anything else as a character no number contains.
std::string ascii_of(QStringView t) {
    std::string s;
    s.reserve(static_cast<std::size_t>(t.size()));
    for (const QChar c : t)
        s += (c.unicode() > 0 && c.unicode() < 0x80) ? static_cast<char>(c.unicode()) : '\x01';
    return s;
}

double strtod_of(const std::string& s) {
    return std::strtod(s.c_str(), nullptr);
}

// The whole text as one number with "." as separator: blanks (space, tab)
// around it, sign, digits with a decimal part, exponent with digits.
std::optional<double> reference_decimal(const QString& text) {
    std::string s = ascii_of(text);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.erase(0, 1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < s.size() && ascii_digit(s[i]))
            ++i;
        return i - from;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (digits() == 0)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    return strtod_of(s);
}

// The leading number with blanks (space, tab, CR, LF) skipped anywhere:
// sign, digits with a decimal part, exponent (e or d) only with digits.
double reference_leading(const QString& text) {
    std::string s;
    for (const char c : ascii_of(text))
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            s += c;
    std::string number;
    std::size_t i = 0;
    const auto digits = [&] {
        std::string d;
        while (i < s.size() && ascii_digit(s[i]))
            d += s[i++];
        return d;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number += s[i++];
    const std::string whole = digits();
    std::string fraction;
    if (i < s.size() && s[i] == '.') {
        ++i;
        fraction = digits();
    }
    if (whole.empty() && fraction.empty())
        return 0;
    number += (whole.empty() ? std::string("0") : whole) + '.' + fraction;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        ++i;
        std::string exponent = "e";
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            exponent += s[i++];
        const std::string e = digits();
        if (!e.empty())
            number += exponent + e;
    }
    return strtod_of(number);
}

QString swapped(const QString& text, QChar a, QChar b) {
    QString t = text;
    for (QChar& c : t) {
        if (c == a)
            c = b;
        else if (c == b)
            c = a;
    }
    return t;
}

void check_threshold(const QString& text, const QLocale& locale, std::optional<double> n) {
    using kind = rules::alarms::threshold_verdict::kind;
    const rules::alarms::threshold_verdict v = rules::alarms::judge_threshold_text(text, locale);
    if (!n) {
        if (v.what != kind::keep)
            fuzz::fail("a text that is not a number moved the spin button", fuzz::shown(text));
        return;
    }
    if (*n > rules::alarms::threshold_limit) {
        if (v.what != kind::refuse)
            fuzz::fail("a threshold above the limit was not refused", fuzz::shown(text));
        return;
    }
    const double want = *n < 0 ? 0 : reference_int32(*n).value_or(-1);
    if (v.what != kind::set_spin || static_cast<double>(v.spin) != want || v.spin < 0 ||
        v.spin > rules::alarms::threshold_limit)
        fuzz::fail("threshold spin value", QStringLiteral("%1 read as %2 gives %3, should be %4")
                                               .arg(fuzz::shown(text), number_text(*n),
                                                    QString::number(v.spin), number_text(want)));
}

void check_decimal(const QString& text) {
    const locales& l = the_locales();
    const std::optional<double> in_c = rules::read_decimal(text, l.c);
    const std::optional<double> want = reference_decimal(text);
    if (!same_number(in_c, want))
        fuzz::fail("read_decimal in the C locale",
                   QStringLiteral("%1 gives %2, should be %3")
                       .arg(fuzz::shown(text), shown_number(in_c), shown_number(want)));
    check_threshold(text, l.c, in_c);
    if (in_c)
        check_rounding(*in_c);

    for (const QLocale* locale : {&l.comma, &l.arabic}) {
        const QString sep = locale->decimalPoint();
        const std::optional<double> got = rules::read_decimal(text, *locale);
        if (got && std::isnan(*got))
            fuzz::fail("read_decimal gives NaN", fuzz::shown(text));
        if (sep.size() == 1 && sep != QStringLiteral(".")) {
            const QString as_c = swapped(text, sep.front(), QChar(u'.'));
            const std::optional<double> c_answer = rules::read_decimal(as_c, l.c);
            if (!same_number(got, c_answer))
                fuzz::fail("read_decimal with another separator",
                           QStringLiteral("%1 in %2 gives %3, in C as %4 %5")
                               .arg(fuzz::shown(text), locale->name(), shown_number(got),
                                    fuzz::shown(as_c), shown_number(c_answer)));
        }
        check_threshold(text, *locale, got);
    }
}

void check_leading(const QString& text) {
    const double got = rules::leading_number(text);
    const double want = reference_leading(text);
    if (std::isnan(got) || !same_number(got, want))
        fuzz::fail("leading_number",
                   QStringLiteral("%1 gives %2, should be %3")
                       .arg(fuzz::shown(text), number_text(got), number_text(want)));
    check_rounding(got);
}

// A reading text is digits followed by "ºC"; anything else carries no number.
void check_reading(const QString& text) {
    const std::optional<double> got = rules::alarms::reading_value(text);
    std::optional<double> want;
    const QString unit = QStringLiteral("\u00BAC");
    if (text.endsWith(unit) && text.size() > unit.size()) {
        const std::string digits = ascii_of(QStringView(text).chopped(unit.size()));
        bool all_digits = true;
        for (const char c : digits)
            all_digits = all_digits && ascii_digit(c);
        if (all_digits)
            want = strtod_of(digits);
    }
    if (!same_number(got, want))
        fuzz::fail("reading_value",
                   QStringLiteral("%1 gives %2, should be %3")
                       .arg(fuzz::shown(text), shown_number(got), shown_number(want)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in(data, size);
    const std::uint8_t mode = in.byte();

    // Every reading text the decoder can write reads back as its number.
    const int code = mode % 125;
    if (rules::alarms::reading_value(rules::decoder::reading_text(code)) !=
        std::optional<double>(code))
        fuzz::fail("reading text does not read back", QString::number(code));

    QString text;
    switch (mode & 3) {
    case 0:
        text = in.text(in.remaining(), false);
        break;
    case 1: {
        std::size_t n = 0;
        const std::uint8_t* p = in.bytes(in.remaining(), &n);
        text = QString::fromUtf8(reinterpret_cast<const char*>(p), static_cast<qsizetype>(n));
        break;
    }
    case 2:
        text = in.text(in.remaining() / 2, true);
        break;
    default: {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= std::uint64_t{in.byte()} << (8 * i);
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        check_rounding(v);
        text = in.text(in.remaining(), false);
        break;
    }
    }

    check_decimal(text);
    check_leading(text);
    check_reading(text);
    return 0;
}
