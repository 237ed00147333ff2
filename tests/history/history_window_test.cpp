// The history window as a user meets it, offscreen: on a small log, on a
// missing one, following new lines, with the range buttons and the mouse,
// and saving what it shows.

#include "history/history_chart.h"
#include "history/history_window.h"
#include "history_files.h"
#include "support/build_paths.h"
#include "support/files.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

using history::history_window;

// Answers the save and report dialogs with prepared answers, prints into
// a PDF, and keeps what failed.
class scripted_prompts : public history::file_prompts {
public:
    QString answer;
    QStringList failures;
    std::optional<history::report_choice> report;
    history::report_choice suggested;
    QString printed_to;
    QString save_path(const QString&, const QString&, const QString&) override { return answer; }
    void failed(const QString& text, const QString& reason) override {
        failures << text + u' ' + reason;
    }
    std::optional<history::report_choice> choose_report(const history::report_choice& suggestion,
                                                        const QString&) override {
        suggested = suggestion;
        return report;
    }
    bool choose_printer(QPrinter& printer) override {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printed_to);
        return true;
    }
};

class window_test : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        log = dir.filePath(QStringLiteral("TARNWICK.txt"));
        QLocale::setDefault(QLocale::c());
    }

    history_window& open() {
        auto p = std::make_unique<scripted_prompts>();
        prompts = p.get();
        window = std::make_unique<history_window>(log, std::move(p));
        window->show();
        return *window;
    }

    QString text_of(const char* name) const {
        auto* label = window->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<no label %1>").arg(name);
    }

    QPoint plot_point(double fraction_x) {
        const QRectF area = window->chart().chart()->plotArea();
        return QPointF(area.left() + fraction_x * area.width(), area.center().y()).toPoint();
    }

    QTemporaryDir dir;
    QString log;
    scripted_prompts* prompts = nullptr;
    std::unique_ptr<history_window> window;
    // Two hours at 5 s, sensor 1 climbing from 20 ºC.
    const QDateTime t0 = QDateTime::currentDateTime().addSecs(-7200);
};

TEST_F(window_test, small_log_shows_figures_thresholds_and_what_could_not_be_read) {
    ASSERT_TRUE(write_file(log, log_lines(t0, 10) + "bad\r\n" + "worse\r\n" +
                                    log_lines(t0.addSecs(50), 2, 5, 50) + "half"));
    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")), settings_text()));
    auto& w = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    const QString expected = QStringLiteral("Sensor 1: min 20, mean 28.8, max 51 \u00B0C; "
                                            "above high 16.7 %, below low 0.0 %");
    (void)QTest::qWaitFor([&] { return text_of("summary1") == expected; });
    EXPECT_EQ(text_of("summary1"), expected);
    EXPECT_EQ(text_of("summary2"), QStringLiteral("Sensor 2: min 30, mean 30.0, max 30 \u00B0C"));
    EXPECT_EQ(text_of("unreadable"), QStringLiteral("3 lines could not be read"));
    EXPECT_TRUE(w.chart().settings().limits[0].high);
    EXPECT_FALSE(w.chart().settings().limits[1].high); // its alarm switch is off
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The names the monitor gives its sensors label the chart, its figures and
// its readout (the chart mailed with an alarm too).
TEST_F(window_test, the_sensors_names_label_the_chart) {
    ASSERT_TRUE(write_file(log, log_lines(t0, 10)));
    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
                           settings_text() + "[Alarm]\r\nname1=Freezer A\r\n"));
    auto& w = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    (void)QTest::qWaitFor([&] { return text_of("summary1").startsWith(u"Freezer A: min 20"); });
    EXPECT_TRUE(text_of("summary1").startsWith(u"Freezer A: min 20"))
        << text_of("summary1").toStdString();
    EXPECT_TRUE(text_of("summary2").startsWith(u"Sensor 2: min 30"));
    const QList<QAbstractSeries*> legend = w.chart().chart()->series();
    ASSERT_GE(legend.size(), 2);
    EXPECT_EQ(legend[0]->name(), QStringLiteral("Freezer A"));
    EXPECT_EQ(legend[1]->name(), QStringLiteral("Sensor 2"));
    EXPECT_TRUE(w.chart().accessibleDescription().contains(u" Freezer A: latest "));
}

