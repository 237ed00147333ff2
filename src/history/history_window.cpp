#include "history/history_window.h"

#include "controls/thermometer_icon.h"
#include "history/exports.h"
#include "history/file_prompts.h"
#include "history/history_chart.h"
#include "history/log_reader.h"
#include "history/report.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPrinter>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSysInfo>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cmath>

namespace history {

namespace {

// What a screen reader says of the chart: the time shown, and each
// sensor's latest reading in the log and its lowest and highest in that time.
QString chart_description(double from, double to, const chart::log_index& log,
                          const std::array<chart::sensor_summary, 2>& summary,
                          const std::array<QString, 2>& names) {
    if (log.empty())
        return QStringLiteral("No readings.");
    QString text = QStringLiteral("Readings from %1 to %2.").arg(time_text(from), time_text(to));
    const chart::log_point& latest = log[log.size() - 1].last;
    for (int sensor = 0; sensor < 2; ++sensor) {
        text +=
            QStringLiteral(" %1: latest %2; ")
                .arg(names[static_cast<std::size_t>(sensor)], reading_text(latest.sensor[sensor]));
        const chart::sensor_summary& s = summary[static_cast<std::size_t>(sensor)];
        text += s.any ? QStringLiteral("lowest %1, highest %2 in this time.")
                            .arg(reading_text(static_cast<std::uint8_t>(s.min)),
                                 reading_text(static_cast<std::uint8_t>(s.max)))
                      : QStringLiteral("no reading in this time.");
    }
    return text;
}

} // namespace

history_window::history_window(const QString& log_path, std::unique_ptr<file_prompts> prompts,
                               QWidget* parent)
    : history_window(log_path, chart::date_range{}, std::move(prompts), parent) {}

history_window::history_window(const QString& log_path, const chart::date_range& dates,
                               std::unique_ptr<file_prompts> prompts, QWidget* parent)
    : QMainWindow(parent)
    , log_path_(QFileInfo(log_path).absoluteFilePath())
    , prompts_(std::move(prompts)) {
    if (!prompts_)
        prompts_ = std::make_unique<dialog_file_prompts>(this);
    ini_path_ = QFileInfo(log_path_).absolutePath();

    if (dates.from.isValid())
        show_dates(dates);
    start_reader();

    setWindowTitle(
        QStringLiteral("%1 \u2014 KESTROVA History").arg(QFileInfo(log_path_).fileName()));
    setWindowIcon(controls::thermometer_icon());

    chart_ = new history_chart(log_, this);
    chart_->setObjectName(QStringLiteral("chart"));
    chart_->setAccessibleName(QStringLiteral("Temperature chart"));
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(chart_);
    pages_->addWidget(message_);
    setCentralWidget(pages_);

    build_tool_bar();
    build_status_bar();
    // Any other view than the days asked for needs the rest of the log.
    connect(chart_, &history_chart::view_asked, this, [this] {
        if (placing_)
            return;
        pending_range_.reset();
        QMetaObject::invokeMethod(reader_, &log_reader::read_all, Qt::QueuedConnection);
    });

    connect(chart_, &history_chart::view_changed, this, &history_window::update_summary);
    connect(chart_, &history_chart::hover_changed, this, &history_window::update_hover);
    connect(chart_, &history_chart::painted, this, &history_window::on_painted);
    // After a zoom or pan no preset describes the view any more.
    connect(chart_, &history_chart::range_left, this, [this] {
        if (QAction* a = ranges_->checkedAction())
            a->setChecked(false);
    });

    check_settings();
    auto* settings_poll = new QTimer(this);
    connect(settings_poll, &QTimer::timeout, this, &history_window::check_settings);
    settings_poll->start(1000);

    resize(1200, 680);
}

history_window::~history_window() {
    // A long read is given up at its next stretch rather than waited for.
    reader_->stop();
    reader_thread_.quit();
    reader_thread_.wait();
}

void history_window::start_reader() {
    qRegisterMetaType<std::shared_ptr<const log_batch>>();
    reader_ = new log_reader(log_path_);
    if (pending_range_)
        reader_->read_first(pending_range_->first, pending_range_->second);
    reader_->moveToThread(&reader_thread_);
    connect(&reader_thread_, &QThread::started, reader_, &log_reader::start);
    connect(&reader_thread_, &QThread::finished, reader_, &QObject::deleteLater);
    connect(reader_, &log_reader::missing, this, &history_window::on_missing);
    connect(reader_, &log_reader::unreadable, this, &history_window::on_unreadable);
    connect(reader_, &log_reader::restarted, this, &history_window::on_restarted);
    connect(reader_, &log_reader::tail_ready, this, &history_window::on_tail);
    connect(reader_, &log_reader::batch_ready, this, &history_window::on_batch);
    connect(reader_, &log_reader::caught_up, this, &history_window::on_caught_up);
    reader_thread_.start();
}

void history_window::build_status_bar() {
    for (int sensor = 0; sensor < 2; ++sensor) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("summary%1").arg(sensor + 1));
        label->setStyleSheet(
            QStringLiteral("color: %1; margin-right: 12px;").arg(sensor_colour(sensor).name()));
        label->setToolTip(QStringLiteral(
            "For the time shown: the lowest, time-weighted mean and highest reading, and the "
            "share of the time with a reading that was at or above the high or at or below the "
            "low threshold (when the alarm lamp is red)."));
        summary_[sensor] = label;
    }
    unreadable_ = new QLabel(this);
    unreadable_->setObjectName(QStringLiteral("unreadable"));
    unreadable_->setToolTip(QStringLiteral(
        "Lines with a wrong date or time, another number of fields, a reading that is not "
        "0 to 124 \u00B0C, or bytes that are not text, and a last line without its line end, "
        "are left out."));
    unreadable_->hide();
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 1000);
    progress_->setMaximumWidth(200);
    progress_->setFormat(QStringLiteral("Reading the log\u2026 %p%"));
    progress_->hide();
    statusBar()->addWidget(summary_[0]);
    statusBar()->addWidget(summary_[1], 1);
    statusBar()->addPermanentWidget(unreadable_);
    statusBar()->addPermanentWidget(progress_);
}

