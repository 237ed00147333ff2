#include "notify/desktop_notifier.h"

#include "alarm/install.h"
#include "alarm/lamp_colors.h"
#include "alerts/alarm_judge.h"
#include "alerts/alarm_state.h"
#include "alerts/link_watch.h"
#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "controls/updown.h"
#include "notify/session_bus.h"
#include "support/notification_server.h"
#include "support/private_bus.h"
#include "support/recording_prompts.h"
#include "support/typing.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <signal.h>

namespace {

QString deg(const char* n) {
    return QString::fromLatin1(n) + QStringLiteral("\u00BAC");
}

struct notify_fixture : ::testing::Test {
    private_bus bus;
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const app::thermometer_controls& ui = w.ui();
    std::chrono::milliseconds lifetime{30000};
    rules::alarms::alarm_settings settings = quick();
    std::unique_ptr<alerts::link_watch> link;
    std::unique_ptr<alerts::alarm_judge> judge;
    std::unique_ptr<alerts::alarm_state> alarms;
    notification_server desktop;

    notify_fixture() {
        ui.Timer1->set_enabled(false);
        ui.Text3->setText(QStringLiteral("30"));
        ui.Text4->setText(QStringLiteral("10"));
        controls::set_check_value(ui.Check2, 1);
        alarms::apply_alarm_switches(w.sensors());
        w.release_timers();
    }
    // Raised at once, ended at once, a change of kind told at once.
    static rules::alarms::alarm_settings quick() {
        rules::alarms::alarm_settings s;
        s.hold = std::chrono::milliseconds(0);
        s.kind_spacing = std::chrono::milliseconds(0);
        return s;
    }
    // The desktop's notification service on the private bus, by `name`.
    bool serve(notification_server& server, const QString& name = QStringLiteral("desktop")) {
        return serve_notifications(bus.connect(name), server);
    }
    bool serve() { return serve(desktop); }
    // The station: the logger's port open, the judge, the alarm state and
    // the notifier.
    std::unique_ptr<notify::desktop_notifier>
    notifier(std::chrono::milliseconds quiet_after = std::chrono::seconds(60),
             std::chrono::milliseconds settle = std::chrono::seconds(2)) {
        link = std::make_unique<alerts::link_watch>([this] { return lifetime; }, quiet_after);
        link->port_changed(true);
        judge = std::make_unique<alerts::alarm_judge>(w.sensors(), *link, settle);
        alarms = std::make_unique<alerts::alarm_state>(*judge, settings);
        return std::make_unique<notify::desktop_notifier>(*alarms, *link,
                                                          bus.connect(QStringLiteral("station")));
    }
    bool calls(qsizetype n) {
        return QTest::qWaitFor([&] { return desktop.calls.size() == n; }, 5000);
    }
    bool no_more_than(qsizetype n, int ms = 300) {
        return !QTest::qWaitFor([&] { return desktop.calls.size() > n; }, ms);
    }
    QString summary(qsizetype i) const { return desktop.calls.value(i).summary; }
    ~notify_fixture() override {
        for (const char* name : {"desktop", "other", "station"})
            QDBusConnection::disconnectFromBus(QString::fromLatin1(name));
    }
    // A reading of `sensor` as the logger's byte brings it, in a batch of its own.
    void read(const char* r, int sensor = 1) {
        (sensor == 1 ? ui.Text2 : ui.Text1)->setText(r[0] == ' ' ? QString::fromLatin1(r) : deg(r));
        link->received(sensor);
        QTest::qWait(20);
    }
};

const QString alarm35 = QString::fromUtf8("Sensor 1 high alarm: 35\u00BAC (threshold 30\u00BAC)");

} // namespace

TEST_F(notify_fixture, an_alarm_is_told_at_once_with_an_action_and_its_end_replaces_it) {
    ASSERT_FALSE(bus.address.isEmpty());
    ASSERT_TRUE(serve());
    const auto notifier = this->notifier();
    read("25");
    read("35");
    ASSERT_TRUE(calls(1));
    EXPECT_EQ(summary(0), alarm35);
    EXPECT_EQ(desktop.calls[0].urgency, 2);
    EXPECT_EQ(desktop.calls[0].icon, QStringLiteral("kestrova"));
    EXPECT_EQ(desktop.calls[0].actions,
              (QStringList{QStringLiteral("acknowledge"), QStringLiteral("Acknowledge")}));
    read("24");
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QString::fromUtf8("Sensor 1 back to normal: 24\u00BAC"));
    EXPECT_EQ(desktop.calls[1].urgency, 1);
    EXPECT_EQ(desktop.calls[1].replaces, 101u) << "the alarm's notification is replaced";
    // No limit of one a minute: a new alarm is told at once.
    read("33");
    ASSERT_TRUE(calls(3));
    EXPECT_EQ(desktop.calls[2].urgency, 2);
    EXPECT_EQ(desktop.calls[2].replaces, 102u);
}