TEST_F(window_test, missing_log_is_said_in_the_window_and_followed_once_it_appears) {
    auto& w = open();
    (void)QTest::qWaitFor([&] {
        return text_of("message") ==
               QStringLiteral("No data log at %1 yet").arg(QDir::toNativeSeparators(log));
    });
    ASSERT_EQ(text_of("message"),
              QStringLiteral("No data log at %1 yet").arg(QDir::toNativeSeparators(log)));
    auto* pages = w.findChild<QStackedWidget*>();
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("message"));
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<QMessageBox*>(top), nullptr);

    ASSERT_TRUE(write_file(log, log_lines(t0, 4)));
    (void)QTest::qWaitFor([&] { return w.log().points() == 4u; });
    ASSERT_EQ(w.log().points(), 4u);
    EXPECT_EQ(pages->currentWidget(), &w.chart());
}

TEST_F(window_test, appended_lines_appear_while_the_latest_is_shown) {
    ASSERT_TRUE(write_file(log, log_lines(t0, 20)));
    auto& w = open();
    (void)QTest::qWaitFor([&] { return w.log().points() == 20u; });
    ASSERT_EQ(w.log().points(), 20u);
    {
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(log_lines(t0.addSecs(100), 1, 5, 99));
    }
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return text_of("summary1").contains(QStringLiteral("max 99")); }));
    EXPECT_EQ(w.chart().to(), w.log().last_time());
}

TEST_F(window_test, a_line_dated_far_ahead_leaves_the_latest_views_on_the_readings) {
    const QDateTime stray(QDate(2100, 1, 1), QTime(12, 0));
    ASSERT_TRUE(write_file(log, log_lines(t0, 1000) + log_lines(stray, 1, 5, 77) +
                                    log_lines(t0.addSecs(5000), 10)));
    auto& w = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    history::history_chart& chart = w.chart();
    w.findChild<QAction*>(QStringLiteral("range_1h"))->trigger();
    EXPECT_EQ(chart.to(), t0.addSecs(5045).toSecsSinceEpoch());
    EXPECT_EQ(chart.to() - chart.from(), 3600);
    EXPECT_TRUE(chart.follows_latest());

    // A line appended later shows, and the view moves along to it.
    {
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(log_lines(t0.addSecs(7000), 1, 5, 99));
    }
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return text_of("summary1").contains(QStringLiteral("max 99")); }));
    EXPECT_EQ(chart.to(), t0.addSecs(7000).toSecsSinceEpoch());

    // A range longer than the log shows it from its first line, to the
    // latest reading still, not on into empty days up to the stray line.
    w.findChild<QAction*>(QStringLiteral("range_7d"))->trigger();
    EXPECT_EQ(chart.to(), t0.addSecs(7000).toSecsSinceEpoch());
    EXPECT_EQ(chart.from(), t0.toSecsSinceEpoch());
}

TEST_F(window_test, a_large_log_read_from_its_last_week_ends_on_the_whole_log_in_that_view) {
    const qint64 end = QDateTime::currentSecsSinceEpoch() - 7200;
    ASSERT_TRUE(write_file(log, lines_from(end - 40LL * 86400, 40 * 17280))); // 21 MB
    auto& w = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up() && w.chart().settled(); }, 20000));
    EXPECT_EQ(&w.chart().shown(), &w.log());
    EXPECT_EQ(w.log().points(), 40u * 17280);
    EXPECT_EQ(w.chart().to() - w.chart().from(), 7 * 86400);
    EXPECT_TRUE(w.findChild<QAction*>(QStringLiteral("range_7d"))->isChecked());
}

