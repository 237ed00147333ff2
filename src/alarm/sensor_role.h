#pragma once

#include <array>

class QCheckBox;
class QLineEdit;

namespace controls {
class display_box;
class shape;
class timer;
class updown;
} // namespace controls

namespace alarms {

// One sensor as the main window's controls hold it, built once by the
// window: its reading, alarm switch and lamp timer, and the high and low
// threshold rows (field, spin button, lamp). The alarm feature works on it,
// and so does what tells the world of the sensor's alarm; neither takes the
// whole window.
struct sensor_role {
    int number;                     // 1 or 2
    controls::display_box* reading; // Text2 / Text1
    QCheckBox* alarm_switch;        // Check2 / Check3
    controls::timer* lamp_timer;    // Timer2 / Timer3
    QLineEdit* high_text;           // Text3 / Text6
    controls::updown* high_spin;    // UpDown1 / UpDown3
    controls::shape* high_lamp;     // Shape3 / Shape9
    QLineEdit* low_text;            // Text4 / Text5
    controls::updown* low_spin;     // UpDown2 / UpDown4
    controls::shape* low_lamp;      // Shape4 / Shape10
};

using sensor_roles = std::array<sensor_role, 2>;

} // namespace alarms