// 35, a dip to 29 shorter than the clear hold, then 45: one alarm, never
// "back to normal" while it lasts, and at the end the alarm is said to be
// no longer watched.
TEST_F(notify_fixture, a_dip_within_the_clear_hold_is_the_same_alarm_and_tells_nothing) {
    ASSERT_TRUE(serve());
    settings.hold = std::chrono::milliseconds(1500);
    auto notifier = this->notifier();
    read("35");
    ASSERT_TRUE(calls(1));
    read("29");
    EXPECT_TRUE(no_more_than(1, 500));
    read("45");
    EXPECT_TRUE(no_more_than(1, 1500)) << summary(1).toStdString();
    EXPECT_EQ(alarms->status(1).phase, rules::alarms::alarm_phase::alarm);
    notifier->finish();
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QStringLiteral("KESTROVA stopped; Sensor 1 was in high alarm"));

    // Within limits for the whole hold: "back to normal", once.
    notifier.reset();
    auto again = this->notifier();
    read("35");
    ASSERT_TRUE(calls(3));
    read("25");
    EXPECT_TRUE(no_more_than(3, 1000));
    ASSERT_TRUE(calls(4));
    EXPECT_EQ(summary(3), QString::fromUtf8("Sensor 1 back to normal: 25\u00BAC"));
}

// Notifications turned on, or a session bus reached, after an alarm was
// raised: it is shown then.
TEST_F(notify_fixture, an_alarm_raised_before_the_desktop_was_reached_is_shown_when_it_is) {
    ASSERT_TRUE(serve());
    auto notifier = this->notifier();
    read("35");
    ASSERT_TRUE(calls(1));
    notifier.reset();
    alarms->acknowledge(1, alerts::answer_via::window, QStringLiteral("ann"));
    const notify::desktop_notifier later(*alarms, *link, bus.connect(QStringLiteral("station")));
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), alarm35 + QStringLiteral(", acknowledged by ann"));
    EXPECT_EQ(desktop.calls[1].replaces, 0u);
}

TEST_F(notify_fixture, an_alarm_switched_off_is_taken_away_and_on_again_told_at_once) {
    ASSERT_TRUE(serve());
    const auto notifier = this->notifier();
    read("35");
    ASSERT_TRUE(calls(1));
    QTest::qWait(100);
    controls::set_check_value(ui.Check2, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.closed == QList<uint>{101u}; }, 5000));
    controls::set_check_value(ui.Check2, 1);
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), alarm35);
    EXPECT_EQ(desktop.calls[1].urgency, 2);
}

TEST_F(notify_fixture, an_alarm_ended_before_the_desktop_answers_is_still_replaced) {
    ASSERT_TRUE(serve());
    desktop.delay = 800;
    const auto notifier = this->notifier();
    read("35");
    ASSERT_TRUE(calls(1));
    read("22");
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QString::fromUtf8("Sensor 1 back to normal: 22\u00BAC"));
    EXPECT_EQ(desktop.calls[1].replaces, 101u) << "the end waits for the alarm's number";
    EXPECT_TRUE(no_more_than(2));
}

