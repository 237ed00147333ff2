#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The 8-bit text of the settings file and the data log: Windows-1252.
namespace rules {

// One byte per character; a character without a Windows-1252 byte becomes
// "?" (one "?" per code point, so a surrogate pair gives one).
QByteArray to_windows1252(QStringView text);

// Every byte has a character. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 code points of
// the same number, as Windows converts them, so they survive a round trip.
QString from_windows1252(QByteArrayView bytes);

} // namespace rules
