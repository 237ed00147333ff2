#include "notify/desktop_notifier.h"

#include "alarm/install.h"
#include "alarm/lamp_colors.h"
#include "alerts/alarm_judge.h"
#include "alerts/link_watch.h"
#include "app/frm_thermometer.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "notify/session_bus.h"
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
#include <gtest/gtest.h>
#include <signal.h>

namespace {

// The desktop's side: records every notification it is asked to show (and
// every one it is asked to close), numbering them from `first_id`; answers
// after `delay` ms, or with an error while `failing`.
class notification_server : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct shown {
        uint replaces;
        QString icon;
        QString summary;
        int urgency;
    };
    QList<shown> calls;
    QList<uint> closed;
    uint first_id = 101;
    int delay = 0;
    bool failing = false;

public Q_SLOTS:
    uint Notify(const QString&, uint replaces, const QString& icon, const QString& summary,
                const QString&, const QStringList&, const QVariantMap& hints, int) {
        calls.push_back({replaces, icon, summary, hints.value(QStringLiteral("urgency")).toInt()});
        const uint id = first_id + static_cast<uint>(calls.size()) - 1;
        if (failing)
            sendErrorReply(QDBusError::Failed, QStringLiteral("the desktop is busy"));
        else if (delay > 0) {
            setDelayedReply(true);
            QTimer::singleShot(
                delay, this,
                [bus = connection(), reply = message().createReply(id)] { bus.send(reply); });
        }
        return id;
    }
    void CloseNotification(uint id) { closed.push_back(id); }
};

QString deg(const char* n) {
    return QString::fromLatin1(n) + QStringLiteral("\u00BAC");
}

struct notify_fixture : ::testing::Test {
    private_bus bus;
    recording_prompts ask;
    app::frm_thermometer w{app::window_seams{ask}};
    const app::thermometer_controls& ui = w.ui();
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    std::chrono::milliseconds lifetime{30000};
    std::unique_ptr<alerts::link_watch> link;
    std::unique_ptr<alerts::alarm_judge> judge;
    notification_server desktop;

    notify_fixture() {
        ui.Timer1->set_enabled(false);
        ui.Text3->setText(QStringLiteral("30"));
        ui.Text4->setText(QStringLiteral("10"));
        controls::set_check_value(ui.Check2, 1);
        alarms::apply_alarm_switches(w.sensors());
        w.release_timers();
    }
    // The desktop's notification service on the private bus, by `name`.
    bool serve(notification_server& server, const QString& name = QStringLiteral("desktop")) {
        QDBusConnection c = bus.connect(name);
        return c.registerService(QStringLiteral("org.freedesktop.Notifications")) &&
               c.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                QDBusConnection::ExportAllSlots);
    }
    bool serve() { return serve(desktop); }
    // The station: the logger's port open, the judge and the notifier.
    std::unique_ptr<notify::desktop_notifier>
    notifier(std::chrono::milliseconds quiet_after = std::chrono::seconds(60),
             std::chrono::milliseconds settle = std::chrono::seconds(2)) {
        link = std::make_unique<alerts::link_watch>([this] { return lifetime; }, quiet_after);
        link->port_changed(true);
        judge = std::make_unique<alerts::alarm_judge>(w.sensors(), *link, settle);
        return std::make_unique<notify::desktop_notifier>(
            *judge, *link, bus.connect(QStringLiteral("station")), clock());
    }
    bool calls(qsizetype n) {
        return QTest::qWaitFor([&] { return desktop.calls.size() == n; }, 5000);
    }
    bool no_more_than(qsizetype n) {
        return !QTest::qWaitFor([&] { return desktop.calls.size() > n; }, 300);
    }
    QString summary(qsizetype i) const { return desktop.calls.value(i).summary; }
    ~notify_fixture() override {
        for (const char* name : {"desktop", "other", "station"})
            QDBusConnection::disconnectFromBus(QString::fromLatin1(name));
    }
    notify::desktop_notifier::clock clock() {
        return [this] { return now; };
    }
    // A reading of `sensor` as the logger's byte brings it.
    void read(const char* r, int sensor = 1) {
        (sensor == 1 ? ui.Text2 : ui.Text1)->setText(r[0] == ' ' ? QString::fromLatin1(r) : deg(r));
        link->received(sensor);
    }
    // Sensor 1's reading; waits for its high lamp to show it.
    bool reading(const char* r, rules::alarms::lamp_state high) {
        read(r);
        return QTest::qWaitFor([&] { return ui.Shape3->fill_color() == alarms::lamp_color(high); },
                               5000);
    }
};

} // namespace

