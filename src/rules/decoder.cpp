#include "rules/decoder.h"

#include "rules/text.h"

#include <array>

namespace rules::decoder {

step decode(const QString& state, int code) {
    // The rows are tested in this order; the first that holds wins.
    const bool first = state == state_first;
    const bool second = state == state_second;
    const bool value = code >= 0 && code < 125;
    if (code == 254)
        return {state_first, target::none, {}};
    if (first && value)
        return {std::nullopt, target::sensor1, reading_text(code)};
    if (code == 253)
        return {state_second, target::none, {}};
    if (second && code == 255)
        return {std::nullopt, target::sensor2, no_reading};
    if (first && code == 255)
        return {std::nullopt, target::sensor1, no_reading};
    if (second && value)
        return {std::nullopt, target::sensor2, reading_text(code)};
    return {};
}

QString reading_text(int code) {
    // The 125 possible texts are made once; a reading then costs no allocation.
    static const std::array<QString, 125> texts = [] {
        std::array<QString, 125> t;
        for (int i = 0; i < 125; ++i)
            t[static_cast<std::size_t>(i)] = QString::number(i) + QChar(0xBA) + u'C';
        return t;
    }();
    if (code >= 0 && code < 125)
        return texts[static_cast<std::size_t>(code)];
    return QString::number(code) + QChar(0xBA) + u'C';
}

QString caption(const QString& sensor1, const QString& sensor2) {
    QString c;
    c.reserve(rules::app_title.size() + sensor1.size() + sensor2.size() + 4);
    c.append(rules::app_title)
        .append(u" (")
        .append(sensor1)
        .append(u',')
        .append(sensor2)
        .append(u')');
    return c;
}

} // namespace rules::decoder
