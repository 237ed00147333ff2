#pragma once

#include <QIcon>
#include <QImage>

namespace controls {

// The program's icon, drawn rather than shipped: a thermometer with a red
// bulb and scale marks on a yellow ground, 32 x 32, in colours of the standard
// 16-colour palette.
QImage thermometer_image();
QIcon thermometer_icon();

} // namespace controls