// "1 h", "24 h", "7 days" and "All", each with its key.
void history_window::add_range_buttons(QToolBar* bar) {
    ranges_ = new QActionGroup(this);
    ranges_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    const struct {
        const char* text;
        const char* name;
        double seconds; // 0: the whole log
        const char* tip;
        QKeySequence key;
    } presets[] = {
        {"1 h", "range_1h", 3600, "The last hour (Ctrl+1)", Qt::CTRL | Qt::Key_1},
        {"24 h", "range_24h", 86400, "The last 24 hours (Ctrl+2)", Qt::CTRL | Qt::Key_2},
        {"7 days", "range_7d", 7 * 86400, "The last 7 days (Ctrl+3)", Qt::CTRL | Qt::Key_3},
        {"All", "range_all", 0, "The whole log (Ctrl+0, or a double click on the chart)",
         Qt::CTRL | Qt::Key_0}};
    for (const auto& p : presets) {
        QAction* a = bar->addAction(QString::fromUtf8(p.text));
        a->setObjectName(QString::fromUtf8(p.name));
        a->setToolTip(QString::fromUtf8(p.tip));
        a->setShortcut(p.key);
        a->setCheckable(true);
        a->setData(p.seconds);
        ranges_->addAction(a);
        connect(a, &QAction::triggered, this, [this, a] {
            a->setChecked(true);
            const double seconds = a->data().toDouble();
            if (seconds > 0)
                chart_->show_last(seconds);
            else
                chart_->show_all();
        });
    }
    // The last days first: what an operator opening the chart looks at.
    for (QAction* a : ranges_->actions())
        if (a->objectName() == QLatin1String("range_7d"))
            a->trigger();
}

// A tool bar's buttons take no focus of their own; here Tab reaches each, in
// the order they stand, and then the chart.
void history_window::reach_by_tab(QToolBar* bar) {
    QWidget* previous = nullptr;
    for (QAction* a : bar->actions()) {
        QWidget* button = bar->widgetForAction(a);
        if (!qobject_cast<QToolButton*>(button))
            continue;
        button->setFocusPolicy(Qt::TabFocus);
        if (previous)
            setTabOrder(previous, button);
        previous = button;
    }
    if (previous)
        setTabOrder(previous, chart_);
}

