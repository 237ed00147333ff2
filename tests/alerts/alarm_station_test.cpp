// The alarm state through the whole program: the logger's bytes on a pty,
// the window's controls, a notification service on a private bus, the
// journal on disk.
#include "alerts/alarm_state.h"
#include "alerts/alarms_window.h"
#include "alerts/link_watch.h"
#include "app/kestrova_app.h"
#include "controls/timer.h"
#include "controls/updown.h"
#include "settings_window/dialog.h"
#include "settings_window/mail_page.h"
#include "support/broker.h"
#include "support/files.h"
#include "support/notification_server.h"
#include "support/private_bus.h"
#include "support/pty.h"
#include "support/recording_prompts.h"
#include "support/smtp_server.h"
#include "support/typing.h"

#include <QAction>
#include <QDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <thread>

namespace {

const QString alarm35 = QString::fromUtf8("Sensor 1 high alarm: 35\u00BAC (threshold 30\u00BAC)");

// A station whose sensor 1 alarm is on (high 30, low 10), on a pty, with a
// desktop on a private session bus.
struct alarm_station : ::testing::Test {
    QTemporaryDir dir;
    recording_prompts ask;
    pty_pair logger;
    private_bus bus;
    notification_server desktop;
    QByteArray saved_bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    std::unique_ptr<app::kestrova_app> app;

    ~alarm_station() override {
        app.reset();
        qputenv("DBUS_SESSION_BUS_ADDRESS", saved_bus);
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
        // The program's own connection keeps its name past this bus.
        QDBusConnection::disconnectFromBus(QStringLiteral("kestrova-session"));
    }
    void start(const QByteArray& alarm_section = {},
               std::chrono::milliseconds lifetime = std::chrono::seconds(30)) {
        ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
                               "[Ports]\r\n1=" + logger.slave_path().toLocal8Bit() +
                                   "\r\n[Alarm]\r\n" + alarm_section +
                                   "[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"
                                   "frm_thermometer.Check2.value=1\r\n"
                                   "frm_thermometer.Text3.text=30\r\n"
                                   "frm_thermometer.Text4.text=10\r\n"));
        ASSERT_TRUE(serve_notifications(bus.connect(QStringLiteral("desktop")), desktop));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address.toLocal8Bit());
        app = std::make_unique<app::kestrova_app>(
            app::window_seams{.ask = ask,
                              .work_dir = dir.path(),
                              .reading_lifetime = lifetime,
                              .settle_pause = std::chrono::milliseconds(600)});
        ASSERT_TRUE(app->load());
        ASSERT_TRUE(QTest::qWaitFor([&] { return app->notifier() != nullptr; }, 10000));
    }
    const app::thermometer_controls& ui() { return app->window().ui(); }
    void send(int sensor, int value) {
        ASSERT_TRUE(logger.write(QByteArray(1, char(sensor == 1 ? 254 : 253)) + char(value)));
    }
    // Sends until the window shows it.
    void reading(int value) {
        send(1, value);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return ui().Text2->text() == QStringLiteral("%1\u00BAC").arg(value); }, 5000));
        QTest::qWait(50);
    }
    bool calls(qsizetype n, int ms = 5000) {
        return QTest::qWaitFor([&] { return desktop.calls.size() == n; }, ms);
    }
    bool no_more_than(qsizetype n, int ms) {
        return !QTest::qWaitFor([&] { return desktop.calls.size() > n; }, ms);
    }
    QString summary(qsizetype i) const { return desktop.calls.value(i).summary; }
    QList<QJsonObject> journal() const {
        QList<QJsonObject> lines;
        const QByteArray all = read_file(dir.filePath(QStringLiteral("TARNWICK-journal.jsonl")));
        for (const QByteArray& l : all.split('\n'))
            if (!l.isEmpty())
                lines << QJsonDocument::fromJson(l).object();
        return lines;
    }
};

QString said(const QJsonObject& o) {
    QString s = o.value(QStringLiteral("event")).toString();
    for (const char* key : {"phase", "channel", "key", "state", "via", "comment"})
        if (o.contains(QLatin1String(key)))
            s += u' ' + o.value(QLatin1String(key)).toVariant().toString();
    return s;
}

} // namespace

// 35, a dip to 29 within the clear hold, then 45: the alarm stands the whole
// time, and a clean end in that state says it is no longer watched.
TEST_F(alarm_station, never_says_back_to_normal_while_the_sensor_is_in_alarm) {
    start("hold=2\r\n");
    reading(35);
    ASSERT_TRUE(calls(1));
    EXPECT_EQ(summary(0), alarm35);
    reading(29);
    EXPECT_TRUE(no_more_than(1, 1000)) << summary(1).toStdString();
    reading(45);
    EXPECT_TRUE(no_more_than(1, 1500)) << summary(1).toStdString();
    app->unload();
    ASSERT_TRUE(calls(2));
    EXPECT_EQ(summary(1), QStringLiteral("KESTROVA stopped; Sensor 1 was in high alarm"));
}

