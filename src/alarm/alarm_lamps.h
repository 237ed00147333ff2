#pragma once

#include "controls/lamp_colors.h"
#include "controls/roles.h"
#include "rules/alarm_rules.h"

// Alarm indication: two lamps per sensor, recoloured by a 100 ms timer while
// the sensor's alarm switch is on, white while it is off.
namespace alarms {

// Sets the lamp's colour and keeps its description and tooltip in step.
// Costs nothing when the lamp already shows that state.
void show_lamp(shape* lamp, lamp_state s, lamp_row row);

// On click of the alarm switch (also for programmatic changes and at the
// end of start-up): 1 enables the timer, 0 disables it and whitens both
// lamps, 2 changes nothing.
void on_alarm_switch_clicked(const sensor_role& s);
// On tick of the sensor's timer: recolours both lamps from the texts.
void on_alarm_tick(const sensor_role& s);

} // namespace alarms
