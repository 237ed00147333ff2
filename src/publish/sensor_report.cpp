#include "publish/sensor_report.h"

#include "controls/display_box.h"
#include "controls/lamp_colors.h"
#include "controls/shape.h"
#include "publish/link_watch.h"
#include "rules/mqtt_rules.h"
#include "rules/numbers.h"

#include <QLineEdit>

sensor_report report_sensor(const sensor_role& s, const link_watch& link) {
    sensor_report r;
    r.current = link.current(s.number);
    const auto value = alarms::reading_value(s.reading->text());
    // Readings are whole degrees 0 to 124; anything else carries none.
    if (r.current && value && *value >= 0 && *value <= 124)
        r.reading = rules::to_int32_half_even(*value);
    const bool lamps_off =
        alarms::lamp_state_of(s.high_lamp->fill_color()) == alarms::lamp_state::off &&
        alarms::lamp_state_of(s.low_lamp->fill_color()) == alarms::lamp_state::off;
    const QLocale locale;
    const auto high = rules::read_decimal(s.high_text->text(), locale);
    const auto low = rules::read_decimal(s.low_text->text(), locale);
    const auto reading = r.reading ? std::optional<double>(*r.reading) : std::nullopt;
    r.alarm = mqtt::alarm_name(lamps_off, r.reading, alarms::high_lamp_state(reading, high),
                               alarms::low_lamp_state(reading, low));
    return r;
}
