#include "history/history_chart.h"

#include "chart/history_view.h"
#include "rules/numbers.h"

#include <QDateTime>
#include <QGraphicsItem>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace history {

namespace {

// Less than a minute of a 5 s log says nothing more when spread wider.
constexpr double min_span = 60;
constexpr double wheel_step = 1.25;
// How far a log's clock may run ahead of this one's (a log on a share,
// written by another machine) and still count as the latest reading.
constexpr qint64 clock_skew = 300;
const QString degrees = QStringLiteral("\u00BAC");

const QColor& colour_of(int sensor) {
    return sensor == 0 ? sensor1_colour : sensor2_colour;
}

QString number_text(double v, int decimals) {
    return QLocale().toString(v, 'f', decimals);
}

QString share_text(const char* what, double share) {
    return QStringLiteral("%1 %2 %").arg(QLatin1StringView(what), number_text(share * 100, 1));
}

} // namespace

QString time_text(double utc_seconds) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::floor(utc_seconds)))
        .toString(QStringLiteral("MM-dd-yyyy HH:mm:ss"));
}

QString reading_text(std::uint8_t value) {
    return value == chart::no_reading ? QStringLiteral("- -")
                                      : QString::number(value) + u' ' + degrees;
}

QString summary_text(int sensor, const chart::sensor_summary& s) {
    const QString name = QStringLiteral("Sensor %1").arg(sensor + 1);
    if (!s.any)
        return name + QStringLiteral(": no readings");
    QString text = QStringLiteral("%1: min %2, mean %3, max %4 %5")
                       .arg(name, QString::number(s.min), number_text(s.mean, 1),
                            QString::number(s.max), degrees);
    QStringList shares;
    if (s.above_high)
        shares << share_text("above high", *s.above_high);
    if (s.below_low)
        shares << share_text("below low", *s.below_low);
    return shares.isEmpty() ? text
                            : text + QStringLiteral("; ") + shares.join(QStringLiteral(", "));
}

// Draws what the reduction left, the thresholds and the pointer's reading
// over the chart's plot area, above its grid.
class trace_item : public QGraphicsItem {
public:
    explicit trace_item(history_chart& view)
        : QGraphicsItem(view.chart())
        , view_(view) {
        setZValue(100);
        setAcceptedMouseButtons(Qt::NoButton);
    }

    QRectF boundingRect() const override { return view_.chart()->plotArea(); }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        const QRectF area = view_.chart()->plotArea();
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
        if (view_.log_->empty()) {
            painter->setPen(Qt::darkGray);
            painter->drawText(area, Qt::AlignCenter, QStringLiteral("No readings in this log yet"));
        }
        painter->restore();
    }

private:
    double y_of(double v, const QRectF& area) const {
        const double range = view_.y_max_ - view_.y_min_;
        return area.bottom() - (v - view_.y_min_) / (range > 0 ? range : 1) * area.height();
    }
    double x_of_time(double t, const QRectF& area) const {
        return area.left() + (t - view_.from_) / (view_.to_ - view_.from_) * area.width();
    }

    // The dashed lines go under the readings, their labels over them.
    void draw_thresholds(QPainter& p, const QRectF& area, bool labels) {
        p.save();
        QFont small = p.font();
        small.setPointSizeF(small.pointSizeF() * 0.9);
        p.setFont(small);
        const QFontMetricsF fm(small);
        for (int s = 0; s < 2; ++s) {
            const chart::sensor_limits& lim = view_.settings_.limits[s];
            const std::pair<const char*, std::optional<double>> lines[] = {{"high", lim.high},
                                                                           {"low", lim.low}};
            for (const auto& [what, value] : lines) {
                if (!value)
                    continue;
                const double y = y_of(*value, area);
                if (y < area.top() - 1 || y > area.bottom() + 1)
                    continue;
                if (!labels) {
                    p.setPen(QPen(colour_of(s), 1.2, Qt::DashLine));
                    p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
                    continue;
                }
                p.setPen(colour_of(s));
                // Sensor 1 labels on the left, sensor 2 on the right, so that
                // equal thresholds do not print over each other.
                const QString label =
                    QStringLiteral("Sensor %1 %2 %3 %4")
                        .arg(s + 1)
                        .arg(QLatin1StringView(what), QLocale().toString(*value), degrees);
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

    void draw_trace(QPainter& p, const QRectF& area, int s) {
        const chart::trace& t = view_.traces_.sensor[s];
        const double sx = area.width() / std::max(1, view_.columns_);
        // Bevel joins look as round ones do to within a pixel at the tips of
        // a trace that goes up and down, at half the cost.
        QPen pen(colour_of(s), 1.6);
        pen.setJoinStyle(Qt::BevelJoin);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(colour_of(s));
        for (std::size_t i = 0; i < t.polyline_count(); ++i) {
            const std::size_t b = t.starts[i];
            const std::size_t e = t.polyline_end(i);
            buffer_.clear();
            for (std::size_t k = b; k < e; ++k)
                buffer_.append(
                    QPointF(area.left() + t.points[k].x() * sx, y_of(t.points[k].y(), area)));
            if (buffer_.size() == 1)
                p.drawEllipse(buffer_.front(), 1.6, 1.6);
            else
                p.drawPolyline(buffer_.constData(), static_cast<int>(buffer_.size()));
        }
        p.setBrush(Qt::NoBrush);
    }

    void draw_hover(QPainter& p, const QRectF& area) {
        if (!view_.hover_ || !view_.hover_visible_)
            return;
        const chart::log_point& pt = *view_.hover_;
        const double x = x_of_time(pt.time, area);
        p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1, Qt::DotLine));
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        for (int s = 0; s < 2; ++s) {
            if (pt.sensor[s] == chart::no_reading)
                continue;
            p.setPen(QPen(colour_of(s), 1.5));
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(x, y_of(pt.sensor[s], area)), 3.5, 3.5);
        }
        p.setBrush(Qt::NoBrush);
    }

    history_chart& view_;
    QVector<QPointF> buffer_;
};

