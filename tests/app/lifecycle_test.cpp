#include "app/kestrova_app.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "controls/updown.h"
#include "portselect/frmselect.h"
#include "serial/comm_control.h"
#include "serial/port_probe.h"
#include "support/build_paths.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/private_bus.h"
#include "support/pty.h"
#include "support/recording_prompts.h"

#include "controls/timer.h"
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <signal.h>

namespace {

// The selection window's own controls, as the operator reaches them.
QComboBox* combo_of(const portselect::frmselect* sel) {
    return sel->findChild<QComboBox*>(QStringLiteral("Combo1"));
}
QPushButton* ok_of(const portselect::frmselect* sel) {
    return sel->findChild<QPushButton*>(QStringLiteral("command1"));
}

// A working directory whose settings file maps the four port numbers to
// ptys ("pty") or to paths that do not exist ("-").
struct lifecycle_fixture : ::testing::Test {
    QTemporaryDir dir;
    recording_prompts ask;
    pty_pair ptys[4];
    std::unique_ptr<app::kestrova_app> app;

    QString ini_path() const { return dir.filePath(QStringLiteral("Tarnwick.INI")); }
    QString missing(int p) const { return dir.filePath(QStringLiteral("no-such-tty%1").arg(p)); }

    void write_settings(const char* layout, const QByteArray& vez = {}) {
        QByteArray ini = "[Ports]\r\n";
        for (int p = 1; p <= 4; ++p) {
            const bool present = layout[p - 1] == 'p';
            ini += QByteArray::number(p) + '=' +
                   (present ? ptys[p - 1].slave_path() : missing(p)).toLocal8Bit() + "\r\n";
        }
        if (!vez.isEmpty())
            ini += "[VEZ]\r\n" + vez;
        ASSERT_TRUE(write_file(ini_path(), ini));
    }

    app::kestrova_app& start() {
        // A short reopen interval: the retries are counted, not timed.
        app = std::make_unique<app::kestrova_app>(app::window_seams{
            .ask = ask, .work_dir = dir.path(), .reopen_interval = std::chrono::milliseconds(20)});
        return *app;
    }
    const app::thermometer_controls& ui() { return app->window().ui(); }
};

} // namespace

TEST_F(lifecycle_fixture, no_port_at_all_says_so_and_ends_without_saving) {
    write_settings("----");
    const QByteArray before = read_file(ini_path());
    EXPECT_FALSE(start().load());
    EXPECT_TRUE(app->ended());
    ASSERT_EQ(ask.messages, QStringList{QStringLiteral("There is No Comm Port on this Computer")});
    EXPECT_TRUE(ask.last_details.contains(QLatin1String("no such device")));
    EXPECT_EQ(read_file(ini_path()), before);
    EXPECT_EQ(combo_of(app->selector())->count(), 0);
}

TEST_F(lifecycle_fixture, first_start_asks_for_a_port_and_keeps_the_choice) {
    write_settings("pppp");
    ASSERT_TRUE(start().load());
    portselect::frmselect* sel = app->selector();
    // The selection window is up and the main window hidden.
    EXPECT_TRUE(app->window().isHidden());
    ASSERT_NE(sel, nullptr);
    EXPECT_TRUE(sel->isVisible());
    EXPECT_EQ(ui().Timer1->interval(), 5000) << "no option saved: the restore clears Option8";
    EXPECT_TRUE(ui().Timer1->enabled());
    EXPECT_EQ(ui().Shape3->fill_color(), QColor(Qt::white));
    EXPECT_EQ(ui().Shape10->fill_color(), QColor(Qt::white));

    // OK without a choice only complains.
    QTest::mouseClick(ok_of(sel), Qt::LeftButton);
    EXPECT_EQ(ask.messages, QStringList{QStringLiteral(" Please select a Port")});
    EXPECT_TRUE(sel->isVisible());

    combo_of(sel)->setCurrentIndex(2);
    QTest::mouseClick(ok_of(sel), Qt::LeftButton);
    EXPECT_EQ(ui().Text7->text(), QLatin1String("3"));
    EXPECT_EQ(ui().Label8->text(), QLatin1String("3"));
    EXPECT_TRUE(ui().MSComm1->port_open());
    EXPECT_EQ(ui().MSComm1->comm_port(), 3);
    EXPECT_FALSE(sel->isVisible());
    EXPECT_TRUE(app->window().isVisible());
    EXPECT_TRUE(read_file(ini_path()).contains("frm_thermometer.Text7.text=3\r\n"));
    EXPECT_TRUE(read_file(ini_path()).contains(ptys[0].slave_path().toLocal8Bit()))
        << "the port map is kept";
}