TEST_F(window_test, range_buttons_wheel_drag_and_double_click_move_the_view) {
    ASSERT_TRUE(write_file(log, log_lines(t0, 1440))); // two hours
    auto& w = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    history::history_chart& chart = w.chart();
    // The last week first, here all of it.
    (void)QTest::qWaitFor([&] { return chart.to() - chart.from() == 7195.0; });
    ASSERT_EQ(chart.to() - chart.from(), 7195.0);
    EXPECT_TRUE(w.findChild<QAction*>(QStringLiteral("range_7d"))->isChecked());

    auto* hour = w.findChild<QAction*>(QStringLiteral("range_1h"));
    hour->trigger();
    EXPECT_EQ(chart.to() - chart.from(), 3600);
    EXPECT_EQ(chart.to(), w.log().last_time());
    EXPECT_TRUE(hour->isChecked());
    // The time axis is labelled at round local times, not at even fractions.
    ASSERT_TRUE(QTest::qWaitFor([&] { return chart.settled(); }));
    ASSERT_GE(chart.ticks().size(), 3u);
    for (const chart::time_tick& tick : chart.ticks()) {
        const QTime at = QDateTime::fromSecsSinceEpoch(tick.time).time();
        EXPECT_EQ(at.minute() % 5 + at.second(), 0) << qPrintable(tick.label);
    }

    // The wheel zooms in around the pointer: the time under it stays put.
    QWidget* vp = chart.viewport();
    const QPoint p = plot_point(0.25);
    const double before = chart.from() + 0.25 * (chart.to() - chart.from());
    QWheelEvent wheel(p, vp->mapToGlobal(p), {}, {0, 240}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(vp, &wheel);
    EXPECT_NEAR(chart.to() - chart.from(), 3600 / 1.5625, 1);
    EXPECT_NEAR(chart.from() + 0.25 * (chart.to() - chart.from()), before, 5);
    EXPECT_FALSE(hour->isChecked());
    EXPECT_FALSE(chart.follows_latest());

    // Dragging to the right shows earlier readings.
    const double from = chart.from();
    QTest::mousePress(vp, Qt::LeftButton, {}, plot_point(0.5));
    QTest::mouseMove(vp, plot_point(0.7));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, plot_point(0.7));
    EXPECT_NEAR(from - chart.from(), 0.2 * (chart.to() - chart.from()), 5);

    QTest::mouseDClick(vp, Qt::LeftButton, {}, plot_point(0.5));
    EXPECT_EQ(chart.from(), w.log().first_time());
    EXPECT_EQ(chart.to(), w.log().last_time());
}

