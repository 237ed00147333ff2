#include "history/report_chart.h"

#include "chart/history_ticks.h"
#include "chart/history_trace.h"
#include "history/chart_text.h"
#include "history/report.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QTextOption>
#include <algorithm>
#include <cmath>

namespace history {

namespace {

// The degrees the scale spans and its step: whole degrees 1, 2, 5, 10 …
// apart, at most about eight of them.
struct value_scale {
    double low = 10;
    double high = 30;
    double step = 5;
};

value_scale scale_for(const chart::trace_set& traces,
                      const std::vector<report::limits_in_force>& limits) {
    double lo = traces.lowest.value_or(15);
    double hi = traces.highest.value_or(25);
    for (const report::limits_in_force& stretch : limits)
        for (const chart::sensor_limits& l : stretch.limits)
            for (const std::optional<double>& v : {l.high, l.low})
                if (v && *v > -100 && *v < 300) {
                    lo = std::min(lo, *v);
                    hi = std::max(hi, *v);
                }
    lo -= 1;
    hi += 1;
    value_scale s;
    for (double step : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0}) {
        s.step = step;
        if ((hi - lo) / step <= 8)
            break;
    }
    s.low = std::floor(lo / s.step) * s.step;
    s.high = std::ceil(hi / s.step) * s.step;
    return s;
}

class chart_painter {
public:
    chart_painter(QPainter& p, const QRectF& box, report& r, double point)
        : p_(p)
        , r_(r)
        , pt_(point)
        , font_(p.font()) {
        font_.setPointSizeF(7.5);
        p_.setFont(font_);
        const QFontMetricsF fm(font_, p_.device());
        line_ = fm.height();
        plot_ = box.adjusted(fm.horizontalAdvance(QStringLiteral("100 ")) + 2 * pt_, line_ * 1.6,
                             -4 * pt_, -line_ * 1.5);
    }

    void draw() {
        const std::int64_t from = r_.period.start;
        const std::int64_t to = std::max(from + 1, r_.period.end) - 1;
        // Two columns a point: finer than any printer's line.
        columns_ = std::max(1, static_cast<int>(plot_.width() / pt_ * 2));
        chart::reduce(r_.points, r_.gaps, double(from), double(to), columns_, traces_);
        scale_ = scale_for(traces_, r_.limits);
        from_ = double(from);
        to_ = double(to);
        p_.save();
        p_.setRenderHint(QPainter::Antialiasing);
        grid();
        thresholds(false);
        p_.save();
        p_.setClipRect(plot_);
        for (int s = 0; s < 2; ++s)
            trace_of(s);
        p_.restore();
        thresholds(true);
        legend();
        p_.setPen(QPen(Qt::black, 0.6 * pt_));
        p_.drawRect(plot_);
        if (r_.points.empty())
            p_.drawText(plot_, Qt::AlignCenter, QStringLiteral("No readings in this period"));
        p_.restore();
    }

private:
    double y_of(double v) const {
        return plot_.bottom() - (v - scale_.low) / (scale_.high - scale_.low) * plot_.height();
    }
    double x_of(double t) const {
        return plot_.left() + (t - from_) / std::max(1.0, to_ - from_) * plot_.width();
    }

