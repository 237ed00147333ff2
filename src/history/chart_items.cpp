#include "history/chart_items.h"

#include "history/chart_text.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <algorithm>
#include <string_view>

namespace history {

trace_item::trace_item(QChart& chart, const plot_view& view)
    : QGraphicsItem(&chart)
    , chart_(chart)
    , view_(view) {
    setZValue(100);
    setAcceptedMouseButtons(Qt::NoButton);
}

QRectF trace_item::boundingRect() const {
    return chart_.plotArea();
}

void trace_item::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const QRectF area = chart_.plotArea();
    if (area.width() < 1 || area.height() < 1)
        return;
    painter->save();
    painter->setClipRect(area);
    painter->setRenderHint(QPainter::Antialiasing);
    draw_thresholds(*painter, area, false);
    for (int s = 0; s < 2; ++s)
        draw_trace(*painter, area, s);
    draw_thresholds(*painter, area, true);
    draw_hover(*painter, area);
    if (view_.log->empty()) {
        painter->setPen(Qt::darkGray);
        painter->drawText(area, Qt::AlignCenter, QStringLiteral("No readings in this log yet"));
    }
    painter->restore();
}

double trace_item::y_of(double v, const QRectF& area) const {
    const double range = view_.y_max - view_.y_min;
    return area.bottom() - (v - view_.y_min) / (range > 0 ? range : 1) * area.height();
}

double trace_item::x_of_time(double t, const QRectF& area) const {
    return area.left() + (t - view_.from) / (view_.to - view_.from) * area.width();
}

void trace_item::draw_thresholds(QPainter& p, const QRectF& area, bool labels) const {
    p.save();
    QFont small = p.font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    p.setFont(small);
    const QFontMetricsF fm(small);
    for (int s = 0; s < 2; ++s) {
        const chart::sensor_limits& lim = view_.settings.limits[s];
        const std::pair<const char*, std::optional<double>> lines[] = {{"high", lim.high},
                                                                       {"low", lim.low}};
        for (const auto& [what, value] : lines) {
            if (!value)
                continue;
            const double y = y_of(*value, area);
            if (y < area.top() - 1 || y > area.bottom() + 1)
                continue;
            if (!labels) {
                p.setPen(QPen(sensor_colour(s), 1.2, Qt::DashLine));
                p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
                continue;
            }
            p.setPen(sensor_colour(s));
            // Sensor 1 labels on the left, sensor 2 on the right, so that
            // equal thresholds do not print over each other.
            const QString label = threshold_label(view_.settings.names[s], what, *value);
            const double w = fm.horizontalAdvance(label);
            const double x = s == 0 ? area.left() + 6 : area.right() - 6 - w;
            const double ty = std::string_view(what) == "high" || y - fm.height() < area.top()
                                  ? y - 3
                                  : y + fm.ascent() + 2;
            const QPointF at(x, std::clamp(ty, area.top() + fm.ascent(), area.bottom() - 2));
            // A light ground keeps the label legible over the lines.
            const QRectF box(at.x() - 3, at.y() - fm.ascent() - 1, w + 6, fm.height() + 2);
            p.fillRect(box, QColor(255, 255, 255, 210));
            p.drawText(at, label);
        }
    }
    p.restore();
}

void trace_item::draw_trace(QPainter& p, const QRectF& area, int s) {
    // Upright strokes and the lines between them (chart::column_strokes):
    // Qt's stroker takes a hundred times as long over a polyline that goes
    // up and down in every column, as a thermostat's readings do.
    lines_.clear();
    dots_.clear();
    chart::column_strokes(view_.traces.sensor[s], lines_, dots_);
    const double sx = area.width() / std::max(1, view_.columns);
    const auto at = [&](QPointF v) { return QPointF(area.left() + v.x() * sx, y_of(v.y(), area)); };
    for (QLineF& line : lines_)
        line = QLineF(at(line.p1()), at(line.p2()));
    QPen pen(sensor_colour(s), 1.6);
    pen.setCapStyle(Qt::SquareCap);
    p.setPen(pen);
    p.drawLines(lines_.data(), static_cast<int>(lines_.size()));
    p.setBrush(sensor_colour(s));
    for (const QPointF& dot : dots_)
        p.drawEllipse(at(dot), 1.6, 1.6);
    p.setBrush(Qt::NoBrush);
}

void trace_item::draw_hover(QPainter& p, const QRectF& area) const {
    if (!view_.hover || !view_.hover_visible)
        return;
    const chart::log_point& pt = *view_.hover;
    const double x = x_of_time(pt.time, area);
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1, Qt::DotLine));
    p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    for (int s = 0; s < 2; ++s) {
        if (pt.sensor[s] == chart::no_reading)
            continue;
        p.setPen(QPen(sensor_colour(s), 1.5));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(x, y_of(pt.sensor[s], area)), 3.5, 3.5);
    }
    p.setBrush(Qt::NoBrush);
}

time_scale_item::time_scale_item(QChart& chart, const plot_view& view, const QDateTimeAxis& axis)
    : QGraphicsItem(&chart)
    , chart_(chart)
    , view_(view)
    , grid_(axis.gridLinePen())
    , font_(axis.labelsFont())
    , brush_(axis.labelsBrush()) {
    // Over the plot's background, under the lines.
    setZValue(50);
    setAcceptedMouseButtons(Qt::NoButton);
}

QRectF time_scale_item::boundingRect() const {
    return chart_.rect();
}

void time_scale_item::refresh() {
    prepareGeometryChange();
    update();
}

double time_scale_item::label_room() const {
    const QFontMetricsF fm(font_);
    return fm.horizontalAdvance(QStringLiteral("Sep 2026")) + fm.height();
}

void time_scale_item::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const QRectF area = chart_.plotArea();
    const double span = view_.to - view_.from;
    if (area.width() < 1 || area.height() < 1 || !(span > 0))
        return;
    painter->save();
    painter->setFont(font_);
    const QFontMetricsF fm(font_);
    const QRectF chart_rect = boundingRect();
    for (const chart::time_tick& tick : view_.ticks) {
        const double x =
            area.left() + (static_cast<double>(tick.time) - view_.from) / span * area.width();
        if (x < area.left() - 0.5 || x > area.right() + 0.5)
            continue;
        painter->setPen(grid_);
        painter->drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        const double w = fm.horizontalAdvance(tick.label);
        const QRectF box(x - w / 2, area.bottom() + label_gap, w, fm.height());
        // A label that would leave the chart is left out, not cut.
        if (box.left() < chart_rect.left() || box.right() > chart_rect.right())
            continue;
        painter->setPen(QPen(brush_, 1));
        painter->drawText(box, Qt::AlignCenter, tick.label);
    }
    painter->restore();
}

} // namespace history
