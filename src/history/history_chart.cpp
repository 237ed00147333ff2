#include "history/history_chart.h"

#include "chart/history_view.h"
#include "rules/numbers.h"

#include <QDateTime>
#include <QTimer>
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
// How far a log's clock may run ahead of this one's (a log on a share,
// written by another machine) and still count as the latest reading.
constexpr qint64 clock_skew = 300;

} // namespace

history_chart::history_chart(const chart::log_index& log, QWidget* parent)
    // Made with its chart: a view made without one makes its own, which
    // setChart() would give up without deleting.
    : QChartView(new QChart(), parent) {
    plot_.log = &log;
    QChart* chart = this->chart();
    chart->setMargins(QMargins(4, 4, 8, 4));
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    time_axis_ = new QDateTimeAxis(chart);
    value_axis_ = new QValueAxis(chart);
    value_axis_->setLabelFormat(QStringLiteral("%d"));
    value_axis_->setTitleText(degrees());
    chart->addAxis(time_axis_, Qt::AlignBottom);
    chart->addAxis(value_axis_, Qt::AlignLeft);
    // The lines themselves are drawn from the reduction; these carry the
    // legend's names and colours.
    for (int s = 0; s < 2; ++s) {
        auto* legend_entry = new QLineSeries(chart);
        legend_entry->setName(QStringLiteral("Sensor %1").arg(s + 1));
        legend_entry->setPen(QPen(sensor_colour(s), 2));
        chart->addSeries(legend_entry);
        legend_entry->attachAxis(time_axis_);
        legend_entry->attachAxis(value_axis_);
    }
    setRenderHint(QPainter::Antialiasing);
    setDragMode(QGraphicsView::NoDrag);
    setRubberBand(QChartView::NoRubberBand);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    overlay_ = new trace_item(*chart, plot_);
    time_scale_ = new time_scale_item(*chart, plot_, *time_axis_);
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
    plot_.from = now - 86400;
    plot_.to = now;
    update_axes();
}

history_chart::~history_chart() = default;

void history_chart::set_settings(const log_settings& settings) {
    plot_.settings = settings;
    const QList<QAbstractSeries*> legend_entries = chart()->series();
    for (int s = 0; s < 2 && s < legend_entries.size(); ++s)
        legend_entries[s]->setName(settings.names[s]);
    schedule_redraw();
}

void history_chart::show_log(const chart::log_index& log) {
    if (&log == plot_.log)
        return;
    plot_.log = &log;
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
    return !loading_ && drawn();
}

bool history_chart::drawn() const {
    return !redraw_timer_->isActive();
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
    if (const auto t = chart::latest_until(*plot_.log, limit))
        return *t;
    return plot_.log->empty() ? 0 : (*plot_.log)[plot_.log->size() - 1].last.time;
}

void history_chart::data_changed() {
    if (plot_.log->empty()) {
        // A log read anew is shown from its latest line, over the span of
        // the range chosen last (or whole).
        clear_hover();
        follow_ = true;
        all_ = all_ || span_ <= 0;
    } else if (follow_) {
        if (all_) {
            plot_.from = plot_.log->first_time();
            plot_.to = plot_.log->last_time();
            clamp_window();
        } else {
            end_at_latest();
        }
    }
    schedule_redraw();
}

void history_chart::show_all() {
    Q_EMIT view_asked();
    all_ = follow_ = true;
    span_ = 0;
    if (!plot_.log->empty()) {
        plot_.from = plot_.log->first_time();
        plot_.to = plot_.log->last_time();
        clamp_window();
    }
    schedule_redraw();
}

void history_chart::show_last(double seconds) {
    Q_EMIT view_asked();
    all_ = false;
    follow_ = true;
    span_ = seconds;
    if (!plot_.log->empty())
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
    plot_.to = latest();
    plot_.from = std::max(plot_.to - span_, static_cast<double>(plot_.log->first_time()));
    clamp_window();
}

void history_chart::clamp_window() {
    if (plot_.log->empty())
        return;
    double lo = plot_.log->first_time();
    double hi = plot_.log->last_time();
    if (hi - lo < min_span) {
        const double mid = (lo + hi) / 2;
        lo = mid - min_span / 2;
        hi = mid + min_span / 2;
    }
    const double span = std::clamp(plot_.to - plot_.from, min_span, hi - lo);
    if (span >= hi - lo) {
        plot_.from = lo;
        plot_.to = hi;
        return;
    }
    plot_.from = std::clamp(plot_.from, lo, hi - span);
    plot_.to = plot_.from + span;
}

void history_chart::set_window(double from, double to, bool user) {
    plot_.from = from;
    plot_.to = to;
    clamp_window();
    if (user) {
        const double last = plot_.log->empty() ? plot_.to : latest();
        follow_ = plot_.to >= last - 0.5;
        all_ = !plot_.log->empty() && plot_.from <= plot_.log->first_time() && follow_;
        span_ = plot_.to - plot_.from;
        Q_EMIT range_left();
        Q_EMIT view_asked();
    }
    schedule_redraw();
}

void history_chart::zoom_at(double x, double factor) {
    if (!(factor > 0))
        return;
    const double t = time_at(x);
    const double span = plot_.to - plot_.from;
    const double new_span = std::max(min_span, span / factor);
    const double left = (t - plot_.from) / span;
    set_window(t - left * new_span, t - left * new_span + new_span, true);
}

void history_chart::pan_by_pixels(double dx) {
    const QRectF area = plot_in_viewport();
    if (area.width() < 1)
        return;
    const double shift = dx * (plot_.to - plot_.from) / area.width();
    set_window(plot_.from - shift, plot_.to - shift, true);
}

void history_chart::update_axes() {
    time_axis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(plot_.from * 1000)),
                         QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(plot_.to * 1000)));
    const double width = chart()->plotArea().width();
    plot_.ticks =
        width >= 1
            ? chart::time_ticks(plot_.from, plot_.to,
                                (plot_.to - plot_.from) * time_scale_->label_room() / width, clock_)
            : std::vector<chart::time_tick>();
    time_scale_->refresh();

    double lo = plot_.traces.lowest.value_or(10);
    double hi = plot_.traces.highest.value_or(30);
    for (const chart::sensor_limits& lim : plot_.settings.limits)
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
    const bool fits =
        lo >= plot_.y_min && hi <= plot_.y_max && plot_.y_max - plot_.y_min <= 2 * (hi - lo);
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
        plot_.y_min = lo;
        plot_.y_max = hi;
    }
}

void history_chart::redraw() {
    since_redraw_.restart();
    const QRectF area = chart()->plotArea();
    plot_.columns = std::max(1, static_cast<int>(area.width()));
    // The blocks in view, with the lines of those at the edges of columns
    // read back from the log, once for the lines and the figures.
    const chart::log_window window = chart::gather(*plot_.log, plot_.from, plot_.to, plot_.columns);
    chart::reduce(*plot_.log, window, plot_.traces);
    summary_ = chart::summarize(*plot_.log, window);
    update_axes();
    // The pointer now rests over another time, or over new readings.
    if (pointer_x_)
        hover_at(*pointer_x_);
    overlay_->update();
    Q_EMIT view_changed();
}

} // namespace history
