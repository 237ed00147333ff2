#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

// The number rules of the program, free of any widget.
namespace rules {

// The one checked way from floating point to a 32-bit integer: rounds to the
// nearest whole number, halves to the even neighbour, and answers nullopt for
// NaN and for anything outside the 32-bit range instead of casting it.
std::optional<std::int32_t> to_int32_half_even(double value);

// A threshold field's text read as a whole decimal number: optional blanks
// around it, optional sign, digits with an optional decimal part (the
// locale's decimal separator), optional exponent. Nullopt when the text is
// not such a number. Too large a magnitude gives +-infinity, too small 0.
std::optional<double> read_decimal(const QString& text, const QLocale& locale);

// The leading number of a text, as the settings restore converts ".value"
// texts: blanks are skipped, the number ends at the first character that
// cannot continue it, and a text that does not begin with a number gives 0.
// Too large a magnitude gives +-infinity.
double leading_number(const QString& text);

} // namespace rules
