#pragma once

#include <array>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class display_box;
class shape;
class timer;
class updown;

// The main window's controls as the features see them: one value per
// sensor and one for logging, built once by the window. A feature takes the
// role it works on, never the whole window.

// One sensor: its reading, alarm switch and lamp timer, and the high and low
// threshold rows (field, spin button, lamp).
struct sensor_role {
    int number;              // 1 or 2
    display_box* reading;    // Text2 / Text1
    QCheckBox* alarm_switch; // Check2 / Check3
    timer* lamp_timer;       // Timer2 / Timer3
    QLineEdit* high_text;    // Text3 / Text6
    updown* high_spin;       // UpDown1 / UpDown3
    shape* high_lamp;        // Shape3 / Shape9
    QLineEdit* low_text;     // Text4 / Text5
    updown* low_spin;        // UpDown2 / UpDown4
    shape* low_lamp;         // Shape4 / Shape10
};

using sensor_roles = std::array<sensor_role, 2>;

// Logging: the switch, the sample-time options in the order they are
// tested (5 s, 10 s, 30 s, 1 min), the sampling timer and the two readings.
struct logging_role {
    QCheckBox* log_switch; // Check1
    QRadioButton* option8; // 5 Sec
    QRadioButton* option5; // 10 Sec
    QRadioButton* option7; // 30 Sec
    QRadioButton* option6; // 1 Min
    timer* sample_timer;   // Timer1
    display_box* sensor1;  // Text2
    display_box* sensor2;  // Text1
};
