#include "alarm/alarm_lamps.h"

#include "controls/display_box.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "rules/numbers.h"

#include <QCheckBox>
#include <QLineEdit>

namespace alarms {

void show_lamp(shape* lamp, lamp_state s, lamp_row row) {
    lamp->set_fill_color(lamp_color(s));
    // Setting the description unconditionally would raise an accessibility
    // event on every tick.
    const QString words = lamp_description(s, row);
    if (lamp->accessibleDescription() != words) {
        lamp->setAccessibleDescription(words);
        lamp->setToolTip(words);
    }
}

void on_alarm_switch_clicked(const sensor_role& s) {
    switch (controls::check_value(s.alarm_switch)) {
    case 1:
        // The lamps keep their colour until the next tick.
        s.lamp_timer->set_enabled(true);
        break;
    case 0:
        s.lamp_timer->set_enabled(false);
        show_lamp(s.high_lamp, lamp_state::off, lamp_row::high);
        show_lamp(s.low_lamp, lamp_state::off, lamp_row::low);
        break;
    default:
        break;
    }
}

void on_alarm_tick(const sensor_role& s) {
    const QLocale locale;
    show_lamp(s.high_lamp,
              high_lamp_state(reading_value(s.reading->text()),
                              rules::read_decimal(s.high_text->text(), locale)),
              lamp_row::high);
    show_lamp(s.low_lamp,
              low_lamp_state(reading_value(s.reading->text()),
                             rules::read_decimal(s.low_text->text(), locale)),
              lamp_row::low);
    // The lamps now show what the texts say; until one of them changes,
    // another tick would find nothing new.
    s.lamp_timer->rest();
}

} // namespace alarms
