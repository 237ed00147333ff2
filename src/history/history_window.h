#pragma once

#include "chart/history_index.h"
#include "chart/report_period.h"
#include "history/file_prompts.h"
#include "history/log_settings.h"

#include <QDateTime>
#include <QMainWindow>
#include <QThread>
#include <array>
#include <memory>
#include <optional>
#include <utility>

class QActionGroup;
class QLabel;
class QProgressBar;
class QStackedWidget;
class QToolBar;

namespace history {

class history_chart;
class log_reader;
struct log_batch;

// The history window of one data log: the chart, the range buttons, the
// reading under the pointer, the figures of the visible range, and what
// could not be read. The log is read and followed in a worker thread.
class history_window : public QMainWindow {
    Q_OBJECT

public:
    // `prompts` null: the real file dialogs and message box.
    explicit history_window(const QString& log_path, std::unique_ptr<file_prompts> prompts = {},
                            QWidget* parent = nullptr);
    // Opened on these whole local days: their lines are read first, found
    // by their time, and shown before the rest of the log is read.
    history_window(const QString& log_path, const chart::date_range& dates,
                   std::unique_ptr<file_prompts> prompts = {}, QWidget* parent = nullptr);
    ~history_window() override;

    history_chart& chart() { return *chart_; }
    // The whole log as read so far.
    const chart::log_index& log() const { return log_; }
    // The whole log as it stood has been read (or it is missing).
    bool caught_up() const { return caught_up_; }

    void save_image();
    void export_csv();
    // "Report…": the time shown or whole days, to a PDF or a printer.
    void write_report();
    // Shows these whole local days once the log is read.
    void show_dates(const chart::date_range& dates);

Q_SIGNALS:
    // The chart has been drawn with the whole log as it stood when
    // reading began (or, opened on given days, with all of their lines),
    // or the window has said that there is no log.
    void first_full_draw();
    // The chart has been drawn with readings for the first time (the last
    // days of a large log, before the rest is read).
    void first_data_draw();

private:
    // Reading starts before the window is built: on a large log the two
    // overlap.
    void start_reader();
    void build_tool_bar();
    void add_range_buttons(QToolBar* bar);
    void reach_by_tab(QToolBar* bar);
    // Each sensor's figures for the time shown, the unreadable lines, the
    // progress of a load.
    void build_status_bar();
    void on_missing();
    void on_unreadable(const QString& reason);
    void on_restarted(qint64 file_size);
    void on_tail(const std::shared_ptr<const log_batch>& tail);
    void on_batch(const std::shared_ptr<const log_batch>& batch);
    void on_caught_up();
    void on_painted();
    void update_summary();
    void update_hover(const QString& text);
    void check_settings();
    void show_message(const QString& text);
    QString range_text() const;
    void show_pending_range(bool keep = false);

    QString log_path_;
    QString ini_path_;
    std::unique_ptr<file_prompts> prompts_;
    chart::log_index log_;
    chart::log_index tail_; // the last days of a large log, shown while the rest is read
    QThread reader_thread_;
    log_reader* reader_ = nullptr;

    history_chart* chart_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* readout_ = nullptr;
    std::array<QLabel*, 2> summary_{};
    QLabel* unreadable_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QActionGroup* ranges_ = nullptr;

    std::optional<std::pair<double, double>> pending_range_; // UTC seconds
    QDateTime ini_stamp_;
    qint64 ini_size_ = -1;
    bool caught_up_ = false;
    bool period_shown_ = false; // every line of the days asked for is shown
    bool placing_ = false;      // the days asked for are being put in view
    bool first_draw_sent_ = false;
    bool data_draw_sent_ = false;
};

} // namespace history
