#include "controls/window_font.h"

#include <cmath>

namespace controls {

QFont window_font(const QStringList& families, double points, bool bold, bool underline) {
    QFont f;
    f.setFamilies(families);
    f.setPixelSize(static_cast<int>(std::lround(points * 96.0 / 72.0)));
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

} // namespace controls
