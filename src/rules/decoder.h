#pragma once

#include <QString>
#include <optional>

// The logger's byte protocol: markers 254 (sensor 1) and 253 (sensor 2),
// values 0..124 in whole degrees, 255 for "no reading", 125..252 ignored.
namespace rules::decoder {

inline const QString state_first = QStringLiteral("first");
inline const QString state_second = QStringLiteral("second");
inline const QString no_reading = QStringLiteral(" - - ");

enum class target { none, sensor1, sensor2 };

// What one byte does in a decoder state: possibly a new state text, possibly
// a new text for one reading field.
struct step {
    std::optional<QString> new_state;
    target field = target::none;
    QString text;
};
step decode(const QString& state, int code);

// "25ºC": the code in plain decimal followed by U+00BA U+0043.
QString reading_text(int code);

// "KESTROVA (" + sensor 1 text + "," + sensor 2 text + ")".
QString caption(const QString& sensor1, const QString& sensor2);

} // namespace rules::decoder