TEST_F(lifecycle_fixture, a_saved_port_is_opened_and_the_window_shown) {
    write_settings("p-p-", "frm_thermometer.Text7.text=3\r\nfrm_thermometer.Option6.value=1\r\n"
                           "frm_thermometer.Check2.value=1\r\n");
    ASSERT_TRUE(start().load());
    EXPECT_TRUE(ui().MSComm1->port_open());
    EXPECT_EQ(ui().MSComm1->comm_port(), 3);
    EXPECT_EQ(ui().Label8->text(), QLatin1String("3"));
    EXPECT_TRUE(app->window().isVisible());
    EXPECT_TRUE(ui().Timer1->enabled());
    EXPECT_EQ(ui().Timer1->interval(), 60000);
    EXPECT_TRUE(ui().Timer2->enabled());
    EXPECT_FALSE(ui().Timer3->enabled());
    EXPECT_EQ(ui().Shape3->fill_color(), QColor(0x00, 0x80, 0x00)) << "lit lamps wait for a tick";
    EXPECT_EQ(ui().Shape9->fill_color(), QColor(Qt::white));
    ASSERT_NE(app->selector(), nullptr);
    EXPECT_FALSE(app->selector()->isVisible());
    EXPECT_EQ(combo_of(app->selector())->count(), 2);

    ASSERT_TRUE(ptys[2].write(QByteArray("\xFE\x19", 2)));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ui().Text2->text() == QString::fromUtf8("25\u00BAC"); }, 5000));
}

TEST_F(lifecycle_fixture, with_every_port_present_the_selection_window_is_not_loaded) {
    write_settings("pppp", "frm_thermometer.Text7.text=4\r\n");
    ASSERT_TRUE(start().load());
    EXPECT_EQ(app->selector(), nullptr);
    EXPECT_EQ(ui().MSComm1->comm_port(), 4);
}