// Reading 25, high 30: the spin button's down arrow held past the reading,
// then its up arrow held back above it: nothing is raised.
TEST_F(alarm_station, a_spin_button_held_across_the_reading_raises_nothing) {
    start();
    app->window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&app->window()));
    reading(25);
    auto* down = ui().UpDown1->findChild<QToolButton*>(QStringLiteral("down"));
    auto* up = ui().UpDown1->findChild<QToolButton*>(QStringLiteral("up"));
    ASSERT_TRUE(down && up);
    QTest::mousePress(down, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui().UpDown1->value() <= 22; }, 5000));
    QTest::mouseRelease(down, Qt::LeftButton);
    QTest::mousePress(up, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui().UpDown1->value() >= 27; }, 5000));
    QTest::mouseRelease(up, Qt::LeftButton);
    EXPECT_TRUE(no_more_than(0, 1500)) << summary(0).toStdString();
}

// The window thread held up longer than a reading lives (as a suspended
// machine or SIGSTOP would), while sensor 2 falls silent: what waited in
// the port is not taken for news.
TEST_F(alarm_station, after_a_stall_what_waited_in_the_port_is_not_current) {
    start({}, std::chrono::milliseconds(500));
    // Readings live 0.5 s: three sampling periods of 0.1 s are less.
    ui().Timer1->set_interval(100);
    ASSERT_EQ(app->link().limit(), std::chrono::milliseconds(500));
    QTimer both;
    QObject::connect(&both, &QTimer::timeout, &both, [this] {
        send(1, 25);
        send(2, 31);
    });
    both.start(100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->link().current(2); }, 5000));
    both.stop();
    // Sensor 2's last reading and then sensor 1's, while nothing runs.
    send(2, 31);
    send(1, 25);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    QTest::qWait(200);
    EXPECT_FALSE(app->link().current(2));
    send(1, 26);
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->link().current(1); }, 5000));
    EXPECT_FALSE(app->link().current(2));
}

TEST_F(alarm_station, is_acknowledged_in_the_alarms_window_and_the_journal_tells_the_story) {
    start("hold=0\r\n");
    app->window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&app->window()));
    reading(25);
    // A threshold typed and left: a setting changed in the window.
    ui().Text3->setFocus();
    ui().Text3->selectAll();
    type_keys(ui().Text3, QStringLiteral("28"), 50);
    QTest::keyClick(ui().Text3, Qt::Key_Tab);
    reading(35);
    ASSERT_TRUE(calls(1));
    app->window().findChild<QAction*>(QStringLiteral("alarms_action"))->trigger();
    alerts::alarms_window* alarms = app->alarms_dialog();
    ASSERT_NE(alarms, nullptr);
    EXPECT_TRUE(
        alarms->findChild<QLabel*>(QStringLiteral("state1"))->text().startsWith(u"High alarm"));
    auto* acknowledge = alarms->findChild<QPushButton*>(QStringLiteral("acknowledge1"));
    ASSERT_TRUE(acknowledge->isEnabled());
    QTest::mouseClick(acknowledge, Qt::LeftButton);
    auto* ask = alarms->findChild<QDialog*>(QStringLiteral("acknowledge_dialog"));
    ASSERT_NE(ask, nullptr);
    QTest::keyClicks(ask->findChild<QPlainTextEdit*>(QStringLiteral("comment")),
                     QStringLiteral("door closed"));
    ask->accept();
    ASSERT_TRUE(calls(2));
    EXPECT_TRUE(summary(1).startsWith(QString::fromUtf8(
        "Sensor 1 high alarm: 35\u00BAC (threshold 28\u00BAC), acknowledged by")));
    EXPECT_FALSE(acknowledge->isEnabled());
    EXPECT_TRUE(alarms->findChild<QLabel*>(QStringLiteral("acknowledged1"))
                    ->text()
                    .endsWith(QLatin1String("(window): door closed")));
    reading(25);
    ASSERT_TRUE(calls(3));
    app->unload();

    // What the desktop answered comes in its own time; the rest in order.
    QStringList story;
    QStringList told;
    for (const QJsonObject& l : journal()) {
        ASSERT_TRUE(l.value(QStringLiteral("time")).toString().contains(u'T'));
        (l.value(QStringLiteral("event")).toString() == u"told" ? told : story) << said(l);
    }
    EXPECT_EQ(story, (QStringList{QStringLiteral("start"), QStringLiteral("port open"),
                                  QStringLiteral("setting threshold window"),
                                  QStringLiteral("alarm raised"),
                                  QStringLiteral("alarm acknowledged window door closed"),
                                  QStringLiteral("alarm ended"), QStringLiteral("stop")}))
        << story.join(QStringLiteral(" / ")).toStdString();
    EXPECT_EQ(told, (QStringList{QStringLiteral("told raised desktop"),
                                 QStringLiteral("told acknowledged desktop"),
                                 QStringLiteral("told ended desktop")}))
        << told.join(QStringLiteral(" / ")).toStdString();
}

