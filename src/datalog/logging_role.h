#pragma once

class QCheckBox;
class QRadioButton;

namespace controls {
class display_box;
class timer;
} // namespace controls

namespace datalog {

// Logging as the main window's controls hold it, built once by the window:
// the switch, the sample-time options in the order they are tested (5 s,
// 10 s, 30 s, 1 min), the sampling timer and the two readings.
struct logging_role {
    QCheckBox* log_switch;          // Check1
    QRadioButton* option8;          // 5 Sec
    QRadioButton* option5;          // 10 Sec
    QRadioButton* option7;          // 30 Sec
    QRadioButton* option6;          // 1 Min
    controls::timer* sample_timer;  // Timer1
    controls::display_box* sensor1; // Text2
    controls::display_box* sensor2; // Text1
};

} // namespace datalog