TEST_F(lifecycle_fixture, a_saved_port_text_goes_to_the_control_or_leaves_the_probes_port) {
    // A number the control takes (1 to 16) is tried, and one without a device
    // fails quietly; a number it refuses, or any other text, leaves the port
    // the probe tried last (1), which opens when it can.
    const struct {
        const char* text;
        const char* layout;
        int port;
        bool opens;
    } rows[] = {{"COM9", "pppp", 1, true},  {"Select", "pppp", 1, true}, {"5", "p-p-", 5, false},
                {"9", "pppp", 9, false},    {"16", "pppp", 16, false},   {"17", "pppp", 1, true},
                {"99999", "pppp", 1, true}, {"0", "-ppp", 1, false},     {"-2", "pppp", 1, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        app.reset();
        write_settings(row.layout, QByteArray("frm_thermometer.Text7.text=") + row.text + "\r\n");
        ASSERT_TRUE(start().load());
        EXPECT_EQ(ui().MSComm1->comm_port(), row.port);
        EXPECT_EQ(ui().MSComm1->port_open(), row.opens);
        EXPECT_EQ(ui().Label8->text(), QLatin1String(row.text));
        EXPECT_EQ(ui().Text7->text(), QLatin1String(row.text));
        EXPECT_TRUE(app->window().isVisible());
        EXPECT_TRUE(app->selector() == nullptr || !app->selector()->isVisible());
        EXPECT_TRUE(ask.messages.isEmpty());
    }
    // Closing the selection after Change Port keeps the program running.
    QTest::mouseClick(ui().Command5, Qt::LeftButton);
    app->selector()->close();
    EXPECT_FALSE(app->ended());
    EXPECT_TRUE(app->window().isVisible());
}

TEST_F(lifecycle_fixture, a_first_start_without_a_display_says_so_and_ends_without_saving) {
    write_settings("pppp");
    const QByteArray before = read_file(ini_path());
    ask.with_display = false;
    EXPECT_FALSE(start().load());
    EXPECT_TRUE(app->ended());
    EXPECT_EQ(ask.messages,
              QStringList{QStringLiteral("no port chosen: set "
                                         "frm_thermometer.Text7.text in Tarnwick.INI, "
                                         "or start once with a display")});
    EXPECT_TRUE(app->selector() == nullptr || !app->selector()->isVisible());
    EXPECT_FALSE(ui().Timer1->ticking());
    EXPECT_EQ(read_file(ini_path()), before);
}

TEST_F(lifecycle_fixture, exit_asks_and_on_ok_saves_once_and_closes_the_port) {
    write_settings("p---", "frm_thermometer.Text7.text=1\r\n");
    ASSERT_TRUE(start().load());
    QSignalSpy finished(app.get(), &app::kestrova_app::finished);
    ASSERT_TRUE(QFile::remove(ini_path()));

    ask.answer_ok = false;
    QTest::mouseClick(ui().Command7, Qt::LeftButton);
    EXPECT_EQ(ask.questions, QStringList{QStringLiteral("Do you want to Exit")});
    EXPECT_FALSE(QFile::exists(ini_path()));
    EXPECT_TRUE(ui().MSComm1->port_open());
    EXPECT_EQ(finished.count(), 0);

    ask.answer_ok = true;
    QTest::mouseClick(ui().Command7, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(ini_path()));
    EXPECT_FALSE(ui().MSComm1->port_open());
    EXPECT_EQ(finished.count(), 1);

    // The windows going away afterwards do not save a second time.
    ASSERT_TRUE(QFile::remove(ini_path()));
    app->window().close();
    app->unload();
    EXPECT_FALSE(QFile::exists(ini_path()));
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(lifecycle_fixture, the_close_box_saves_without_a_question) {
    write_settings("p---", "frm_thermometer.Text7.text=1\r\n");
    ASSERT_TRUE(start().load());
    QSignalSpy finished(app.get(), &app::kestrova_app::finished);
    ui().Text3->setText(QStringLiteral("42"));
    app->window().close();
    EXPECT_TRUE(ask.questions.isEmpty());
    EXPECT_TRUE(read_file(ini_path()).contains("frm_thermometer.Text3.text=42\r\n"));
    EXPECT_FALSE(ui().MSComm1->port_open());
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(lifecycle_fixture, closing_the_selection_at_a_first_start_ends_the_program) {
    write_settings("pppp");
    ASSERT_TRUE(start().load());
    QSignalSpy finished(app.get(), &app::kestrova_app::finished);
    app->selector()->close();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(QFile::exists(ini_path()));
}

TEST_F(lifecycle_fixture, change_port_takes_effect_at_once_and_cancel_keeps_the_old_one) {
    write_settings("pp--", "frm_thermometer.Text7.text=1\r\n");
    ASSERT_TRUE(start().load());
    ASSERT_TRUE(ui().MSComm1->port_open());

    QTest::mouseClick(ui().Command5, Qt::LeftButton);
    portselect::frmselect* sel = app->selector();
    EXPECT_TRUE(sel->isVisible());
    EXPECT_TRUE(app->window().isHidden());
    EXPECT_TRUE(ui().MSComm1->port_open()) << "the port keeps working meanwhile";
    // Closing the selection brings the window back unchanged.
    sel->close();
    EXPECT_TRUE(app->window().isVisible());
    EXPECT_EQ(ui().MSComm1->comm_port(), 1);

    QTest::mouseClick(ui().Command5, Qt::LeftButton);
    combo_of(sel)->setCurrentIndex(combo_of(sel)->findText(QStringLiteral("2")));
    QTest::mouseClick(ok_of(sel), Qt::LeftButton);
    EXPECT_EQ(ui().MSComm1->comm_port(), 2);
    EXPECT_TRUE(ui().MSComm1->port_open());
    EXPECT_EQ(ui().Label8->text(), QLatin1String("2"));
    ASSERT_TRUE(ptys[1].write(QByteArray("\xFD\x1F", 2)));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ui().Text1->text() == QString::fromUtf8("31\u00BAC"); }, 5000));

    // The old port was let go: somebody else can open it now.
    serial::comm_control other;
    rules::port_map m;
    m.set_device(1, ptys[0].slave_path());
    other.set_port_map(m);
    EXPECT_TRUE(other.set_port_open(true));
}

