#pragma once

#include "chart/history_index.h"
#include "chart/history_stats.h"
#include "chart/history_ticks.h"
#include "chart/history_trace.h"
#include "history/chart_items.h"
#include "history/chart_text.h"
#include "history/log_settings.h"

#include <QElapsedTimer>
#include <QtCharts/QChartView>
#include <array>
#include <optional>

class QDateTimeAxis;
class QValueAxis;
class QLineSeries;
class QTimer;

namespace history {

// The chart of both sensors over a time window, drawn from a per-column
// reduction of the points: of the log's block summaries, and of the lines
// read back where the window needs more. Wheel zooms around the pointer, dragging pans,
// a double click shows the whole log; the arrow keys pan, + and - zoom.
// While the window ends at the latest reading it follows new readings.
// Time may go back in the log: the line breaks there.
class history_chart : public QChartView {
    Q_OBJECT

public:
    // `log` is the window's; the chart only reads it.
    explicit history_chart(const chart::log_index& log, QWidget* parent = nullptr);
    ~history_chart() override;

    void set_settings(const log_settings& settings);
    const log_settings& settings() const { return plot_.settings; }

    // Shows another log from now on, in the same view.
    void show_log(const chart::log_index& log);
    const chart::log_index& shown() const { return *plot_.log; }
    // The log changed; the view moves along if it follows the latest.
    void data_changed();
    // During a long load redraws are spaced out, so the reader keeps the CPU.
    void set_loading(bool loading);

    void show_all();
    // The last `seconds` up to the latest reading.
    void show_last(double seconds);
    // From `from` to `to` (UTC seconds), as far as the log reaches.
    void show_range(double from, double to);
    // Keeps the point under `x` (viewport pixels) in place; factor > 1 zooms in.
    void zoom_at(double x, double factor);
    void pan_by_pixels(double dx);

    double from() const { return plot_.from; }
    double to() const { return plot_.to; }
    bool follows_latest() const { return follow_; }
    const std::array<chart::sensor_summary, 2>& summary() const { return summary_; }
    const chart::trace_set& traces() const { return plot_.traces; }
    // The time axis's labels and grid lines, at round local times.
    const std::vector<chart::time_tick>& ticks() const { return plot_.ticks; }
    // The time and both readings under the pointer, or empty.
    const QString& hover_text() const { return hover_text_; }
    void set_hover_visible(bool visible);

    // Loaded and redrawn, with no redraw pending.
    bool settled() const;
    // Redrawn, with no redraw pending, loading or not.
    bool drawn() const;

    // Reduces and lays out the current window now (normally on a timer).
    void redraw();

Q_SIGNALS:
    // After a redraw: new window, new figures.
    void view_changed();
    // The user moved away from a preset range (zoom or pan).
    void range_left();
    // Another view was asked for: a range, the whole log, a zoom or pan.
    void view_asked();
    void hover_changed(const QString& text);
    // The viewport has been painted.
    void painted();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void schedule_redraw();
    // Where the views that follow the latest reading end: the latest time
    // not in the future, so that a line dated far ahead does not carry
    // them away from the readings that come in; the last line's time when
    // every line lies ahead.
    double latest() const;
    // The window of a preset range that follows: `span_` up to latest().
    void end_at_latest();
    void set_window(double from, double to, bool user);
    void clamp_window();
    void update_axes();
    void hover_at(double x);
    void clear_hover();
    double time_at(double viewport_x) const;
    QRectF plot_in_viewport() const;

    // What the items draw, handed to them to read.
    plot_view plot_;
    QDateTimeAxis* time_axis_ = nullptr;
    QValueAxis* value_axis_ = nullptr;
    trace_item* overlay_ = nullptr;
    time_scale_item* time_scale_ = nullptr;
    QTimer* redraw_timer_ = nullptr;

    bool all_ = true;    // the whole log
    bool follow_ = true; // the window ends at the latest reading
    double span_ = 0;    // its length when following a preset range
    bool loading_ = false;
    QElapsedTimer since_redraw_;

    chart::local_clock clock_;
    std::array<chart::sensor_summary, 2> summary_;

    std::optional<double> pointer_x_; // viewport x of the pointer over the plot
    QString hover_text_;
    std::optional<QPointF> drag_from_;
    double drag_from_time_ = 0;
};

} // namespace history