TEST_F(window_test, every_action_is_reached_by_tab_and_by_a_key_and_the_chart_says_what_it_shows) {
    ASSERT_TRUE(write_file(log, log_lines(t0, 40))); // sensor 1 from 20 to 59 ºC
    auto& w = open();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    const auto action = [&w](const char* name) {
        return w.findChild<QAction*>(QString::fromLatin1(name));
    };
    const auto focused = [] {
        QWidget* f = QApplication::focusWidget();
        auto* button = qobject_cast<QToolButton*>(f);
        if (button && button->defaultAction())
            return button->defaultAction()->objectName();
        return f ? f->objectName() : QStringLiteral("nothing");
    };
    auto* bar = w.findChild<QToolBar*>(QStringLiteral("toolbar"));
    bar->widgetForAction(action("range_1h"))->setFocus();
    QStringList order{focused()};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << focused();
    }
    EXPECT_EQ(order.join(u' '),
              QStringLiteral("range_1h range_24h range_7d range_all save_image export_csv report "
                             "chart"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(prompts->suggested.dates.from.isValid()) << "Space on Report asks for one";

    const struct {
        Qt::Key key;
        const char* range;
    } ranges[] = {{Qt::Key_1, "range_1h"},
                  {Qt::Key_2, "range_24h"},
                  {Qt::Key_3, "range_7d"},
                  {Qt::Key_0, "range_all"}};
    for (const auto& r : ranges) {
        QTest::keyClick(&w, r.key, Qt::ControlModifier);
        EXPECT_TRUE(action(r.range)->isChecked()) << r.range;
    }
    for (const auto& [key, file] : {std::pair{Qt::Key_E, "keys.csv"}, {Qt::Key_S, "keys.png"}}) {
        prompts->answer = dir.filePath(QString::fromLatin1(file));
        QTest::keyClick(&w, key, Qt::ControlModifier);
        EXPECT_TRUE(QFile::exists(prompts->answer)) << file;
    }

    // The chart's text alternative: the time shown, each sensor's latest
    // reading, and its lowest and highest in that time.
    QAccessibleInterface* chart = QAccessible::queryAccessibleInterface(&w.chart());
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->text(QAccessible::Name), QStringLiteral("Temperature chart"));
    // The first half: the latest reading is not in it.
    w.chart().show_range(w.chart().from(), w.chart().from() + 100);
    const QString said =
        QString::fromUtf8("Sensor 1: latest 59 \u00B0C; lowest 20 \u00B0C, highest 4");
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return chart->text(QAccessible::Description).contains(said);
    })) << chart->text(QAccessible::Description).toStdString();
    EXPECT_TRUE(chart->text(QAccessible::Description)
                    .endsWith(QString::fromUtf8("Sensor 2: latest 30 \u00B0C; lowest 30 \u00B0C, "
                                                "highest 30 \u00B0C in this time.")));
    EXPECT_TRUE(chart->text(QAccessible::Description)
                    .startsWith(QStringLiteral("Readings from %1 to %2.")
                                    .arg(history::time_text(w.chart().from()),
                                         history::time_text(w.chart().to()))));
}

TEST_F(window_test, pointer_over_the_chart_reads_out_time_and_both_readings) {
    ASSERT_TRUE(write_file(log, log_lines(t0, 3, 60) + rules::datalog::log_line(
                                                           t0.addSecs(180), QStringLiteral(" - - "),
                                                           QStringLiteral("31\u00BAC"))));
    auto& w = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.chart().settled(); }));
    QTest::mouseMove(w.chart().viewport(), plot_point(0.0));
    EXPECT_EQ(text_of("readout"),
              history::time_text(w.log().first_time()) +
                  QStringLiteral("   Sensor 1: 20 \u00B0C   Sensor 2: 30 \u00B0C"));
    QTest::mouseMove(w.chart().viewport(), plot_point(1.0));
    EXPECT_TRUE(
        text_of("readout").endsWith(QStringLiteral("Sensor 1: - -   Sensor 2: 31 \u00B0C")));
}

TEST_F(window_test, exports_the_visible_readings_and_saves_pictures) {
    ASSERT_TRUE(write_file(
        log, log_lines(t0, 1440) +
                 rules::datalog::log_line(t0.addSecs(7200), {}, QStringLiteral("5\u00BAC"))));
    auto& w = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    w.findChild<QAction*>(QStringLiteral("range_1h"))->trigger();

    prompts->answer = dir.filePath(QStringLiteral("out.csv"));
    w.export_csv();
    const QList<QByteArray> lines = read_file(prompts->answer).split('\n');
    ASSERT_EQ(lines.size(), 1 + 721 + 1); // header, an hour of lines, nothing after the last CR LF
    EXPECT_EQ(lines[0], "time,sensor1,sensor2\r");
    const QDateTime last = t0.addSecs(7200);
    const int off = last.offsetFromUtc() / 60;
    const QString offset = QStringLiteral("%1%2:%3")
                               .arg(off < 0 ? QStringLiteral("-") : QStringLiteral("+"))
                               .arg(std::abs(off) / 60, 2, 10, QChar(u'0'))
                               .arg(std::abs(off) % 60, 2, 10, QChar(u'0'));
    EXPECT_EQ(QString::fromLatin1(lines[721]),
              last.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + offset +
                  QStringLiteral(",,5\r"));

    prompts->answer = dir.filePath(QStringLiteral("chart.png"));
    w.save_image();
    EXPECT_TRUE(read_file(prompts->answer).startsWith("\x89PNG\r\n"));
    prompts->answer = dir.filePath(QStringLiteral("chart.svg"));
    w.save_image();
    EXPECT_TRUE(read_file(prompts->answer).contains("<svg"));
    EXPECT_TRUE(prompts->failures.isEmpty());

    prompts->answer = dir.filePath(QStringLiteral("no/such/dir/out.csv"));
    w.export_csv();
    ASSERT_EQ(prompts->failures.size(), 1);
    EXPECT_TRUE(
        prompts->failures[0].startsWith(QStringLiteral("The readings could not be exported")));
}

