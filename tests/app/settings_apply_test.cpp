// The settings window in the running monitor: opened by Ctrl+, and put to
// work by OK at once, without a restart; Cancel and Escape change nothing.
#include "alerts/alarm_state.h"
#include "app/kestrova_app.h"
#include "mqtt/mqtt_publisher.h"
#include "serial/comm_control.h"
#include "settings_window/alarms_page.h"
#include "settings_window/dialog.h"
#include "support/broker.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/recording_prompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct apply_fixture : ::testing::Test {
    test_broker broker;
    QTemporaryDir dir;
    pty_pair logger;
    recording_prompts ask;
    std::unique_ptr<app::kestrova_app> app;

    QString ini_path() const { return dir.filePath(QStringLiteral("Tarnwick.INI")); }
    QByteArray vez() const {
        const QByteArray ini = read_file(ini_path());
        return ini.mid(ini.indexOf("[VEZ]"));
    }
    void start(const QByteArray& mqtt, const QByteArray& ports = {}) {
        ASSERT_TRUE(broker.start());
        // [VEZ] with LF line ends and no line end at the end: a rewrite of
        // it would show.
        ASSERT_TRUE(write_file(ini_path(), "[Ports]\r\n1=" + logger.slave_path().toLocal8Bit() +
                                               "\r\n" + ports + "[MQTT]\r\n" + mqtt +
                                               "[VEZ]\nfrm_thermometer.Text7.text=1\n"
                                               "frm_thermometer.Text3.text=30"));
        app = std::make_unique<app::kestrova_app>(
            app::window_seams{.ask = ask, .work_dir = dir.path()});
        ASSERT_TRUE(app->load());
    }
    settings_window::dialog& settings() {
        app->window().activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&app->window()));
        QTest::keyClick(&app->window(), Qt::Key_Comma, Qt::ControlModifier);
        settings_window::dialog* w = app->settings_dialog();
        EXPECT_NE(w, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == w; }));
        return *w;
    }
    template <class T = QLineEdit> T* field(const char* name) {
        return app->settings_dialog()->findChild<T*>(QString::fromLatin1(name));
    }
    QByteArrayList payloads(const test_subscriber& sub, const QString& topic) {
        QByteArrayList out;
        for (const test_subscriber::message& m : sub.messages())
            if (m.topic == topic)
                out << m.payload;
        return out;
    }
};

} // namespace

TEST_F(apply_fixture, ctrl_comma_a_host_and_return_publish_at_once_and_keep_vez_byte_for_byte) {
    test_subscriber sub(broker.port());
    start("port=" + QByteArray::number(broker.port()) + "\r\ntopic=site/s1\r\n");
    const QByteArray vez_before = vez();
    EXPECT_EQ(app->publisher(), nullptr);

    settings_window::dialog& w = settings();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("KESTROVA Settings"));
    ASSERT_EQ(QApplication::focusWidget(), field("broker_host"));
    // One window at a time.
    QTest::keyClick(&app->window(), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(app->settings_dialog(), &w);

    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("127.0.0.1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(sub.wait(
        [&](const auto&) { return sub.last(QStringLiteral("site/s1/status")).payload == "online"; },
        10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return app->settings_dialog() == nullptr; }))
        << "the window closes";
    const QByteArray ini = read_file(ini_path());
    EXPECT_TRUE(ini.contains("[MQTT]\r\nhost=127.0.0.1\r\nport=" +
                             QByteArray::number(broker.port()) + "\r\ntopic=site/s1\r\n"))
        << ini.toStdString();
    EXPECT_EQ(vez(), vez_before);
}

