#pragma once

#include <QFont>
#include <QStringList>
#include <vector>

class QWidget;
class QObject;
struct thermometer_controls;

// A font by its face with Debian's look-alikes behind it, sized in points at
// 96 dots per inch whatever the screen says, so the layout keeps its place.
QFont window_font(const QStringList& families, double points, bool bold = false,
                  bool underline = false);

// Creates the main window's controls with their design-time places, sizes,
// fonts, colours and defaults, in the window's control order.
void build_inventory(QWidget* window, thermometer_controls& ui, std::vector<QObject*>& order);