TEST_F(notify_fixture, without_a_notification_service_it_says_so_once) {
    ASSERT_FALSE(bus.address.isEmpty());
    testing::internal::CaptureStderr();
    {
        const auto notifier = this->notifier();
        for (const char* r : {"31", "25", "35", "5"})
            read(r);
        // Let every answer of the bus come in.
        QTest::qWait(300);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    std::size_t lines = 0;
    for (std::size_t at = err.find("desktop notifications"); at != std::string::npos;
         at = err.find("desktop notifications", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << err;
}

TEST_F(notify_fixture, a_change_of_kind_replaces_the_alarm_at_most_once_a_spacing) {
    ASSERT_TRUE(serve());
    settings.kind_spacing = std::chrono::milliseconds(1500);
    const auto notifier = this->notifier();
    // Between "no reading" and a high alarm, batch by batch.
    for (int i = 0; i < 10; ++i)
        read(i % 2 ? " - - " : "35");
    ASSERT_TRUE(calls(1));
    EXPECT_EQ(summary(0), alarm35);
    EXPECT_TRUE(no_more_than(1, 500));
    // The spacing over, what holds then replaces it, once.
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QStringLiteral("Sensor 1: no reading"));
    EXPECT_EQ(desktop.calls[1].replaces, 101u);
    EXPECT_EQ(desktop.calls[1].urgency, 2);
    EXPECT_TRUE(no_more_than(2, 500));
    read("5");
    EXPECT_TRUE(no_more_than(2, 500)) << "a low alarm, within the spacing of the last change";
    ASSERT_TRUE(calls(3));
    EXPECT_EQ(summary(2), QString::fromUtf8("Sensor 1 low alarm: 5\u00BAC (threshold 10\u00BAC)"));
}

TEST_F(notify_fixture, a_threshold_counts_once_it_is_settled_not_while_it_is_typed) {
    ASSERT_TRUE(serve());
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const auto notifier = this->notifier(std::chrono::seconds(60), std::chrono::milliseconds(400));
    read("25");
    ASSERT_TRUE(no_more_than(0));
    // Key by key over the old value: "4" would be an alarm, "130" refused
    // (its "1" and "13" alarms too); each is typed, none counts.
    for (const char* typed : {"40", "130"}) {
        SCOPED_TRACE(typed);
        ui.Text3->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ui.Text3->hasFocus(); }, 5000));
        ui.Text3->selectAll();
        type_keys(ui.Text3, QString::fromLatin1(typed));
        QTest::keyClick(ui.Text3, Qt::Key_Return);
        EXPECT_TRUE(no_more_than(0));
    }
    EXPECT_EQ(ui.Text3->text(), QStringLiteral("125"));
    ui.Text3->setFocus();
    ui.Text3->selectAll();
    type_keys(ui.Text3, QStringLiteral("40"));
    QTest::keyClick(ui.Text3, Qt::Key_Tab);
    read("45");
    ASSERT_TRUE(calls(1));
    EXPECT_EQ(summary(0),
              QString::fromUtf8("Sensor 1 high alarm: 45\u00BAC (threshold 40\u00BAC)"));
    // A text left standing counts after the pause, though the field keeps
    // the focus.
    read("25");
    ASSERT_TRUE(calls(2));
    ui.Text4->setFocus();
    QTest::keyClick(ui.Text4, Qt::Key_Backspace);
    QTest::keyClick(ui.Text4, Qt::Key_Backspace);
    QTest::keyClicks(ui.Text4, QStringLiteral("26"));
    EXPECT_TRUE(ui.Text4->hasFocus());
    ASSERT_TRUE(calls(3));
    EXPECT_EQ(summary(2), QString::fromUtf8("Sensor 1 low alarm: 25\u00BAC (threshold 26\u00BAC)"));
}

TEST_F(notify_fixture, a_typed_threshold_counts_a_pause_after_its_last_key_never_over_125) {
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const auto notifier = this->notifier(std::chrono::seconds(60), std::chrono::milliseconds(1000));
    QStringList counted;
    QObject::connect(&judge->high(1), &alerts::settled_text::settled, &w,
                     [&] { counted << judge->high(1).value(); });
    ui.Text3->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui.Text3->hasFocus(); }, 5000));
    ui.Text3->selectAll();
    // Each key restarts the pause, so "1" and "12" never count.
    type_keys(ui.Text3, QStringLiteral("124"), 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !counted.isEmpty(); }, 3000));
    // Over the limit, about to be put back to 125: never counts as typed.
    ui.Text3->selectAll();
    QTest::keyClicks(ui.Text3, QStringLiteral("130"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return counted.size() == 2; }, 3000));
    EXPECT_EQ(counted, (QStringList{QStringLiteral("124"), QStringLiteral("125")}));
}

// Reading 25, high 30: the down arrow held (auto-repeat below 25), then the
// up arrow held back above it, each within the pause of the last step:
// nothing is raised, for the threshold never settled below the reading.
TEST_F(notify_fixture, a_spin_button_held_across_the_reading_raises_nothing) {
    ASSERT_TRUE(serve());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const auto notifier = this->notifier(std::chrono::seconds(60), std::chrono::milliseconds(600));
    read("25");
    auto* down = ui.UpDown1->findChild<QToolButton*>(QStringLiteral("down"));
    auto* up = ui.UpDown1->findChild<QToolButton*>(QStringLiteral("up"));
    ASSERT_TRUE(down && up);
    QTest::mousePress(down, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui.UpDown1->value() <= 22; }, 5000));
    QTest::mouseRelease(down, Qt::LeftButton);
    QTest::mousePress(up, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui.UpDown1->value() >= 27; }, 5000));
    QTest::mouseRelease(up, Qt::LeftButton);
    const QString stood = ui.Text3->text();
    ASSERT_TRUE(QTest::qWaitFor([&] { return judge->high(1).value() == stood; }, 3000));
    EXPECT_TRUE(no_more_than(0)) << summary(0).toStdString();
    // A single click counts once it has stood for the pause, as typing does.
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_NE(judge->high(1).value(), ui.Text3->text());
    EXPECT_TRUE(QTest::qWaitFor([&] { return judge->high(1).value() == ui.Text3->text(); }, 3000));
}

