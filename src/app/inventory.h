#pragma once

#include "alarm/sensor_role.h"

#include <vector>

class QWidget;
class QObject;

namespace app {

struct thermometer_controls;

// Creates the main window's controls with their design-time places, sizes,
// fonts, colours and defaults, in the window's control order.
void build_inventory(QWidget* window, thermometer_controls& ui, std::vector<QObject*>& order);

// What a screen reader calls the controls of each sensor that show or take a
// value, so that readings, high and low can be told apart by ear (the alarm
// code names its lamps).
void name_for_screen_readers(const alarms::sensor_roles& sensors);

} // namespace app