TEST_F(lifecycle_fixture, readings_are_judged_afresh_for_a_new_period_and_a_new_port) {
    write_settings("pp--", "frm_thermometer.Text7.text=1\r\nfrm_thermometer.Option6.value=1\r\n");
    app = std::make_unique<app::kestrova_app>(app::window_seams{
        .ask = ask, .work_dir = dir.path(), .reading_lifetime = std::chrono::milliseconds(100)});
    ASSERT_TRUE(app->load());
    ASSERT_EQ(ui().Timer1->interval(), 60000);
    const auto heard = [&](pty_pair& pty) {
        return pty.write(QByteArray("\xFE\x19", 2)) &&
               QTest::qWaitFor([&] { return app->link().current(1); }, 5000);
    };
    // Three periods of a minute, then of 100 ms: the reading's time is up.
    ASSERT_TRUE(heard(ptys[0]));
    ui().Timer1->set_interval(100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !app->link().current(1); }, 3000));

    // What came from the port in use is not current on another one.
    ui().Timer1->set_interval(60000);
    ASSERT_TRUE(heard(ptys[0]));
    QTest::mouseClick(ui().Command5, Qt::LeftButton);
    portselect::frmselect* sel = app->selector();
    combo_of(sel)->setCurrentIndex(combo_of(sel)->findText(QStringLiteral("2")));
    QTest::mouseClick(ok_of(sel), Qt::LeftButton);
    ASSERT_EQ(ui().MSComm1->comm_port(), 2);
    EXPECT_FALSE(app->link().current(1));
    EXPECT_TRUE(heard(ptys[1]));
}

TEST_F(lifecycle_fixture, a_session_bus_that_does_not_answer_holds_up_nothing) {
    private_bus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    const QByteArray saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address.toLocal8Bit());
    ::kill(static_cast<pid_t>(bus.daemon.processId()), SIGSTOP);
    write_settings("p---", "frm_thermometer.Text7.text=1\r\n");
    QElapsedTimer load;
    load.start();
    const bool loaded = start().load();
    // Connecting waits up to 25 s for a stopped bus; the window never does.
    EXPECT_LT(load.elapsed(), 5000);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(app->window().isVisible());
    ASSERT_TRUE(ptys[0].write(QByteArray("\xFE\x19", 2)));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ui().Text2->text() == QString::fromUtf8("25\u00BAC"); }, 3000));
    EXPECT_EQ(app->notifier(), nullptr);
    ::kill(static_cast<pid_t>(bus.daemon.processId()), SIGCONT);
    qputenv("DBUS_SESSION_BUS_ADDRESS", saved);
}