// A reading that keeps crossing the threshold within one alarm: one alarm,
// and the journal is not flooded with its crossings.
TEST_F(alarm_station, a_reading_flapping_across_a_threshold_is_one_alarm_and_few_lines) {
    start("hold=60\r\n");
    for (int i = 0; i < 6; ++i) {
        reading(35);
        reading(29);
    }
    ASSERT_TRUE(calls(1));
    EXPECT_TRUE(no_more_than(1, 300));
    app->unload();
    int crossings = 0;
    for (const QJsonObject& l : journal())
        crossings += l.value(QStringLiteral("phase")).toString() == u"clearing" ||
                     l.value(QStringLiteral("phase")).toString() == u"resumed";
    EXPECT_EQ(crossings, 1);
}

// E-mail through the whole program: [Mail] read at the start, an alarm's
// message in a real server's mailbox and its outcome in the journal; the
// settings window's test message sent with what the page holds.
TEST_F(alarm_station, an_alarm_is_mailed_and_the_settings_window_sends_a_test_message) {
    ASSERT_TRUE(make_test_certificates(dir.path()));
    smtp_server server(dir.path());
    ASSERT_TRUE(
        server.start({QStringLiteral("--cert"), dir.filePath(QStringLiteral("server.crt")),
                      QStringLiteral("--key"), dir.filePath(QStringLiteral("server.key"))}));
    start("hold=0\r\n[Mail]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(server.port) +
          "\r\ncafile=" + dir.filePath(QStringLiteral("ca.crt")).toUtf8() +
          "\r\nto=ops@lab.example\r\n");
    ASSERT_NE(app->courier(), nullptr);
    reading(25);
    reading(35);
    ASSERT_TRUE(server.wait_for(1));
    const QString host = QSysInfo::machineHostName();
    EXPECT_EQ(server.messages()[0].value(QStringLiteral("subject")).toString(),
              QStringLiteral("[KESTROVA %1] Sensor 1 high alarm: 35 \u00B0C (threshold 30 \u00B0C)")
                  .arg(host));

    app->open_settings();
    settings_window::dialog* w = app->settings_dialog();
    ASSERT_NE(w, nullptr);
    w->findChild<QTabWidget*>()->setCurrentWidget(w->mail());
    EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("mail_host"))->text(),
              QStringLiteral("127.0.0.1"));
    w->findChild<QLineEdit*>(QStringLiteral("mail_to"))->setText(QStringLiteral("qa@lab.example"));
    QTest::mouseClick(w->mail()->test_button(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w->mail()->outcome()->text().startsWith(QStringLiteral("Sent")); }, 10000))
        << w->mail()->outcome()->text().toStdString();
    ASSERT_TRUE(server.wait_for(2));
    EXPECT_EQ(server.messages()[1].value(QStringLiteral("subject")).toString(),
              QStringLiteral("[KESTROVA %1] Test message").arg(host));
    EXPECT_EQ(server.messages()[1].value(QStringLiteral("to")).toString(),
              QStringLiteral("qa@lab.example"));
    w->reject();
    app->unload();
    QStringList told;
    for (const QJsonObject& l : journal())
        if (l.value(QStringLiteral("channel")) == QStringLiteral("email"))
            told << said(l) + (l.value(QStringLiteral("ok")).toBool() ? QStringLiteral(" ok")
                                                                      : QStringLiteral(" failed"));
    // The alarm stood at the end: a last message says nobody watches it now.
    EXPECT_EQ(told, (QStringList{QStringLiteral("told raised email ok"),
                                 QStringLiteral("told stopped email ok")}));
    ASSERT_TRUE(server.wait_for(3));
    EXPECT_TRUE(server.messages()[2]
                    .value(QStringLiteral("subject"))
                    .toString()
                    .endsWith(QStringLiteral("KESTROVA stopped; Sensor 1 was in high alarm")));
    EXPECT_EQ(server.messages()[2].value(QStringLiteral("in_reply_to")).toString(),
              server.messages()[0].value(QStringLiteral("message_id")).toString());
}
