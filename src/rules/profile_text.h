#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <utility>
#include <vector>

// The private-profile (INI) layout as rules over the file's bytes, free of
// any file access: "[section]" lines, "key=value" lines, everything else
// kept as it stands. Section and key names match without regard to ASCII
// letter case, and only the first section of a name counts, as with the
// platform's own profile functions.
namespace rules::profile {

// Where a value stands. Callers name both parts, {.section = ..., .key = ...}:
// the names and the file's content are all bytes, and a swap reads nothing.
struct entry_name {
    QByteArrayView section;
    QByteArrayView key;
};

// The value of the entry, with the spaces around it removed; nullopt when
// the section or the key is missing. Reads LF and CR LF lines.
std::optional<QByteArrayView> find_value(QByteArrayView content, entry_name name);

// Whether `key` can stand before "=" on a line of its own and be found again.
bool is_storable_key(QByteArrayView key);

// `content` with the entry set to `value`: an existing key is replaced in
// place, a new one goes after the last non-blank line of its section, a
// missing section is added at the end. Every line of the result ends in
// CR LF. Key and value must already be fit for a line (see is_storable_key;
// no CR, LF or NUL in the value).
QByteArray with_value(QByteArrayView content, entry_name name, QByteArrayView value);

// Key and value lines, in order.
using key_values = std::vector<std::pair<QByteArray, QByteArray>>;

// `content` with the first section named `section` rewritten: `entries` in
// their order, then each key line whose key is not in `known` as it stood;
// comments and blank lines between them go, blank lines at its end stay. Every
// byte outside that section stays as it is. A missing section goes just
// before the section named `place_before` (at the end without one), and only
// when it has an entry. New lines end in CR LF; keys and values as for
// with_value.
QByteArray with_section(QByteArrayView content, QByteArrayView section,
                        const std::vector<QByteArray>& known, const key_values& entries,
                        QByteArrayView place_before);

} // namespace rules::profile
