#include "alarm/alarm_lamps.h"

#include "alarm/lamp_colors.h"
#include "controls/display_box.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "rules/numbers.h"

#include <QCheckBox>
#include <QLineEdit>

namespace alarms {

using rules::alarms::lamp_row;
using rules::alarms::lamp_state;

void show_lamp(controls::shape* lamp, lamp_state s, lamp_row row) {
    lamp->set_fill_color(lamp_color(s));
    // Setting the description unconditionally would raise an accessibility
    // event on every tick.
    const QString words = rules::alarms::lamp_description(s, row);
    if (lamp->accessibleDescription() != words) {
        lamp->setAccessibleDescription(words);
        lamp->setToolTip(words);
    }
}

void show_lamps(const sensor_role& s) {
    const QLocale locale;
    const rules::alarms::sensor_judgement j = rules::alarms::judge_sensor(
        s.lamp_timer->enabled(), rules::alarms::reading_value(s.reading->text()),
        rules::read_decimal(s.high_text->text(), locale),
        rules::read_decimal(s.low_text->text(), locale));
    show_lamp(s.high_lamp, j.high, lamp_row::high);
    show_lamp(s.low_lamp, j.low, lamp_row::low);
}

void on_alarm_switch_clicked(const sensor_role& s) {
    switch (controls::check_value(s.alarm_switch)) {
    case 1:
        // The lamps keep their colour until the next tick.
        s.lamp_timer->set_enabled(true);
        break;
    case 0:
        s.lamp_timer->set_enabled(false);
        show_lamps(s);
        break;
    default:
        break;
    }
}

void on_alarm_tick(const sensor_role& s) {
    show_lamps(s);
    // The lamps now show what the texts say; until one of them changes,
    // another tick would find nothing new.
    s.lamp_timer->rest();
}

} // namespace alarms