    void grid() {
        const QPen grid(QColor(0xD0, 0xD0, 0xD0), 0.4 * pt_);
        for (double v = scale_.low; v <= scale_.high + 1e-9; v += scale_.step) {
            const double y = y_of(v);
            p_.setPen(grid);
            p_.drawLine(QPointF(plot_.left(), y), QPointF(plot_.right(), y));
            p_.setPen(Qt::black);
            p_.drawText(QRectF(plot_.left() - 40 * pt_, y - line_ / 2, 38 * pt_, line_),
                        Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
        }
        p_.drawText(QRectF(plot_.left() - 40 * pt_, plot_.top() - line_ * 1.5, 38 * pt_, line_),
                    Qt::AlignRight | Qt::AlignVCenter, degrees());
        const QFontMetricsF fm(font_, p_.device());
        const double room = fm.horizontalAdvance(QStringLiteral("00-00 ")) * 1.6;
        for (const chart::time_tick& tick :
             chart::time_ticks(from_, to_, (to_ - from_) * room / plot_.width(), r_.clock)) {
            const double x = x_of(double(tick.time));
            p_.setPen(grid);
            p_.drawLine(QPointF(x, plot_.top()), QPointF(x, plot_.bottom()));
            p_.setPen(Qt::black);
            p_.drawText(QRectF(x - room / 2, plot_.bottom() + line_ * 0.5, room, line_),
                        Qt::AlignHCenter | Qt::AlignTop, tick.label);
        }
    }

    // The dashed lines under the readings, their labels over them: each
    // threshold over the time it was in force, labelled where it begins.
    void thresholds(bool labels) {
        for (int s = 0; s < 2; ++s) {
            std::array<std::optional<double>, 2> before;
            for (const report::limits_in_force& stretch : r_.limits) {
                const chart::sensor_limits& l = stretch.limits[std::size_t(s)];
                const std::array<std::optional<double>, 2> now{l.high, l.low};
                const double x0 = std::max(plot_.left(), x_of(double(stretch.from)));
                const double x1 = std::min(plot_.right(), x_of(double(stretch.to)));
                for (std::size_t k = 0; k < 2; ++k) {
                    const std::optional<double>& value = now[k];
                    if (!value || *value < scale_.low || *value > scale_.high || x1 <= x0)
                        continue;
                    if (!labels)
                        dashed(s, x0, x1, y_of(*value));
                    else if (before[k] != value)
                        label(s, k == 0 ? "high" : "low", *value, x0, x1);
                }
                before = now;
            }
        }
    }

    void dashed(int s, double x0, double x1, double y) {
        QPen pen(sensor_colour(s), 0.6 * pt_);
        pen.setDashPattern({8, 5});
        p_.setPen(pen);
        p_.drawLine(QPointF(x0, y), QPointF(x1, y));
    }

    void label(int s, const char* what, double value, double x0, double x1) {
        const QString text = threshold_label(QStringLiteral("Sensor %1").arg(s + 1), what, value);
        const double y = y_of(value);
        // Sensor 1 on the left, sensor 2 on the right, so that equal
        // thresholds keep both labels.
        const QRectF at(x0 + 3 * pt_, y - line_, std::max(x1 - x0 - 6 * pt_, 1.0), line_);
        const QTextOption align((s == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignBottom);
        // A light ground keeps the label legible over the readings.
        const QRectF box = p_.boundingRect(at, text, align).adjusted(-pt_, 0, pt_, 0);
        p_.fillRect(box, QColor(255, 255, 255, 220));
        p_.setPen(sensor_colour(s));
        p_.drawText(at, text, align);
    }

    void trace_of(int s) {
        const chart::trace& t = traces_.sensor[s];
        const double sx = plot_.width() / columns_;
        QPen pen(sensor_colour(s), 0.7 * pt_);
        pen.setJoinStyle(Qt::RoundJoin);
        pen.setCapStyle(Qt::RoundCap);
        p_.setPen(pen);
        QPainterPath path;
        for (std::size_t i = 0; i < t.polyline_count(); ++i) {
            const auto at = [&](std::size_t k) {
                return QPointF(plot_.left() + t.points[k].x() * sx, y_of(t.points[k].y()));
            };
            const std::size_t begin = t.starts[i];
            const std::size_t end = t.polyline_end(i);
            path.moveTo(at(begin));
            // A lone reading: a dot, which a round cap draws from a line of
            // no length.
            path.lineTo(end - begin == 1 ? at(begin) : at(begin + 1));
            for (std::size_t k = begin + 2; k < end; ++k)
                path.lineTo(at(k));
        }
        p_.drawPath(path);
    }

    void legend() {
        double x = plot_.left();
        const double y = plot_.top() - line_ * 0.8;
        const QFontMetricsF fm(font_, p_.device());
        for (int s = 0; s < 2; ++s) {
            p_.setPen(QPen(sensor_colour(s), 1.5 * pt_));
            p_.drawLine(QPointF(x, y), QPointF(x + 14 * pt_, y));
            x += 17 * pt_;
            const QString name = QStringLiteral("Sensor %1").arg(s + 1);
            p_.setPen(Qt::black);
            p_.drawText(QPointF(x, y + fm.ascent() / 2 - pt_), name);
            x += fm.horizontalAdvance(name) + 12 * pt_;
        }
    }

    QPainter& p_;
    report& r_;
    double pt_;
    QFont font_;
    double line_ = 0;
    QRectF plot_;
    int columns_ = 1;
    chart::trace_set traces_;
    value_scale scale_;
    double from_ = 0;
    double to_ = 0;
};

} // namespace

void draw_report_chart(QPainter& painter, const QRectF& box, report& r, double point) {
    chart_painter(painter, box, r, point).draw();
}

} // namespace history
