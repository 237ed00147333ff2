#pragma once

#include <vector>

class QWidget;
class QObject;
struct thermometer_controls;

// Creates the main window's controls with their design-time places, sizes,
// fonts, colours and defaults, in the window's control order.
void build_inventory(QWidget* window, thermometer_controls& ui, std::vector<QObject*>& order);