TEST_F(notify_fixture, an_alarm_is_notified_once_a_minute_and_its_end_replaces_it) {
    ASSERT_FALSE(bus.address.isEmpty());
    ASSERT_TRUE(serve());
    const auto notifier = this->notifier();

    using rules::alarms::lamp_state;
    ASSERT_TRUE(reading("25", lamp_state::normal));
    ASSERT_TRUE(reading("31", lamp_state::alarm));
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.calls.size() == 1; }, 5000));
    EXPECT_EQ(desktop.calls[0].summary,
              QString::fromUtf8("Sensor 1 high alarm: 31\u00BAC (threshold 30\u00BAC)"));
    EXPECT_EQ(desktop.calls[0].urgency, 2);
    EXPECT_EQ(desktop.calls[0].icon, QStringLiteral("kestrova"));

    ASSERT_TRUE(reading("24", lamp_state::normal));
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.calls.size() == 2; }, 5000));
    EXPECT_EQ(desktop.calls[1].summary, QString::fromUtf8("Sensor 1 back to normal: 24\u00BAC"));
    EXPECT_EQ(desktop.calls[1].urgency, 1);
    EXPECT_EQ(desktop.calls[1].replaces, 101u) << "the alarm's notification is replaced";

    // Flapping within the minute raises no second alarm.
    now += std::chrono::seconds(10);
    ASSERT_TRUE(reading("32", lamp_state::alarm));
    ASSERT_TRUE(reading("25", lamp_state::normal));
    EXPECT_FALSE(QTest::qWaitFor([&] { return desktop.calls.size() > 2; }, 300));

    now += std::chrono::seconds(60);
    ASSERT_TRUE(reading("33", lamp_state::alarm));
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.calls.size() == 3; }, 5000));
    EXPECT_EQ(desktop.calls[2].urgency, 2);
    EXPECT_EQ(desktop.calls[2].replaces, 102u);
}

TEST_F(notify_fixture, an_alarm_over_before_the_desktop_answers_is_still_replaced) {
    ASSERT_FALSE(bus.address.isEmpty());
    ASSERT_TRUE(serve());
    const auto notifier = this->notifier();
    // Both in one batch from the logger, as after a backlog: the end of the
    // alarm is asked for before the desktop has numbered the alarm.
    for (const char* r : {"35", "22"})
        read(r);
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(desktop.calls[1].summary, QString::fromUtf8("Sensor 1 back to normal: 22\u00BAC"));
    EXPECT_EQ(desktop.calls[1].replaces, 101u);
    EXPECT_FALSE(QTest::qWaitFor([&] { return desktop.calls.size() > 2; }, 300));
}

