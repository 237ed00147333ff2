#pragma once

#include "alarm/sensor_role.h"
#include "rules/alarm_rules.h"

// Alarm indication: two lamps per sensor, recoloured by a 100 ms timer while
// the sensor's alarm switch is on, white while it is off. What they show is
// the alarm rule's judgement of the texts as they stand; the lamps only show it.
namespace alarms {

// Sets the lamp's colour and keeps its description and tooltip in step.
// Costs nothing when the lamp already shows that state.
void show_lamp(controls::shape* lamp, rules::alarms::lamp_state s, rules::alarms::lamp_row row);

// Both lamps as the rule judges the sensor now: its switch on (its timer
// runs exactly while the alarm is on), its reading and threshold texts.
void show_lamps(const sensor_role& s);

// On click of the alarm switch (also for programmatic changes and at the
// end of start-up): 1 enables the timer, 0 disables it and whitens both
// lamps, 2 changes nothing.
void on_alarm_switch_clicked(const sensor_role& s);
// On tick of the sensor's timer: recolours both lamps from the texts.
void on_alarm_tick(const sensor_role& s);

} // namespace alarms
