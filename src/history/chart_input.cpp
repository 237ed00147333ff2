#include "history/history_chart.h"

#include "chart/history_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QtCharts/QChart>
#include <algorithm>
#include <cmath>

// The chart under the pointer and the keys: the wheel zooms, a drag pans, a
// double click shows the whole log, and the reading under the pointer is
// told.
namespace history {

namespace {

constexpr double wheel_step = 1.25;

} // namespace

QRectF history_chart::plot_in_viewport() const {
    return mapFromScene(chart()->mapToScene(chart()->plotArea()).boundingRect()).boundingRect();
}

double history_chart::time_at(double viewport_x) const {
    const QRectF area = plot_in_viewport();
    if (area.width() < 1)
        return (plot_.from + plot_.to) / 2;
    return plot_.from + (viewport_x - area.left()) / area.width() * (plot_.to - plot_.from);
}

void history_chart::set_hover_visible(bool visible) {
    plot_.hover_visible = visible;
    overlay_->update();
}

void history_chart::clear_hover() {
    if (!plot_.hover && !pointer_x_ && hover_text_.isEmpty())
        return;
    plot_.hover.reset();
    pointer_x_.reset();
    hover_text_.clear();
    overlay_->update();
    Q_EMIT hover_changed(hover_text_);
}

void history_chart::hover_at(double x) {
    const QRectF area = plot_in_viewport();
    if (x < area.left() || x > area.right() || area.width() < 1) {
        clear_hover();
        return;
    }
    pointer_x_ = x;
    const double t = time_at(x);
    const double per_pixel = (plot_.to - plot_.from) / area.width();
    plot_.hover =
        chart::nearest(*plot_.log, t, std::max<double>(plot_.settings.gaps.limit(), 3 * per_pixel));
    if (plot_.hover) {
        const chart::log_point& p = *plot_.hover;
        hover_text_ =
            QStringLiteral("%1   %2: %3   %4: %5")
                .arg(time_text(p.time), plot_.settings.names[0], reading_text(p.sensor[0]),
                     plot_.settings.names[1], reading_text(p.sensor[1]));
    } else {
        hover_text_ = time_text(t) + QStringLiteral("   no reading");
    }
    overlay_->update();
    Q_EMIT hover_changed(hover_text_);
}

void history_chart::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        zoom_at(event->position().x(), std::pow(wheel_step, steps));
    event->accept();
}

void history_chart::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        drag_from_ = event->position();
        drag_from_time_ = plot_.from;
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void history_chart::mouseMoveEvent(QMouseEvent* event) {
    if (drag_from_ && (event->buttons() & Qt::LeftButton)) {
        const QRectF area = plot_in_viewport();
        if (area.width() >= 1) {
            const double span = plot_.to - plot_.from;
            const double from =
                drag_from_time_ - (event->position().x() - drag_from_->x()) * span / area.width();
            set_window(from, from + span, true);
        }
    }
    hover_at(event->position().x());
    event->accept();
}

void history_chart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        drag_from_.reset();
        viewport()->unsetCursor();
    }
    event->accept();
}

void history_chart::mouseDoubleClickEvent(QMouseEvent* event) {
    show_all();
    event->accept();
}

void history_chart::keyPressEvent(QKeyEvent* event) {
    const QRectF area = plot_in_viewport();
    switch (event->key()) {
    case Qt::Key_Left:
        pan_by_pixels(area.width() / 8);
        break;
    case Qt::Key_Right:
        pan_by_pixels(-area.width() / 8);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom_at(area.center().x(), 1.5);
        break;
    case Qt::Key_Minus:
        zoom_at(area.center().x(), 1 / 1.5);
        break;
    case Qt::Key_Home:
    case Qt::Key_0:
        show_all();
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

void history_chart::leaveEvent(QEvent* event) {
    clear_hover();
    QChartView::leaveEvent(event);
}

void history_chart::paintEvent(QPaintEvent* event) {
    QChartView::paintEvent(event);
    Q_EMIT painted();
}

} // namespace history