TEST_F(notify_fixture, one_sensor_falling_silent_is_told_once_and_its_return_replaces_it) {
    ASSERT_TRUE(serve());
    controls::set_check_value(ui.Check3, 1);
    ui.Text6->setText(QStringLiteral("30"));
    ui.Text5->setText(QStringLiteral("10"));
    lifetime = std::chrono::milliseconds(1000);
    const auto notifier = this->notifier();
    read("20", 2);
    // Sensor 1 goes on; sensor 2's wire is broken.
    QTimer logger;
    QObject::connect(&logger, &QTimer::timeout, &logger, [this] {
        ui.Text2->setText(deg("25"));
        link->received(1);
    });
    logger.start(100);
    ASSERT_TRUE(calls(1));
    EXPECT_EQ(summary(0), QStringLiteral("Sensor 2: no reading for 1 s"));
    EXPECT_EQ(desktop.calls[0].urgency, 2);
    EXPECT_TRUE(no_more_than(1));
    read("21", 2);
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QString::fromUtf8("Sensor 2 back to normal: 21\u00BAC"));
    EXPECT_EQ(desktop.calls[1].replaces, 101u);
}

TEST_F(notify_fixture, a_desktop_that_answers_late_or_restarts_is_never_left_a_stale_number) {
    ASSERT_TRUE(serve());
    desktop.delay = 1500;
    const auto notifier = this->notifier();
    read("35");
    read("22");
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(desktop.calls[1].replaces, 101u) << "the end waits for the alarm's number";
    // The notification service restarts: the new one numbers afresh, and
    // its notification 102 is somebody else's.
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !bus.connect(QStringLiteral("station"))
                        .interface()
                        ->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications"))
                        .value();
        },
        5000));
    QTest::qWait(100);
    notification_server other;
    ASSERT_TRUE(serve(other, QStringLiteral("other")));
    read("36");
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.calls.size() == 1; }, 5000));
    EXPECT_EQ(other.calls[0].replaces, 0u);
}

// A number that comes late from a service that has given its name up
// meanwhile is no number of the service that took it over.
TEST_F(notify_fixture, a_late_number_from_a_service_that_went_meanwhile_is_not_replaced) {
    ASSERT_TRUE(serve());
    desktop.delay = 800;
    const auto notifier = this->notifier();
    read("35");
    ASSERT_TRUE(calls(1));
    ASSERT_TRUE(bus.connect(QStringLiteral("desktop"))
                    .unregisterService(QStringLiteral("org.freedesktop.Notifications")));
    notification_server other;
    other.first_id = 501;
    ASSERT_TRUE(serve(other, QStringLiteral("other")));
    read("22"); // waits for the late number, then goes to the new service
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.calls.size() == 1; }, 5000));
    EXPECT_EQ(other.calls[0].summary, QString::fromUtf8("Sensor 1 back to normal: 22\u00BAC"));
    EXPECT_EQ(other.calls[0].replaces, 0u);
}

TEST_F(notify_fixture, each_kind_of_failure_is_said_once_with_its_meaning) {
    testing::internal::CaptureStderr();
    {
        const auto notifier = this->notifier();
        read("35");
        read("25");
        QTest::qWait(300);
        desktop.failing = true;
        ASSERT_TRUE(serve());
        read("36");
        ASSERT_TRUE(calls(1));
        read("26");
        ASSERT_TRUE(calls(2));
        QTest::qWait(300);
    }
    const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
    EXPECT_EQ(err.count(QLatin1String("there is no notification service")), 1) << err.toStdString();
    EXPECT_EQ(err.count(QLatin1String("the desktop is busy")), 1) << err.toStdString();
}

