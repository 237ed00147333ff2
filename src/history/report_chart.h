#pragma once

#include <QRectF>

class QPainter;

namespace history {

struct report;

// The report's chart of both sensors over its whole period, with the
// thresholds that judge them, as lines a printer draws sharp at any size.
// `point` is the device's pixels per typographic point.
void draw_report_chart(QPainter& painter, const QRectF& box, report& r, double point);

} // namespace history
