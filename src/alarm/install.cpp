#include "alarm/install.h"

#include "alarm/alarm_lamps.h"
#include "alarm/threshold_entry.h"
#include "app/frm_thermometer.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "controls/updown.h"

#include <QCheckBox>
#include <QLineEdit>
#include <array>

namespace alarms {

namespace {

std::array<threshold_pair, 4> threshold_pairs(const thermometer_controls& ui) {
    return {{{ui.Text3, ui.UpDown1},
             {ui.Text4, ui.UpDown2},
             {ui.Text6, ui.UpDown3},
             {ui.Text5, ui.UpDown4}}};
}

std::array<sensor_alarm, 2> sensor_alarms(const thermometer_controls& ui) {
    return {{{ui.Check2, ui.Timer2, ui.Text2, ui.Text3, ui.Shape3, ui.Text4, ui.Shape4},
             {ui.Check3, ui.Timer3, ui.Text1, ui.Text6, ui.Shape9, ui.Text5, ui.Shape10}}};
}

// Colour does not reach everyone: the lamp says what it shows in words, and
// takes the mouse so that its tooltip can appear.
void describe_lamp(shape* lamp, const QString& name, lamp_row row) {
    lamp->setAccessibleName(name);
    lamp->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    const QColor fill = lamp->fill_color();
    const lamp_state s = fill == lamp_color(lamp_state::alarm) ? lamp_state::alarm
                         : fill == lamp_color(lamp_state::off) ? lamp_state::off
                                                               : lamp_state::normal;
    show_lamp(lamp, s, row);
}

} // namespace

void install(const thermometer_controls& ui, prompts& ask) {
    for (const threshold_pair& p : threshold_pairs(ui)) {
        QObject::connect(p.text, &QLineEdit::textChanged, p.text,
                         [p, &ask] { on_threshold_text_changed(p, ask); });
        QObject::connect(p.spin, &updown::value_changed, p.spin,
                         [p] { on_threshold_spin_changed(p); });
    }
    for (const sensor_alarm& s : sensor_alarms(ui)) {
        QObject::connect(s.check, &QCheckBox::stateChanged, s.check,
                         [s] { on_alarm_switch_clicked(s); });
        QObject::connect(s.timer, &timer::tick, s.timer, [s] { on_alarm_tick(s); });
        // A lamp can change only when one of its texts does.
        QObject::connect(s.reading, &display_box::textChanged, s.timer, &timer::wake);
        QObject::connect(s.high_text, &QLineEdit::textChanged, s.timer, &timer::wake);
        QObject::connect(s.low_text, &QLineEdit::textChanged, s.timer, &timer::wake);
    }
    describe_lamp(ui.Shape3, QStringLiteral("Sensor 1 high threshold alarm"), lamp_row::high);
    describe_lamp(ui.Shape4, QStringLiteral("Sensor 1 low threshold alarm"), lamp_row::low);
    describe_lamp(ui.Shape9, QStringLiteral("Sensor 2 high threshold alarm"), lamp_row::high);
    describe_lamp(ui.Shape10, QStringLiteral("Sensor 2 low threshold alarm"), lamp_row::low);
}

void apply_alarm_switches(const thermometer_controls& ui) {
    for (const sensor_alarm& s : sensor_alarms(ui))
        on_alarm_switch_clicked(s);
}

} // namespace alarms