TEST_F(apply_fixture, ok_moves_the_link_cleanly_opens_the_new_device_and_switches_notifications) {
    // A desktop session bus of the test's own, where the monitor finds it.
    struct session {
        QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        QTemporaryDir dir;
        QProcess daemon;
        ~session() {
            QDBusConnection::disconnectFromBus(QStringLiteral("kestrova-session"));
            daemon.kill();
            daemon.waitForFinished(5000);
            qputenv("DBUS_SESSION_BUS_ADDRESS", address);
            qputenv("XDG_RUNTIME_DIR", runtime);
        }
    } bus;
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", bus.dir.path().toLocal8Bit());
    bus.daemon.start(
        QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--nofork"),
         QStringLiteral("--address=unix:path=") + bus.dir.filePath(QStringLiteral("bus")),
         QStringLiteral("--print-address=1")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return bus.daemon.canReadLine(); }, 5000));

    test_subscriber sub(broker.port());
    pty_pair replacement;
    start("host=127.0.0.1\r\nport=" + QByteArray::number(broker.port()) + "\r\ntopic=site/old\r\n",
          "[Notify]\r\ndesktop=0\r\n");
    const QString old_status = QStringLiteral("site/old/status");
    ASSERT_TRUE(sub.wait([&](const auto&) { return sub.last(old_status).payload == "online"; }));
    EXPECT_EQ(app->notifier(), nullptr);
    serial::comm_control* comm = app->window().ui().MSComm1;
    ASSERT_TRUE(comm->port_open());
    const mqtt::mqtt_publisher* old_publisher = app->publisher();

    // Cancel and Escape change nothing.
    settings();
    field("topic")->setText(QStringLiteral("site/cancelled"));
    QTest::keyClick(field("topic"), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return app->settings_dialog() == nullptr; }));
    EXPECT_EQ(app->publisher(), old_publisher);
    EXPECT_FALSE(read_file(ini_path()).contains("cancelled"));

    settings();
    field("topic")->setText(QStringLiteral("site/new"));
    field<QCheckBox>("desktop_notifications")->setChecked(true);
    app->settings_dialog()->ports()->device_field(1)->setText(replacement.slave_path());
    QTest::keyClick(field("topic"), Qt::Key_Return);

    EXPECT_NE(app->notifier(), nullptr) << "notifications are on at once";
    EXPECT_EQ(comm->device(), replacement.slave_path());
    EXPECT_TRUE(comm->port_open()) << "the new device is open in place of the old one";
    ASSERT_TRUE(replacement.write(QByteArray("\xFE\x19", 2)));
    EXPECT_TRUE(sub.wait([&](const auto&) {
        return sub.last(QStringLiteral("site/new/state")).payload.contains("\"sensor1\":25");
    }));
    // The old link said goodbye once; no last will followed it, and the new
    // one took the old topic's status back.
    EXPECT_EQ(payloads(sub, old_status), (QByteArrayList{"online", "offline", ""}));
    EXPECT_EQ(payloads(sub, QStringLiteral("site/new/status")), QByteArrayList{"online"});

    settings();
    field<QCheckBox>("desktop_notifications")->setChecked(false);
    QTest::keyClick(field("topic"), Qt::Key_Return);
    EXPECT_EQ(app->notifier(), nullptr) << "and off again";
    EXPECT_EQ(payloads(sub, QStringLiteral("site/new/status")), QByteArrayList{"online"})
        << "the link stays as it is when its settings do not change";
}

TEST_F(apply_fixture, the_alarms_page_refuses_what_cannot_be_used_and_applies_the_rest_at_once) {
    start("");
    settings_window::dialog& w = settings();
    auto* pages = w.findChild<QTabWidget*>();
    pages->setCurrentWidget(w.alarms());
    field("alarm_hold")->setText(QStringLiteral("ten"));
    field("alarm_name1")->setText(QStringLiteral("Freezer A"));
    QTest::keyClick(&w, Qt::Key_Return);
    EXPECT_EQ(app->settings_dialog(), &w) << "OK is refused while a field is wrong";
    EXPECT_EQ(field<QLabel>("alarm_hold_reason")->text(),
              QStringLiteral("is not a whole number of seconds from 0 to 86400"));
    field("alarm_hold")->setText(QStringLiteral("5"));
    QTest::keyClick(&w, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->settings_dialog() == nullptr; }));
    EXPECT_TRUE(read_file(ini_path()).contains("[Alarm]\r\nhold=5\r\nname1=Freezer A\r\n"));
    EXPECT_EQ(app->alarms()->settings().hold, std::chrono::seconds(5));
    EXPECT_EQ(app->alarms()->name(1), QStringLiteral("Freezer A"));
    app->unload();
    const QByteArray journal = read_file(dir.filePath(QStringLiteral("TARNWICK-journal.jsonl")));
    EXPECT_TRUE(
        journal.contains(R"("event":"setting","from":60,"key":"hold","to":5,"via":"settings")"))
        << journal.toStdString();
}
