#pragma once

#include <QString>
#include <initializer_list>

// What the settings file itself asks of a value the operator types: it is
// Windows-1252 text, one value per line, and read back without the spaces at
// its ends.
namespace settings_window::field_checks {

// Why `text` cannot be kept in the settings file as it is; empty when it can.
QString storable(const QString& text);
// As above, and without a space at either end, which would be lost.
QString storable_exactly(const QString& text);
// The first reason that is not empty.
QString first_of(std::initializer_list<QString> reasons);

} // namespace settings_window::field_checks