// The time axis: grid lines and labels at the chart's round local times.
// Qt's date-time axis only divides the range evenly, so it keeps the room
// for its labels and the line, and this draws what goes in them.
class time_scale_item : public QGraphicsItem {
public:
    time_scale_item(history_chart& view, const QDateTimeAxis& axis)
        : QGraphicsItem(view.chart())
        , view_(view)
        , grid_(axis.gridLinePen())
        , font_(axis.labelsFont())
        , brush_(axis.labelsBrush()) {
        // Over the plot's background, under the lines.
        setZValue(50);
        setAcceptedMouseButtons(Qt::NoButton);
    }

    QRectF boundingRect() const override { return view_.chart()->rect(); }

    // The ticks or the chart's size changed.
    void refresh() {
        prepareGeometryChange();
        update();
    }

    // The least room a label takes, with space around it.
    double label_room() const {
        const QFontMetricsF fm(font_);
        return fm.horizontalAdvance(QStringLiteral("Sep 2026")) + fm.height();
    }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        const QRectF area = view_.chart()->plotArea();
        const double span = view_.to_ - view_.from_;
        if (area.width() < 1 || area.height() < 1 || !(span > 0))
            return;
        painter->save();
        painter->setFont(font_);
        const QFontMetricsF fm(font_);
        const QRectF chart_rect = boundingRect();
        for (const chart::time_tick& tick : view_.ticks_) {
            const double x =
                area.left() + (static_cast<double>(tick.time) - view_.from_) / span * area.width();
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

private:
    static constexpr double label_gap = 6;

    history_chart& view_;
    QPen grid_;
    QFont font_;
    QBrush brush_;
};

history_chart::history_chart(const chart::log_index& log, QWidget* parent)
    // Made with its chart: a view made without one makes its own, which
    // setChart() would give up without deleting.
    : QChartView(new QChart(), parent)
    , log_(&log) {
    QChart* chart = this->chart();
    chart->setMargins(QMargins(4, 4, 8, 4));
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    time_axis_ = new QDateTimeAxis(chart);
    value_axis_ = new QValueAxis(chart);
    value_axis_->setLabelFormat(QStringLiteral("%d"));
    value_axis_->setTitleText(degrees);
    chart->addAxis(time_axis_, Qt::AlignBottom);
    chart->addAxis(value_axis_, Qt::AlignLeft);
    // The lines themselves are drawn from the reduction; these carry the
    // legend's names and colours.
    for (int s = 0; s < 2; ++s) {
        auto* legend_entry = new QLineSeries(chart);
        legend_entry->setName(QStringLiteral("Sensor %1").arg(s + 1));
        legend_entry->setPen(QPen(colour_of(s), 2));
        chart->addSeries(legend_entry);
        legend_entry->attachAxis(time_axis_);
        legend_entry->attachAxis(value_axis_);
    }
    setRenderHint(QPainter::Antialiasing);
    setDragMode(QGraphicsView::NoDrag);
    setRubberBand(QChartView::NoRubberBand);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    overlay_ = new trace_item(*this);
    time_scale_ = new time_scale_item(*this, *time_axis_);
    // The axis keeps its room and its line; its own grid and labels, at
    // uneven times, give way to the time scale's.
    time_axis_->setGridLineVisible(false);
    time_axis_->setLabelsBrush(Qt::transparent);
    time_axis_->setFormat(QStringLiteral("HH:mm"));
    time_axis_->setTickCount(2);

    redraw_timer_ = new QTimer(this);
    redraw_timer_->setSingleShot(true);
    connect(redraw_timer_, &QTimer::timeout, this, &history_chart::redraw);
    connect(chart, &QChart::plotAreaChanged, this, &history_chart::schedule_redraw);
    since_redraw_.start();
    const double now = static_cast<double>(QDateTime::currentSecsSinceEpoch());
    from_ = now - 86400;
    to_ = now;
    update_axes();
}

history_chart::~history_chart() = default;

void history_chart::set_settings(const log_settings& settings) {
    settings_ = settings;
    schedule_redraw();
}

void history_chart::show_log(const chart::log_index& log) {
    if (&log == log_)
        return;
    log_ = &log;
    clear_hover();
    data_changed();
    // Another log is drawn at once, loading or not.
    redraw_timer_->start(0);
}

void history_chart::set_loading(bool loading) {
    loading_ = loading;
    schedule_redraw();
}

bool history_chart::settled() const {
    return !loading_ && !redraw_timer_->isActive();
}

void history_chart::schedule_redraw() {
    // While loading, a redraw every so often shows progress without
    // reducing a growing log over and over. Otherwise at once, even when
    // a spaced-out redraw is still waiting: the end of a load is drawn
    // without delay.
    if (loading_) {
        if (!redraw_timer_->isActive())
            redraw_timer_->start(
                static_cast<int>(std::max<qint64>(0, 200 - since_redraw_.elapsed())));
        return;
    }
    if (!redraw_timer_->isActive() || redraw_timer_->remainingTime() > 0)
        redraw_timer_->start(0);
}

double history_chart::latest() const {
    const auto now = QDateTime::currentSecsSinceEpoch() + clock_skew;
    const auto limit = static_cast<std::uint32_t>(
        std::clamp<qint64>(now, 0, std::numeric_limits<std::uint32_t>::max()));
    if (const auto t = chart::latest_until(*log_, limit))
        return *t;
    return log_->empty() ? 0 : (*log_)[log_->size() - 1].last.time;
}

void history_chart::data_changed() {
    if (log_->empty()) {
        // A log read anew is shown from its latest line, over the span of
        // the range chosen last (or whole).
        clear_hover();
        follow_ = true;
        all_ = all_ || span_ <= 0;
    } else if (follow_) {
        if (all_) {
            from_ = log_->first_time();
            to_ = log_->last_time();
            clamp_window();
        } else {
            end_at_latest();
        }
    }
    schedule_redraw();
}

void history_chart::show_all() {
    all_ = follow_ = true;
    span_ = 0;
    if (!log_->empty()) {
        from_ = log_->first_time();
        to_ = log_->last_time();
        clamp_window();
    }
    schedule_redraw();
}

void history_chart::show_last(double seconds) {
    all_ = false;
    follow_ = true;
    span_ = seconds;
    if (!log_->empty())
        end_at_latest();
    schedule_redraw();
}

void history_chart::show_range(double from, double to) {
    set_window(from, to, true);
}

void history_chart::end_at_latest() {
    // A log shorter than the range is shown from its first line: moving the
    // window forward instead would show empty future up to a line dated far
    // ahead.
    to_ = latest();
    from_ = std::max(to_ - span_, static_cast<double>(log_->first_time()));
    clamp_window();
}

void history_chart::clamp_window() {
    if (log_->empty())
        return;
    double lo = log_->first_time();
    double hi = log_->last_time();
    if (hi - lo < min_span) {
        const double mid = (lo + hi) / 2;
        lo = mid - min_span / 2;
        hi = mid + min_span / 2;
    }
    const double span = std::clamp(to_ - from_, min_span, hi - lo);
    if (span >= hi - lo) {
        from_ = lo;
        to_ = hi;
        return;
    }
    from_ = std::clamp(from_, lo, hi - span);
    to_ = from_ + span;
}

void history_chart::set_window(double from, double to, bool user) {
    from_ = from;
    to_ = to;
    clamp_window();
    if (user) {
        const double last = log_->empty() ? to_ : latest();
        follow_ = to_ >= last - 0.5;
        all_ = !log_->empty() && from_ <= log_->first_time() && follow_;
        span_ = to_ - from_;
        Q_EMIT range_left();
    }
    schedule_redraw();
}

void history_chart::zoom_at(double x, double factor) {
    if (!(factor > 0))
        return;
    const double t = time_at(x);
    const double span = to_ - from_;
    const double new_span = std::max(min_span, span / factor);
    const double left = (t - from_) / span;
    set_window(t - left * new_span, t - left * new_span + new_span, true);
}

void history_chart::pan_by_pixels(double dx) {
    const QRectF area = plot_in_viewport();
    if (area.width() < 1)
        return;
    const double shift = dx * (to_ - from_) / area.width();
    set_window(from_ - shift, to_ - shift, true);
}

QRectF history_chart::plot_in_viewport() const {
    return mapFromScene(chart()->mapToScene(chart()->plotArea()).boundingRect()).boundingRect();
}

double history_chart::time_at(double viewport_x) const {
    const QRectF area = plot_in_viewport();
    if (area.width() < 1)
        return (from_ + to_) / 2;
    return from_ + (viewport_x - area.left()) / area.width() * (to_ - from_);
}

void history_chart::update_axes() {
    time_axis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(from_ * 1000)),
                         QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(to_ * 1000)));
    const double width = chart()->plotArea().width();
    ticks_ = width >= 1 ? chart::time_ticks(
                              from_, to_, (to_ - from_) * time_scale_->label_room() / width, clock_)
                        : std::vector<chart::time_tick>();
    time_scale_->refresh();

    double lo = traces_.lowest.value_or(10);
    double hi = traces_.highest.value_or(30);
    for (const chart::sensor_limits& lim : settings_.limits)
        for (const std::optional<double>& v : {lim.high, lim.low})
            if (v && *v > -100 && *v < 300) {
                lo = std::min(lo, *v);
                hi = std::max(hi, *v);
            }
    lo -= 1;
    hi += 1;
    if (hi - lo < 10) {
        const double mid = (lo + hi) / 2;
        lo = mid - 5;
        hi = mid + 5;
    }
    // A scale that holds everything and is not far too wide is kept, so
    // that it does not jump on every step of a pan.
    const bool fits = lo >= y_min_ && hi <= y_max_ && y_max_ - y_min_ <= 2 * (hi - lo);
    if (!fits) {
        // Whole-degree ticks 1, 2, 5 or 10 apart, at most about ten of them.
        double step = 1;
        for (double s : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0})
            if ((hi - lo) / s <= 10) {
                step = s;
                break;
            }
        lo = std::floor(lo / step) * step;
        hi = std::ceil(hi / step) * step;
        value_axis_->setRange(lo, hi);
        value_axis_->setTickCount(rules::to_int32_half_even((hi - lo) / step).value_or(1) + 1);
        y_min_ = lo;
        y_max_ = hi;
    }
}