TEST_F(notify_fixture, at_the_end_what_is_on_its_way_goes_out_and_an_alarm_is_no_longer_watched) {
    ASSERT_TRUE(serve());
    auto notifier = this->notifier();
    read("35");
    ASSERT_TRUE(calls(1));
    QTest::qWait(100);
    notifier->finish();
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QStringLiteral("KESTROVA stopped; Sensor 1 was in high alarm"));
    EXPECT_EQ(desktop.calls[1].replaces, 101u);
    EXPECT_EQ(desktop.calls[1].urgency, 1);

    // An alarm the desktop has not numbered yet is still replaced; "back to
    // normal" queued behind one is still sent.
    desktop.delay = 300;
    notifier.reset();
    auto late = this->notifier();
    read("36");
    late->finish();
    ASSERT_TRUE(calls(4));
    EXPECT_EQ(summary(3), QStringLiteral("KESTROVA stopped; Sensor 1 was in high alarm"));
    EXPECT_EQ(desktop.calls[3].replaces, 103u);
    late.reset();
    auto queued = this->notifier();
    read("37");
    read("25");
    queued->finish();
    ASSERT_TRUE(calls(6));
    EXPECT_EQ(summary(5), QString::fromUtf8("Sensor 1 back to normal: 25\u00BAC"));
    EXPECT_TRUE(no_more_than(6));
}

TEST_F(notify_fixture, the_desktops_acknowledge_action_answers_the_alarm) {
    ASSERT_TRUE(serve());
    const auto notifier = this->notifier();
    read("35");
    ASSERT_TRUE(calls(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.calls.size() == 1; }, 1000));
    QTest::qWait(100);
    // Another notification's action is not ours.
    desktop.invoke(999, QStringLiteral("acknowledge"));
    desktop.invoke(101, QStringLiteral("default"));
    QTest::qWait(200);
    EXPECT_EQ(alarms->status(1).phase, rules::alarms::alarm_phase::alarm);
    desktop.invoke(101, QStringLiteral("acknowledge"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return alarms->status(1).phase == rules::alarms::alarm_phase::acknowledged; }, 5000));
    EXPECT_EQ(alarms->status(1).acknowledged_via, alerts::answer_via::desktop);
    ASSERT_TRUE(calls(2));
    EXPECT_TRUE(summary(1).startsWith(alarm35 + QStringLiteral(", acknowledged by ")));
    EXPECT_EQ(desktop.calls[1].urgency, 1);
    EXPECT_TRUE(desktop.calls[1].actions.isEmpty());
}

TEST_F(notify_fixture, a_lost_logger_is_told_from_its_last_reading_once_and_so_is_its_return) {
    ASSERT_TRUE(serve());
    // The logger's own notices, without the sensor's alarm.
    controls::set_check_value(ui.Check2, 0);
    // Readings stay current far longer (a sampling period of a minute): the
    // count runs from the last reading all the same.
    lifetime = std::chrono::seconds(180);
    const auto notifier = this->notifier(std::chrono::milliseconds(1000));
    read("25");
    ASSERT_TRUE(calls(1));
    EXPECT_EQ(summary(0),
              QStringLiteral("No readings from the logger for 1 s: its port is silent"));
    EXPECT_EQ(desktop.calls[0].urgency, 2);
    read("26");
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QStringLiteral("Readings from the logger are back"));
    EXPECT_EQ(desktop.calls[1].replaces, 101u);

    link->port_changed(false);
    ASSERT_TRUE(calls(3));
    EXPECT_TRUE(summary(2).endsWith(QLatin1String("its port is closed")));
    link->port_changed(true);
    EXPECT_TRUE(no_more_than(3)) << "an open port is not yet a reading";
    read("27");
    ASSERT_TRUE(calls(4));
    EXPECT_EQ(summary(3), QStringLiteral("Readings from the logger are back"));
}

TEST(session_bus, is_the_desktops_or_none_and_a_stopped_one_does_not_answer) {
    struct restore {
        QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        ~restore() {
            qputenv("DBUS_SESSION_BUS_ADDRESS", address);
            qputenv("XDG_RUNTIME_DIR", runtime);
        }
    } restore;
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    EXPECT_FALSE(notify::session_bus::address());

    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--address=unix:path=") + runtime.filePath(QStringLiteral("bus")),
                  QStringLiteral("--print-address=1")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return daemon.canReadLine(); }, 5000));
    const auto address = notify::session_bus::address();
    ASSERT_TRUE(address);
    EXPECT_TRUE(notify::session_bus::answers(*address, std::chrono::seconds(5)));
    ::kill(static_cast<pid_t>(daemon.processId()), SIGSTOP);
    EXPECT_FALSE(notify::session_bus::answers(*address, std::chrono::milliseconds(300)));
    ::kill(static_cast<pid_t>(daemon.processId()), SIGCONT);
    daemon.kill();
    daemon.waitForFinished(5000);
}

#include "notify_test.moc"