TEST_F(window_test, exports_onto_a_full_disk_keep_the_old_files_and_say_why) {
    ASSERT_TRUE(write_file(log, log_lines(t0, 1440)));
    auto& w = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    const QString full = dir.filePath(QStringLiteral("full"));
    ASSERT_TRUE(QDir().mkpath(full));
    const QStringList names = {QStringLiteral("out.csv"), QStringLiteral("chart.svg"),
                               QStringLiteral("chart.png")};
    const auto export_all = [&] {
        for (const QString& name : names) {
            prompts->answer = QDir(full).filePath(name);
            if (name.endsWith(QLatin1StringView("csv")))
                w.export_csv();
            else
                w.save_image();
        }
    };

    // A small file system filled up to its last byte; where this process
    // may not mount one, a file size limit below any new file's size, with
    // its signal ignored so that write() fails instead.
    const QByteArray mount_point = QFile::encodeName(full);
    const bool mounted = ::mount("tmpfs", mount_point.constData(), "tmpfs", 0, "size=1m") == 0;
    struct unmount {
        bool mounted;
        QByteArray at;
        ~unmount() {
            if (mounted)
                ::umount2(at.constData(), MNT_DETACH);
        }
    } unmount_at_end{mounted, mount_point};
    for (const QString& name : names)
        ASSERT_TRUE(write_file(QDir(full).filePath(name), "good " + name.toUtf8()));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    if (mounted) {
        QFile filler(QDir(full).filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'f')) > 0) {
        }
    } else {
        rlimit tight = saved;
        tight.rlim_cur = 256;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    }
    export_all();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    const QString reason = qt_error_string(mounted ? ENOSPC : EFBIG);
    ASSERT_EQ(prompts->failures.size(), 3) << prompts->failures.join(u'\n').toStdString();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(prompts->failures[i].endsWith(u' ' + reason))
            << prompts->failures[i].toStdString();
        EXPECT_EQ(read_file(QDir(full).filePath(names[i])), "good " + names[i].toUtf8());
    }
    QStringList left = names;
    if (mounted)
        left << QStringLiteral("filler");
    left.sort();
    EXPECT_EQ(QDir(full).entryList(QDir::Files, QDir::Name), left) << "a temporary file was left";

    // With room again, the same exports replace the files.
    if (mounted) {
        ASSERT_TRUE(QFile::remove(QDir(full).filePath(QStringLiteral("filler"))));
    }
    prompts->failures.clear();
    export_all();
    EXPECT_TRUE(prompts->failures.isEmpty()) << prompts->failures.join(u'\n').toStdString();
    EXPECT_TRUE(read_file(QDir(full).filePath(names[1])).contains("<svg"));
}

