#include "rules/numbers.h"

#include "rules/text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace rules {

std::optional<std::int32_t> to_int32_half_even(double value) {
    if (std::isnan(value))
        return std::nullopt;
    // nearbyint rounds in the default mode, to nearest with halves to even.
    const double r = std::nearbyint(value);
    if (r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

namespace {

struct decimal_parts {
    bool negative = false;
    std::string int_digits;
    std::string frac_digits;
    bool exp_negative = false;
    std::string exp_digits;
};

// Turns the pieces of a decimal number into a double without going through
// the C locale, and without any undefined behaviour however long the digits
// or however large the exponent.
double to_double(const decimal_parts& p) {
    const auto nonzero = [](const std::string& s) {
        return s.find_first_not_of('0') != std::string::npos;
    };
    if (!nonzero(p.int_digits) && !nonzero(p.frac_digits))
        return p.negative ? -0.0 : 0.0;

    std::string s = p.int_digits.empty() ? std::string("0") : p.int_digits;
    if (!p.frac_digits.empty())
        s += '.' + p.frac_digits;
    // Exponent saturated well beyond what a double can hold.
    long long exp = 0;
    for (char c : p.exp_digits) {
        exp = exp * 10 + (c - '0');
        if (exp > 100000000)
            break;
    }
    if (p.exp_negative)
        exp = -exp;
    s += 'e' + std::to_string(exp);

    double v = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        // Decide between overflow and underflow by the decimal magnitude.
        const auto first_int = p.int_digits.find_first_not_of('0');
        long long magnitude = 0;
        if (first_int != std::string::npos)
            magnitude = static_cast<long long>(p.int_digits.size() - first_int);
        else
            magnitude = -static_cast<long long>(p.frac_digits.find_first_not_of('0'));
        magnitude += exp;
        v = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return p.negative ? -v : v;
}

bool is_digit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

std::optional<double> read_decimal(const QString& text, const QLocale& locale) {
    const QString sep = locale.decimalPoint();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    const QStringView t = trimmed(QStringView(text), blank);
    qsizetype i = 0;
    const qsizetype end = t.size();

    decimal_parts p;
    if (i < end && (t[i] == u'+' || t[i] == u'-')) {
        p.negative = t[i] == u'-';
        ++i;
    }
    while (i < end && is_digit(t[i]))
        p.int_digits += static_cast<char>(t[i++].unicode());
    if (!sep.isEmpty() && t.sliced(i).startsWith(sep)) {
        i += sep.size();
        while (i < end && is_digit(t[i]))
            p.frac_digits += static_cast<char>(t[i++].unicode());
    }
    if (p.int_digits.empty() && p.frac_digits.empty())
        return std::nullopt;
    if (i < end && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < end && (t[i] == u'+' || t[i] == u'-')) {
            p.exp_negative = t[i] == u'-';
            ++i;
        }
        while (i < end && is_digit(t[i]))
            p.exp_digits += static_cast<char>(t[i++].unicode());
        if (p.exp_digits.empty())
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;
    return to_double(p);
}

double leading_number(const QString& text) {
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
    const qsizetype n = text.size();
    qsizetype i = 0;
    const auto skip = [&] {
        while (i < n && blank(text[i]))
            ++i;
    };

    decimal_parts p;
    skip();
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        p.negative = text[i] == u'-';
        ++i;
    }
    for (skip(); i < n && is_digit(text[i]); skip())
        p.int_digits += static_cast<char>(text[i++].unicode());
    if (i < n && text[i] == u'.') {
        ++i;
        for (skip(); i < n && is_digit(text[i]); skip())
            p.frac_digits += static_cast<char>(text[i++].unicode());
    }
    if (p.int_digits.empty() && p.frac_digits.empty())
        return 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        qsizetype j = i + 1;
        while (j < n && blank(text[j]))
            ++j;
        bool exp_negative = false;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            exp_negative = text[j] == u'-';
            ++j;
        }
        std::string digits;
        while (j < n && (is_digit(text[j]) || blank(text[j]))) {
            if (is_digit(text[j]))
                digits += static_cast<char>(text[j].unicode());
            ++j;
        }
        if (!digits.empty()) {
            p.exp_negative = exp_negative;
            p.exp_digits = std::move(digits);
        }
    }
    return to_double(p);
}

} // namespace rules
