#include "alarm/lamp_colors.h"

namespace alarms {

using rules::alarms::lamp_state;

QColor from_platform_value(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

QColor lamp_color(lamp_state s) {
    switch (s) {
    case lamp_state::alarm:
        return from_platform_value(rules::alarms::alarm_value);
    case lamp_state::normal:
        return from_platform_value(rules::alarms::normal_value);
    case lamp_state::off:
        return from_platform_value(rules::alarms::off_value);
    }
    return from_platform_value(rules::alarms::alarm_value);
}

lamp_state lamp_state_of(QColor fill) {
    if (fill == lamp_color(lamp_state::alarm))
        return lamp_state::alarm;
    if (fill == lamp_color(lamp_state::off))
        return lamp_state::off;
    return lamp_state::normal;
}

} // namespace alarms
