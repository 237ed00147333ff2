#pragma once

#include "rules/alarm_rules.h"

class QLineEdit;

namespace controls {
class prompts;
class updown;
} // namespace controls

// Threshold entry: each threshold field and the spin button beside it stay
// in step, and a threshold above 125 degrees is refused.
namespace alarms {

struct threshold_pair {
    QLineEdit* text;
    controls::updown* spin;
};

// On change of the threshold text. Reads the number with the user's locale.
void on_threshold_text_changed(const threshold_pair& pair, controls::prompts& ask);
// On change of the spin button's value: the field gets the plain decimal.
void on_threshold_spin_changed(const threshold_pair& pair);

} // namespace alarms
