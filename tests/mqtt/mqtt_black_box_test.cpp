// The real program on a real broker: what a subscriber sees of a station
// that starts, loses its logger, and is killed.
#include "support/broker.h"
#include "support/build_paths.h"
#include "support/files.h"
#include "support/process.h"
#include "support/pty.h"

#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

TEST(mqtt_black_box, a_pulled_logger_leaves_no_reading_live_and_a_killed_station_is_offline) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    QTemporaryDir dir;
    pty_pair pty;
    ASSERT_TRUE(
        write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
                   "[Ports]\r\n1=" + pty.slave_path().toLocal8Bit() +
                       "\r\n[MQTT]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(broker.port()) +
                       "\r\ntopic=site/station7\r\n[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"));
    QProcess monitor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    monitor.setProcessEnvironment(env);
    monitor.setWorkingDirectory(dir.path());
    monitor.start(QString::fromUtf8(build_paths::monitor), {});
    ASSERT_TRUE(monitor.waitForStarted(5000));

    ASSERT_TRUE(sub.wait([&](const auto&) {
        return sub.last(QStringLiteral("site/station7/status")).payload == "online";
    }));
    ASSERT_TRUE(pty.write(QByteArray("\xFE\x21", 2)));
    EXPECT_TRUE(sub.wait([&](const auto&) {
        return sub.last(QStringLiteral("site/station7/state")).payload.contains("\"sensor1\":33");
    }));

    // The cable is pulled: the reading the window still shows is not published.
    pty.hang_up();
    EXPECT_TRUE(sub.wait([&](const auto&) {
        const QByteArray state = sub.last(QStringLiteral("site/station7/state")).payload;
        return state.contains("\"link\":\"closed\"") && state.contains("\"sensor1\":null");
    })) << sub.last(QStringLiteral("site/station7/state")).payload.toStdString();

    ASSERT_TRUE(send_signal(monitor, SIGKILL));
    monitor.waitForFinished(5000);
    EXPECT_TRUE(sub.wait([&](const auto&) {
        return sub.last(QStringLiteral("site/station7/status")).payload == "offline";
    }));
}