TEST_F(notify_fixture, without_a_notification_service_it_says_so_once) {
    ASSERT_FALSE(bus.address.isEmpty());
    testing::internal::CaptureStderr();
    {
        const auto notifier = this->notifier();
        using rules::alarms::lamp_state;
        for (const char* r : {"31", "25", "35", "5"}) {
            now += std::chrono::seconds(61);
            ASSERT_TRUE(reading(r, std::atoi(r) >= 30 ? lamp_state::alarm : lamp_state::normal));
        }
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

TEST_F(notify_fixture, only_readings_from_the_logger_raise_alarms_each_at_once_as_it_is_then) {
    ASSERT_FALSE(bus.address.isEmpty());
    ASSERT_TRUE(serve());
    // Start-up: the switch is on and no reading has come (both lamps red).
    const auto notifier = this->notifier();
    using rules::alarms::lamp_state;
    ASSERT_TRUE(reading("20", lamp_state::normal));
    ASSERT_TRUE(reading("35", lamp_state::alarm));
    ASSERT_TRUE(calls(1));
    EXPECT_EQ(desktop.calls[0].summary,
              QString::fromUtf8("Sensor 1 high alarm: 35\u00BAC (threshold 30\u00BAC)"));
    // A missing reading is one alarm of its own; within the minute of the
    // last alarm it waits, and then says what holds when it is shown.
    ASSERT_TRUE(reading(" - - ", lamp_state::alarm));
    now += std::chrono::milliseconds(59700);
    ASSERT_TRUE(reading("37", lamp_state::alarm));
    ASSERT_TRUE(reading(" - - ", lamp_state::alarm));
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QStringLiteral("Sensor 1: no reading"));
    EXPECT_EQ(desktop.calls[1].replaces, 101u);

    // "Back to normal" at once; the next alarm within the minute waits.
    ASSERT_TRUE(reading("25", lamp_state::normal));
    ASSERT_TRUE(calls(3));
    now += std::chrono::milliseconds(59700);
    ASSERT_TRUE(reading("36", lamp_state::alarm));
    ASSERT_TRUE(reading("5", lamp_state::normal));
    ASSERT_TRUE(calls(4));
    EXPECT_EQ(summary(3), QString::fromUtf8("Sensor 1 low alarm: 5\u00BAC (threshold 10\u00BAC)"));
    EXPECT_TRUE(no_more_than(4));
}

TEST_F(notify_fixture, a_flapping_sensor_raises_one_alarm_a_minute_whatever_its_states) {
    ASSERT_TRUE(serve());
    const auto notifier = this->notifier();
    // Between "no reading" and a high alarm, and between high and normal.
    for (int i = 0; i < 20; ++i)
        read(i % 2 ? " - - " : "35");
    ASSERT_TRUE(calls(1));
    EXPECT_TRUE(no_more_than(1));
    for (int i = 0; i < 20; ++i)
        read(i % 2 ? "25" : "35");
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QString::fromUtf8("Sensor 1 back to normal: 25\u00BAC"));
    EXPECT_TRUE(no_more_than(2));
    // The minute over, the state of then is shown, once.
    read(" - - ");
    now += std::chrono::seconds(60);
    read("36");
    ASSERT_TRUE(calls(3));
    EXPECT_EQ(summary(2),
              QString::fromUtf8("Sensor 1 high alarm: 36\u00BAC (threshold 30\u00BAC)"));
    EXPECT_EQ(desktop.calls[2].urgency, 2);
    EXPECT_TRUE(no_more_than(3));
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
    // A real crossing is told at once, with the threshold as it stands.
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
    now += std::chrono::seconds(61);
    ui.Text4->setFocus();
    QTest::keyClick(ui.Text4, Qt::Key_Backspace);
    QTest::keyClick(ui.Text4, Qt::Key_Backspace);
    QTest::keyClicks(ui.Text4, QStringLiteral("26"));
    EXPECT_TRUE(ui.Text4->hasFocus());
    ASSERT_TRUE(calls(3));
    EXPECT_EQ(summary(2), QString::fromUtf8("Sensor 1 low alarm: 25\u00BAC (threshold 26\u00BAC)"));
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
    QObject::connect(&logger, &QTimer::timeout, &logger, [this] { read("25"); });
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
    now += std::chrono::seconds(61);
    read("36");
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.calls.size() == 1; }, 5000));
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
        now += std::chrono::seconds(61);
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

TEST_F(notify_fixture, an_alarm_still_shown_at_the_end_says_it_is_no_longer_watched) {
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
    // Switched off, an alarm is taken off the desktop.
    read("25");
    ASSERT_TRUE(calls(3));
    now += std::chrono::seconds(61);
    read("36");
    ASSERT_TRUE(calls(4));
    QTest::qWait(100);
    controls::set_check_value(ui.Check2, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.closed == QList<uint>{104u}; }, 5000));
}

TEST_F(notify_fixture, a_lost_logger_is_told_from_its_last_reading_once_and_so_is_its_return) {
    ASSERT_TRUE(serve());
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