void history_chart::redraw() {
    since_redraw_.restart();
    const QRectF area = chart()->plotArea();
    columns_ = std::max(1, static_cast<int>(area.width()));
    // The blocks in view, with the lines of those at the edges of columns
    // read back from the log, once for the lines and the figures.
    const chart::log_window window = chart::gather(*log_, from_, to_, columns_);
    chart::reduce(*log_, window, traces_);
    summary_ = chart::summarize(*log_, window);
    update_axes();
    // The pointer now rests over another time, or over new readings.
    if (pointer_x_)
        hover_at(*pointer_x_);
    overlay_->update();
    Q_EMIT view_changed();
}

void history_chart::set_hover_visible(bool visible) {
    hover_visible_ = visible;
    overlay_->update();
}

void history_chart::clear_hover() {
    if (!hover_ && !pointer_x_ && hover_text_.isEmpty())
        return;
    hover_.reset();
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
    const double per_pixel = (to_ - from_) / area.width();
    hover_ = chart::nearest(*log_, t, std::max<double>(settings_.gaps.limit(), 3 * per_pixel));
    if (hover_) {
        const chart::log_point& p = *hover_;
        hover_text_ =
            QStringLiteral("%1   Sensor 1: %2   Sensor 2: %3")
                .arg(time_text(p.time), reading_text(p.sensor[0]), reading_text(p.sensor[1]));
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
        drag_from_time_ = from_;
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void history_chart::mouseMoveEvent(QMouseEvent* event) {
    if (drag_from_ && (event->buttons() & Qt::LeftButton)) {
        const QRectF area = plot_in_viewport();
        if (area.width() >= 1) {
            const double span = to_ - from_;
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
