#include "publish/desktop_notifier.h"

#include "alarm/install.h"
#include "app/frm_thermometer.h"
#include "controls/lamp_colors.h"
#include "controls/properties.h"
#include "controls/shape.h"
#include "controls/timer.h"
#include "publish/link_watch.h"
#include "support/recording_prompts.h"

#include <QDBusConnection>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The desktop's side: records every notification it is asked to show.
class notification_server : public QObject {
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

public Q_SLOTS:
    uint Notify(const QString&, uint replaces, const QString& icon, const QString& summary,
                const QString&, const QStringList&, const QVariantMap& hints, int) {
        calls.push_back({replaces, icon, summary, hints.value(QStringLiteral("urgency")).toInt()});
        return static_cast<uint>(100 + calls.size());
    }
};

// A private session bus for one test.
struct private_bus {
    QProcess daemon;
    QString address;
    private_bus() {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address=1")});
        if (daemon.waitForStarted(5000) &&
            QTest::qWaitFor([&] { return daemon.canReadLine(); }, 5000))
            address = QString::fromLatin1(daemon.readLine().trimmed());
    }
    ~private_bus() {
        daemon.kill();
        daemon.waitForFinished(5000);
    }
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(address, name);
    }
};

QString deg(const char* n) {
    return QString::fromLatin1(n) + QStringLiteral("\u00BAC");
}

struct notify_fixture : ::testing::Test {
    private_bus bus;
    recording_prompts ask;
    frm_thermometer w{window_seams{ask}};
    const thermometer_controls& ui = w.ui();
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    link_watch link{[] { return std::chrono::milliseconds(30000); }};
    notification_server desktop;

    notify_fixture() {
        ui.Timer1->set_enabled(false);
        ui.Text3->setText(QStringLiteral("30"));
        ui.Text4->setText(QStringLiteral("10"));
        controls::set_check_value(ui.Check2, 1);
        alarms::apply_alarm_switches(w.sensors());
        w.release_timers();
        link.port_changed(true);
    }
    // The desktop's notification service on the private bus.
    bool serve() {
        QDBusConnection server = bus.connect(QStringLiteral("desktop"));
        return server.registerService(QStringLiteral("org.freedesktop.Notifications")) &&
               server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &desktop,
                                     QDBusConnection::ExportAllSlots);
    }
    std::unique_ptr<desktop_notifier>
    notifier(std::chrono::milliseconds link_notice = std::chrono::seconds(60)) {
        return std::make_unique<desktop_notifier>(
            w.sensors(), link, bus.connect(QStringLiteral("station")), clock(), link_notice);
    }
    bool calls(qsizetype n) {
        return QTest::qWaitFor([&] { return desktop.calls.size() == n; }, 5000);
    }
    ~notify_fixture() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
        QDBusConnection::disconnectFromBus(QStringLiteral("station"));
    }
    desktop_notifier::clock clock() {
        return [this] { return now; };
    }
    // Sensor 1's reading as the logger's byte brings it; waits for its high
    // lamp to show it.
    bool reading(const char* r, alarms::lamp_state high) {
        ui.Text2->setText(r[0] == ' ' ? QString::fromLatin1(r) : deg(r));
        link.received(1);
        return QTest::qWaitFor([&] { return ui.Shape3->fill_color() == alarms::lamp_color(high); },
                               5000);
    }
};

} // namespace

TEST_F(notify_fixture, an_alarm_is_notified_once_a_minute_and_its_end_replaces_it) {
    ASSERT_FALSE(bus.address.isEmpty());
    ASSERT_TRUE(serve());
    const auto notifier = this->notifier();

    using alarms::lamp_state;
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
    for (const char* r : {"35", "22"}) {
        ui.Text2->setText(deg(r));
        link.received(1);
    }
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
        using alarms::lamp_state;
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
    using alarms::lamp_state;
    ASSERT_TRUE(reading("20", lamp_state::normal));
    ASSERT_TRUE(reading("35", lamp_state::alarm));
    ASSERT_TRUE(calls(1));
    EXPECT_EQ(desktop.calls[0].summary,
              QString::fromUtf8("Sensor 1 high alarm: 35\u00BAC (threshold 30\u00BAC)"));
    // A missing reading is one alarm of its own, shown at once.
    ASSERT_TRUE(reading(" - - ", lamp_state::alarm));
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(desktop.calls[1].summary, QStringLiteral("Sensor 1: no reading"));
    EXPECT_EQ(desktop.calls[1].replaces, 101u);

    // Flapping: an alarm within the minute after "back to normal" waits, and
    // then says what holds when it is shown.
    ASSERT_TRUE(reading("25", lamp_state::normal));
    ASSERT_TRUE(calls(3));
    now += std::chrono::milliseconds(59700);
    ASSERT_TRUE(reading("36", lamp_state::alarm));
    ASSERT_TRUE(reading("5", lamp_state::normal));
    ASSERT_TRUE(calls(4));
    EXPECT_EQ(desktop.calls[3].summary,
              QString::fromUtf8("Sensor 1 low alarm: 5\u00BAC (threshold 10\u00BAC)"));
    EXPECT_FALSE(QTest::qWaitFor([&] { return desktop.calls.size() > 4; }, 300));
}

TEST_F(notify_fixture, a_lost_logger_is_told_once_and_so_is_its_return) {
    ASSERT_FALSE(bus.address.isEmpty());
    ASSERT_TRUE(serve());
    const auto notifier = this->notifier(std::chrono::milliseconds(300));
    ASSERT_TRUE(reading("25", alarms::lamp_state::normal));
    link.port_changed(false);
    ASSERT_TRUE(calls(1));
    EXPECT_TRUE(desktop.calls[0].summary.startsWith(QLatin1String("No readings from the logger")));
    EXPECT_TRUE(desktop.calls[0].summary.endsWith(QLatin1String("its port is closed")));
    EXPECT_EQ(desktop.calls[0].urgency, 2);
    link.port_changed(true);
    EXPECT_FALSE(QTest::qWaitFor([&] { return desktop.calls.size() > 1; }, 300))
        << "an open port is not yet a reading";
    ASSERT_TRUE(reading("26", alarms::lamp_state::normal));
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(desktop.calls[1].summary, QStringLiteral("Readings from the logger are back"));
    EXPECT_EQ(desktop.calls[1].replaces, 101u);
}

TEST(session_bus, is_the_desktops_or_none_never_one_launched_for_us) {
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
    EXPECT_FALSE(desktop_notifier::session_bus());

    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--address=unix:path=") + runtime.filePath(QStringLiteral("bus")),
                  QStringLiteral("--print-address=1")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return daemon.canReadLine(); }, 5000));
    const auto bus = desktop_notifier::session_bus();
    ASSERT_TRUE(bus);
    EXPECT_TRUE(bus->isConnected());
    QDBusConnection::disconnectFromBus(QStringLiteral("kestrova-session"));
    daemon.kill();
    daemon.waitForFinished(5000);
}

#include "notify_test.moc"
