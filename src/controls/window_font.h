#pragma once

#include <QFont>
#include <QStringList>

namespace controls {

// A font by its face with Debian's look-alikes behind it, sized in points at
// 96 dots per inch whatever the screen says, so the layout keeps its place.
QFont window_font(const QStringList& families, double points, bool bold = false,
                  bool underline = false);

} // namespace controls
