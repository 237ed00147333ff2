#include "alarm/install.h"

#include "alarm/alarm_lamps.h"
#include "alarm/lamp_colors.h"
#include "alarm/threshold_entry.h"
#include "controls/display_box.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "controls/updown.h"

#include <QCheckBox>
#include <QLineEdit>

namespace alarms {

using rules::alarms::lamp_row;

namespace {

// Colour does not reach everyone: the lamp says what it shows in words, and
// takes the mouse so that its tooltip can appear.
void describe_lamp(controls::shape* lamp, int sensor, lamp_row row) {
    lamp->setAccessibleName(
        QStringLiteral("Sensor %1 %2 threshold alarm")
            .arg(sensor)
            .arg(row == lamp_row::high ? QStringLiteral("high") : QStringLiteral("low")));
    lamp->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    show_lamp(lamp, lamp_state_of(lamp->fill_color()), row);
}

} // namespace

void install(const sensor_roles& sensors, controls::prompts& ask) {
    for (const sensor_role& s : sensors) {
        for (const threshold_pair p :
             {threshold_pair{s.high_text, s.high_spin}, threshold_pair{s.low_text, s.low_spin}}) {
            QObject::connect(p.text, &QLineEdit::textChanged, p.text,
                             [p, &ask] { on_threshold_text_changed(p, ask); });
            QObject::connect(p.spin, &controls::updown::value_changed, p.spin,
                             [p] { on_threshold_spin_changed(p); });
        }
        QObject::connect(s.alarm_switch, &QCheckBox::stateChanged, s.alarm_switch,
                         [s] { on_alarm_switch_clicked(s); });
        QObject::connect(s.lamp_timer, &controls::timer::tick, s.lamp_timer,
                         [s] { on_alarm_tick(s); });
        // A lamp can change only when one of its texts does.
        QObject::connect(s.reading, &controls::display_box::textChanged, s.lamp_timer,
                         &controls::timer::wake);
        QObject::connect(s.high_text, &QLineEdit::textChanged, s.lamp_timer,
                         &controls::timer::wake);
        QObject::connect(s.low_text, &QLineEdit::textChanged, s.lamp_timer, &controls::timer::wake);
        describe_lamp(s.high_lamp, s.number, lamp_row::high);
        describe_lamp(s.low_lamp, s.number, lamp_row::low);
    }
}

void apply_alarm_switches(const sensor_roles& sensors) {
    for (const sensor_role& s : sensors)
        on_alarm_switch_clicked(s);
}

} // namespace alarms