void history_window::build_tool_bar() {
    QToolBar* bar = addToolBar(QStringLiteral("View"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    add_range_buttons(bar);
    bar->addSeparator();

    readout_ = new QLabel(this);
    readout_->setObjectName(QStringLiteral("readout"));
    readout_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    readout_->setContentsMargins(8, 0, 8, 0);
    bar->addWidget(readout_);

    QAction* save = bar->addAction(QStringLiteral("Save image\u2026"));
    save->setObjectName(QStringLiteral("save_image"));
    save->setShortcut(QKeySequence::Save);
    save->setToolTip(QStringLiteral("Save the chart as a PNG or SVG picture (Ctrl+S)"));
    connect(save, &QAction::triggered, this, &history_window::save_image);
    QAction* csv = bar->addAction(QStringLiteral("Export CSV\u2026"));
    csv->setObjectName(QStringLiteral("export_csv"));
    csv->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    csv->setToolTip(QStringLiteral("Write the readings of the time shown to a CSV file (Ctrl+E)"));
    connect(csv, &QAction::triggered, this, &history_window::export_csv);
    QAction* report = bar->addAction(QStringLiteral("Report\u2026"));
    report->setObjectName(QStringLiteral("report"));
    report->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    report->setToolTip(QStringLiteral(
        "A report of the time shown or of whole days, as a PDF or on paper (Ctrl+R)"));
    connect(report, &QAction::triggered, this, &history_window::write_report);

    reach_by_tab(bar);

    auto* close_action = new QAction(this);
    close_action->setShortcuts({QKeySequence::Close, QKeySequence::Quit});
    connect(close_action, &QAction::triggered, this, &QWidget::close);
    addAction(close_action);
}

void history_window::show_message(const QString& text) {
    message_->setText(text);
    pages_->setCurrentWidget(message_);
    progress_->hide();
    for (QLabel* label : summary_)
        label->clear();
}

void history_window::on_missing() {
    log_.clear();
    chart_->data_changed();
    unreadable_->hide();
    show_message(QStringLiteral("No data log at %1 yet").arg(QDir::toNativeSeparators(log_path_)));
    caught_up_ = true;
    if (!first_draw_sent_) {
        first_draw_sent_ = true;
        Q_EMIT first_full_draw();
    }
}

void history_window::on_unreadable(const QString& reason) {
    show_message(QStringLiteral("The data log at %1 cannot be read: %2")
                     .arg(QDir::toNativeSeparators(log_path_), reason));
    caught_up_ = true;
    if (!first_draw_sent_) {
        first_draw_sent_ = true;
        Q_EMIT first_full_draw();
    }
}

void history_window::on_restarted(qint64 /*file_size*/) {
    period_shown_ = false;
    log_.clear();
    tail_.clear();
    chart_->show_log(log_);
    caught_up_ = false;
    pages_->setCurrentWidget(chart_);
    unreadable_->hide();
    chart_->set_loading(true);
    chart_->data_changed();
}

void history_window::on_tail(const std::shared_ptr<const log_batch>& tail) {
    tail_.clear();
    tail_.splice(0, *tail->blocks);
    chart_->show_log(tail_);
    // The days asked for, whole; shown again on the whole log.
    if (tail->period && pending_range_) {
        period_shown_ = true;
        show_pending_range(true);
    }
}

void history_window::on_batch(const std::shared_ptr<const log_batch>& batch) {
    log_.splice(batch->from, *batch->blocks);
    if (!caught_up_ && batch->file_size > 0 && batch->bytes_read < batch->file_size) {
        progress_->setValue(static_cast<int>(batch->bytes_read * 1000 / batch->file_size));
        progress_->show();
    }
    QString problems;
    if (batch->unreadable > 0)
        problems = batch->unreadable == 1
                       ? QStringLiteral("1 line could not be read")
                       : QStringLiteral("%1 lines could not be read").arg(batch->unreadable);
    unreadable_->setText(problems);
    unreadable_->setVisible(!problems.isEmpty());
    if (&chart_->shown() == &log_)
        chart_->data_changed();
}

void history_window::on_caught_up() {
    caught_up_ = true;
    progress_->hide();
    chart_->show_log(log_);
    tail_.clear();
    chart_->set_loading(false);
    show_pending_range();
}

void history_window::show_dates(const chart::date_range& dates) {
    chart::local_clock clock;
    const chart::report_period p = chart::period_of_dates(dates, clock);
    pending_range_ = {double(p.start), double(p.end - 1)};
    if (caught_up_)
        show_pending_range();
}

void history_window::show_pending_range(bool keep) {
    if (!pending_range_)
        return;
    placing_ = true;
    chart_->show_range(pending_range_->first, pending_range_->second);
    placing_ = false;
    if (!keep)
        pending_range_.reset();
}

void history_window::on_painted() {
    if (!data_draw_sent_ && !chart_->shown().empty()) {
        data_draw_sent_ = true;
        QTimer::singleShot(0, this, &history_window::first_data_draw);
    }
    if (!first_draw_sent_ && (caught_up_ ? chart_->settled() : period_shown_ && chart_->drawn())) {
        first_draw_sent_ = true;
        // Told after the paint has finished, so that a listener may paint.
        QTimer::singleShot(0, this, &history_window::first_full_draw);
    }
}

QString history_window::range_text() const {
    if (log_.empty())
        return {};
    return time_text(chart_->from()) + QStringLiteral("  \u2013  ") + time_text(chart_->to());
}

void history_window::update_summary() {
    for (int sensor = 0; sensor < 2; ++sensor)
        summary_[sensor]->setText(
            summary_text(chart_->settings().names[sensor], chart_->summary()[sensor]));
    chart_->setAccessibleDescription(chart_description(chart_->from(), chart_->to(),
                                                       chart_->shown(), chart_->summary(),
                                                       chart_->settings().names));
    if (chart_->hover_text().isEmpty())
        readout_->setText(range_text());
}

void history_window::update_hover(const QString& text) {
    readout_->setText(text.isEmpty() ? range_text() : text);
}

void history_window::check_settings() {
    const QFileInfo ini(QDir(ini_path_).filePath(QStringLiteral("Tarnwick.INI")));
    const QDateTime stamp = ini.exists() ? ini.lastModified() : QDateTime();
    const qint64 size = ini.exists() ? ini.size() : -1;
    if (stamp == ini_stamp_ && size == ini_size_)
        return;
    ini_stamp_ = stamp;
    ini_size_ = size;
    const log_settings s = read_log_settings(ini_path_);
    if (!(s == chart_->settings()) || size < 0)
        chart_->set_settings(s);
    // The summaries are made under the settings too.
    QMetaObject::invokeMethod(
        reader_, [reader = reader_, s] { reader->set_settings(s); }, Qt::QueuedConnection);
}

void history_window::save_image() {
    const QString path =
        prompts_->save_path(QStringLiteral("Save image"),
                            QDir::current().filePath(QStringLiteral("kestrova-history.png")),
                            QStringLiteral("PNG image (*.png);;SVG image (*.svg)"));
    if (path.isEmpty())
        return;
    chart_->set_hover_visible(false);
    const rules::result saved = history::save_image(*chart_, path);
    chart_->set_hover_visible(true);
    if (!saved)
        prompts_->failed(QStringLiteral("The image could not be saved to %1.")
                             .arg(QDir::toNativeSeparators(path)),
                         saved.why());
}

void history_window::export_csv() {
    const QString path =
        prompts_->save_path(QStringLiteral("Export CSV"),
                            QDir::current().filePath(QStringLiteral("kestrova-history.csv")),
                            QStringLiteral("CSV file (*.csv)"));
    if (path.isEmpty())
        return;
    const rules::result exported =
        history::export_csv(chart_->shown(), chart_->from(), chart_->to(), path);
    if (!exported)
        prompts_->failed(QStringLiteral("The readings could not be exported to %1.")
                             .arg(QDir::toNativeSeparators(path)),
                         exported.why());
}

void history_window::write_report() {
    chart::local_clock clock;
    const auto date_at = [&clock](double t) {
        return QDate::fromString(chart::minute_text(static_cast<std::int64_t>(t), clock).left(10),
                                 Qt::ISODate);
    };
    const report_choice suggestion{false, {date_at(chart_->from()), date_at(chart_->to())}, false};
    const chart::shown_span shown =
        chart::round_shown(static_cast<std::int64_t>(std::floor(chart_->from())),
                           static_cast<std::int64_t>(std::floor(chart_->to())) + 1, clock);
    const auto choice = prompts_->choose_report(suggestion, chart::shown_text(shown, clock));
    if (!choice)
        return;
    report_request request;
    request.log_path = log_path_;
    request.dates = choice->whole_days ? std::optional(choice->dates) : shown.days;
    request.start = shown.start;
    request.end = shown.end;
    request.made_at = QDateTime::currentSecsSinceEpoch();
    request.host = QSysInfo::machineHostName();
    QString problem;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const std::unique_ptr<report> r = make_report(request, problem);
    QGuiApplication::restoreOverrideCursor();
    if (!r) {
        prompts_->failed(QStringLiteral("No report could be made."), problem);
        return;
    }
    if (choice->print) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageLayout(report_page_layout());
        printer.setDocName(r->content.footer);
        if (prompts_->choose_printer(printer) && !paint_report(*r, printer))
            prompts_->failed(QStringLiteral("The report could not be printed."),
                             QStringLiteral("The printer could not be started."));
        return;
    }
    const QString path = prompts_->save_path(QStringLiteral("Save report"),
                                             QDir::current().filePath(report_file_name(*r)),
                                             QStringLiteral("PDF document (*.pdf)"));
    if (path.isEmpty())
        return;
    const rules::result written = write_report_pdf(*r, path);
    if (!written)
        prompts_->failed(QStringLiteral("The report could not be saved to %1.")
                             .arg(QDir::toNativeSeparators(path)),
                         written.why());
}

} // namespace history
