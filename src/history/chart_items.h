#pragma once

#include "chart/history_index.h"
#include "chart/history_ticks.h"
#include "chart/history_trace.h"
#include "history/log_settings.h"

#include <QBrush>
#include <QFont>
#include <QGraphicsItem>
#include <QLineF>
#include <QPen>
#include <optional>
#include <vector>

class QChart;
class QDateTimeAxis;

// What the history chart draws over its plot area, beside Qt Charts' own
// axes and legend.
namespace history {

// What the items draw: the window, the value scale, the reduction and the
// reading under the pointer. The chart keeps it up to date; the items only
// read it.
struct plot_view {
    const chart::log_index* log = nullptr;
    log_settings settings;
    double from = 0; // UTC seconds
    double to = 0;
    double y_min = 0; // the value axis's range, in degrees
    double y_max = 0;
    int columns = 0; // the pixel columns the traces were reduced to
    chart::trace_set traces;
    std::vector<chart::time_tick> ticks;
    std::optional<chart::log_point> hover;
    bool hover_visible = true;
};

// Draws what the reduction left, the thresholds and the pointer's reading
// over the chart's plot area, above its grid.
class trace_item : public QGraphicsItem {
public:
    trace_item(QChart& chart, const plot_view& view);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override;

private:
    double y_of(double v, const QRectF& area) const;
    double x_of_time(double t, const QRectF& area) const;
    // The dashed lines go under the readings, their labels over them.
    void draw_thresholds(QPainter& p, const QRectF& area, bool labels) const;
    void draw_trace(QPainter& p, const QRectF& area, int s);
    void draw_hover(QPainter& p, const QRectF& area) const;

    const QChart& chart_;
    const plot_view& view_;
    std::vector<QLineF> lines_;
    std::vector<QPointF> dots_;
};

// The time axis: grid lines and labels at the chart's round local times.
// Qt's date-time axis only divides the range evenly, so it keeps the room
// for its labels and the line, and this draws what goes in them.
class time_scale_item : public QGraphicsItem {
public:
    time_scale_item(QChart& chart, const plot_view& view, const QDateTimeAxis& axis);

    QRectF boundingRect() const override;
    // The ticks or the chart's size changed.
    void refresh();
    // The least room a label takes, with space around it.
    double label_room() const;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override;

private:
    static constexpr double label_gap = 6;

    const QChart& chart_;
    const plot_view& view_;
    QPen grid_;
    QFont font_;
    QBrush brush_;
};

} // namespace history