TEST_F(lifecycle_fixture, a_pulled_logger_comes_back_by_itself) {
    const QString link = dir.filePath(QStringLiteral("logger"));
    ASSERT_TRUE(QFile::link(ptys[0].slave_path(), link));
    ASSERT_TRUE(write_file(ini_path(), "[Ports]\r\n1=" + link.toLocal8Bit() +
                                           "\r\n[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"));
    ASSERT_TRUE(start().load());
    ASSERT_TRUE(ui().MSComm1->port_open());
    EXPECT_TRUE(ui().Label8->toolTip().contains(QLatin1String("is open")));

    ptys[0].hang_up();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui().MSComm1->port_open(); }, 5000));
    EXPECT_TRUE(ui().Label8->toolTip().contains(QLatin1String("not open")))
        << ui().Label8->toolTip().toStdString();
    // Retries against a dead link stay quiet.
    const log_capture serial_log("kestrova.serial");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return serial_log.count(QStringLiteral("trying again")) >= 5; }, 5000));
    EXPECT_TRUE(ask.messages.isEmpty());

    pty_pair replugged;
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(replugged.slave_path(), link));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui().MSComm1->port_open(); }, 3000));
    ASSERT_TRUE(replugged.write(QByteArray("\xFE\x2A", 2)));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ui().Text2->text() == QString::fromUtf8("42\u00BAC"); }, 3000));
    EXPECT_TRUE(ui().Label8->toolTip().contains(QLatin1String("is open")));
}

namespace {

// Notes, at each message, whether any of the window's timers was ticking.
struct watching_prompts : recording_prompts {
    std::function<bool()> ticking;
    bool ticked_during_a_message = false;
    void message(const QString& text, const QString& details) override {
        ticked_during_a_message = ticked_during_a_message || ticking();
        recording_prompts::message(text, details);
    }
};

} // namespace

TEST_F(lifecycle_fixture, start_up_runs_the_restored_checks_before_any_timer_ticks) {
    write_settings("p---", "frm_thermometer.Text7.text=1\r\nfrm_thermometer.Text3.text=130\r\n"
                           "frm_thermometer.Check2.value=1\r\nfrm_thermometer.Check3.value=2\r\n");
    watching_prompts watch;
    app = std::make_unique<app::kestrova_app>(
        app::window_seams{.ask = watch, .work_dir = dir.path()});
    watch.ticking = [&] {
        return ui().Timer1->ticking() || ui().Timer2->ticking() || ui().Timer3->ticking();
    };
    ASSERT_TRUE(app->load());
    EXPECT_EQ(watch.messages, QStringList{QString::fromUtf8("Maximum Temperature is 125\u00BAC")});
    EXPECT_FALSE(watch.ticked_during_a_message);
    EXPECT_EQ(ui().Text3->text(), QLatin1String("125"));
    EXPECT_EQ(ui().UpDown1->value(), 125);
    EXPECT_TRUE(ui().Timer1->ticking());
    EXPECT_EQ(ui().Timer1->interval(), 5000);
    EXPECT_TRUE(ui().Timer2->ticking());
    EXPECT_TRUE(ui().Timer3->ticking()) << "greyed leaves Timer3 as designed";

    // Greyed once; the operator's clicks only check and uncheck it.
    EXPECT_EQ(controls::check_value(ui().Check3), 2);
    QList<int> seen;
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(ui().Check3, Qt::LeftButton);
        seen << controls::check_value(ui().Check3);
    }
    EXPECT_EQ(seen, (QList<int>{1, 0, 1}));
}

TEST_F(lifecycle_fixture, a_missing_saved_port_shows_the_window_quietly) {
    write_settings("-p--", "frm_thermometer.Text7.text=1\r\n");
    ASSERT_TRUE(start().load());
    EXPECT_TRUE(app->window().isVisible());
    EXPECT_EQ(ui().Label8->text(), QLatin1String("1"));
    EXPECT_FALSE(ui().MSComm1->port_open());
    EXPECT_TRUE(ask.messages.isEmpty());
}

TEST_F(lifecycle_fixture, an_unreadable_settings_file_is_named_once) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Tarnwick.INI")));
    start().load();
    ASSERT_FALSE(ask.messages.isEmpty());
    EXPECT_EQ(ask.messages.front(), QLatin1String("INI file is invalid or does not exist."));
    EXPECT_EQ(ask.messages.count(QLatin1String("INI file is invalid or does not exist.")), 1);
}

