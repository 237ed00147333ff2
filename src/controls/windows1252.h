#pragma once

#include <QByteArray>
#include <QString>

// The files the program writes and reads hold 8-bit text in Windows-1252,
// where "º" is the byte 0xBA. A character without a byte of its own is
// written as "?".
namespace windows1252 {

QByteArray encode(QStringView text);
QString decode(QByteArrayView bytes);

} // namespace windows1252