TEST_F(window_test, reports_the_time_shown_or_whole_days_to_a_file_or_a_printer) {
    ASSERT_TRUE(write_file(log, log_lines(t0, 1440)));
    auto& w = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    const QDate today = QDate::currentDate();
    prompts->report = history::report_choice{false, {}, false};
    prompts->answer = dir.filePath(QStringLiteral("shown.pdf"));
    QTest::keyClick(&w, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(prompts->suggested.dates.to, today);
    EXPECT_TRUE(read_file(prompts->answer).startsWith("%PDF-"));

    prompts->report = history::report_choice{true, {today, today}, true};
    prompts->printed_to = dir.filePath(QStringLiteral("printed.pdf"));
    w.write_report();
    EXPECT_TRUE(read_file(prompts->printed_to).startsWith("%PDF-"));

    // Saved where it cannot be: said, and nothing left behind.
    prompts->report = history::report_choice{false, {}, false};
    prompts->answer = dir.filePath(QStringLiteral("no/such/dir/report.pdf"));
    w.write_report();
    ASSERT_EQ(prompts->failures.size(), 1);
    EXPECT_TRUE(prompts->failures[0].startsWith(QStringLiteral("The report could not be saved")));
}

// As --from and --to give them: a day inside the log, not its last.
TEST_F(window_test, given_dates_are_shown_once_the_log_is_read) {
    const QDateTime midnight(QDate::currentDate().addDays(-2), QTime(0, 0));
    ASSERT_TRUE(write_file(log, log_lines(midnight.addDays(-1), 3 * 1440, 60)));
    auto& w = open();
    w.show_dates({midnight.date(), midnight.date()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.caught_up(); }));
    EXPECT_EQ(qint64(w.chart().from()), midnight.toSecsSinceEpoch());
    EXPECT_EQ(qint64(w.chart().to()), midnight.addDays(1).toSecsSinceEpoch() - 1);
}

// Opened on a day of a long log: that day is drawn whole at once, and the
// rest of the log is read only when another view asks for it.
TEST_F(window_test, given_days_are_drawn_first_and_the_rest_read_when_a_view_needs_it) {
    const QDate day = QDate::currentDate().addDays(-10);
    const qint64 first = QDateTime(day.addDays(-10), QTime(0, 0)).toSecsSinceEpoch();
    ASSERT_TRUE(write_file(log, lines_from(first, 20 * 17280)));
    auto p = std::make_unique<scripted_prompts>();
    window = std::make_unique<history_window>(log, chart::date_range{day, day}, std::move(p));
    QSignalSpy drawn(window.get(), &history_window::first_full_draw);
    window->show();
    ASSERT_TRUE(drawn.wait(60000));
    const double midnight = static_cast<double>(QDateTime(day, QTime(0, 0)).toSecsSinceEpoch());
    EXPECT_EQ(window->chart().from(), midnight);
    EXPECT_EQ(window->chart().to(), midnight + 86399);
    EXPECT_TRUE(window->chart().summary()[0].any);
    EXPECT_FALSE(window->caught_up());
    EXPECT_EQ(window->log().points(), 0u);

    window->findChild<QAction*>(QStringLiteral("range_all"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(window->caught_up() && window->chart().settled(), 60000);
    EXPECT_EQ(window->log().points(), 20u * 17280);
    EXPECT_EQ(window->chart().from(), window->log().first_time());
}

TEST(history_program, draws_a_log_and_a_missing_one_and_exits_on_request) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("TARNWICK.txt"));
    ASSERT_TRUE(write_file(log, log_lines(QDateTime::currentDateTime(), 50)));
    for (const QString& file : {log, dir.filePath(QStringLiteral("missing.txt"))}) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QString::fromUtf8(build_paths::history),
                {QStringLiteral("--exit-after-first-draw"), file});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0);
        // Readings on screen first, where there are any.
        const QByteArray out = p.readAllStandardOutput();
        EXPECT_TRUE(file == log ? out.startsWith("readings drawn after") &&
                                      out.contains("\nfirst chart drawn after")
                                : out.startsWith("first chart drawn after"))
            << out.toStdString();
    }
}

} // namespace