TEST_F(lifecycle_fixture, the_selection_window_works_from_the_keyboard) {
    write_settings("pppp");
    ASSERT_TRUE(start().load());
    portselect::frmselect* sel = app->selector();
    EXPECT_EQ(sel->windowTitle(), QLatin1String("KESTROVA"));
    EXPECT_EQ(ok_of(sel)->geometry(), QRect(168, 64, 81, 33));
    sel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sel));
    ASSERT_EQ(QApplication::focusWidget(), combo_of(sel));
    // Keyboard order: the list, then OK.
    QTest::keyClick(combo_of(sel), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ok_of(sel));
    QTest::keyClick(ok_of(sel), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), combo_of(sel));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("3"));
    EXPECT_EQ(combo_of(sel)->currentText(), QLatin1String("3"));
    // OK is not the default button: Return confirms nothing, in the list or on OK.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(sel->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), combo_of(sel));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    EXPECT_EQ(ui().Text7->text(), QLatin1String("select"));
    EXPECT_TRUE(sel->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(ui().Text7->text(), QLatin1String("3"));
    EXPECT_FALSE(sel->isVisible());
}

TEST_F(lifecycle_fixture, ok_on_the_port_in_use_leaves_it_alone_and_readings_flow_while_hidden) {
    write_settings("pp--", "frm_thermometer.Text7.text=1\r\n");
    ASSERT_TRUE(start().load());
    QSignalSpy opened_or_closed(ui().MSComm1, &serial::comm_control::open_changed);
    QTest::mouseClick(ui().Command5, Qt::LeftButton);
    ASSERT_TRUE(app->window().isHidden());
    ASSERT_TRUE(ptys[0].write(QByteArray("\xFE\x2A", 2)));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ui().Text2->text() == QString::fromUtf8("42\u00BAC"); }, 5000));

    portselect::frmselect* sel = app->selector();
    combo_of(sel)->setCurrentIndex(combo_of(sel)->findText(QStringLiteral("1")));
    QTest::mouseClick(ok_of(sel), Qt::LeftButton);
    EXPECT_EQ(opened_or_closed.count(), 0);
    EXPECT_TRUE(ui().MSComm1->port_open());
    EXPECT_TRUE(read_file(ini_path()).contains("frm_thermometer.Text7.text=1\r\n"));
}

TEST_F(lifecycle_fixture, a_run_leaves_every_other_section_of_the_file_byte_for_byte) {
    QByteArray ports = "[Ports]\r\n";
    for (int p = 1; p <= 4; ++p)
        ports += QByteArray::number(p) + '=' + ptys[p - 1].slave_path().toLocal8Bit() + "\r\n";
    // With the station id it keeps once it has made it.
    const QByteArray mqtt =
        "[MQTT]\r\nhost=127.0.0.1\r\nport=1\r\ntopic=kestrova/cold-room\r\nstation=cold-room\r\n";
    const QByteArray notify = "[Notify]\r\ndesktop=0\r\n";
    // The window's keys as a save writes them, port 2 chosen.
    const QByteArray vez = read_file(QString::fromUtf8(build_paths::test_data) +
                                     QStringLiteral("/settings_example.ini"));
    ASSERT_TRUE(vez.startsWith("[VEZ]\r\n"));
    const QByteArray files[] = {
        ports + "\r\n" + mqtt + "\r\n" + vez + "\r\n" + notify + "\r\n[Site]\r\nroom=Cold \xBA" +
            "2\r\n",
        vez + ports + notify + mqtt + "[Site]\r\nroom=Cold room\r\nempty=\r\n",
        "; by hand\r\n" + notify + ports + "[site]\r\n  spaced key = \xFF\x80 value  \r\n\r\n" +
            mqtt + vez,
    };
    for (const QByteArray& file : files) {
        SCOPED_TRACE(file.toStdString());
        app.reset();
        ASSERT_TRUE(write_file(ini_path(), file));
        ASSERT_TRUE(start().load());
        ASSERT_EQ(ui().MSComm1->comm_port(), 2);
        app->window().close();
        ASSERT_TRUE(app->ended());
        const QByteArray saved = read_file(ini_path());
        EXPECT_EQ(saved, file) << saved.toStdString();
    }
}
