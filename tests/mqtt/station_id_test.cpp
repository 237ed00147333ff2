// Two monitors on one machine, in two folders, with only the broker set:
// each has a station id of its own, so they publish on two topics and never
// drop each other from the broker.
#include "rules/mqtt_fields.h"
#include "support/broker.h"
#include "support/build_paths.h"
#include "support/files.h"
#include "support/process.h"
#include "support/pty.h"

#include <QDir>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct station {
    QTemporaryDir dir;
    pty_pair logger;
    QProcess monitor;
    process_guard guard{monitor};

    QString topic() const {
        return QStringLiteral("kestrova/") +
               rules::mqtt::make_station_id(QSysInfo::machineHostName(),
                                            QDir(dir.path()).dirName());
    }
    bool start(int broker_port) {
        if (!write_file(
                dir.filePath(QStringLiteral("Tarnwick.INI")),
                "[Ports]\r\n1=" + logger.slave_path().toLocal8Bit() +
                    "\r\n[MQTT]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(broker_port) +
                    "\r\n[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        monitor.setProcessEnvironment(env);
        monitor.setWorkingDirectory(dir.path());
        monitor.start(QString::fromUtf8(build_paths::monitor), {});
        return monitor.waitForStarted(5000);
    }
};

} // namespace

TEST(station_id, two_monitors_in_two_folders_publish_on_two_topics_and_never_drop_each_other) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    station one, two;
    ASSERT_NE(one.topic(), two.topic());
    ASSERT_TRUE(one.start(broker.port()));
    ASSERT_TRUE(two.start(broker.port()));
    const auto count = [&](const QString& topic, const QByteArray& payload) {
        int n = 0;
        for (const test_subscriber::message& m : sub.messages())
            n += m.topic == topic && (payload.isEmpty() || m.payload == payload);
        return n;
    };
    ASSERT_TRUE(one.logger.write(QByteArray("\xFE\x19", 2)));
    ASSERT_TRUE(two.logger.write(QByteArray("\xFE\x1A", 2)));
    // Up to a sampling tick each (5 s): long enough for a broker to have
    // dropped one for the other more than once (they reconnect within 2.5 s).
    EXPECT_TRUE(sub.wait(
        [&](const auto&) {
            return count(one.topic() + QStringLiteral("/state"), {}) >= 3 &&
                   count(two.topic() + QStringLiteral("/state"), {}) >= 3;
        },
        20000));
    for (const station* s : {&one, &two}) {
        SCOPED_TRACE(s->topic().toStdString());
        EXPECT_EQ(count(s->topic() + QStringLiteral("/status"), "online"), 1);
        EXPECT_EQ(count(s->topic() + QStringLiteral("/status"), "offline"), 0);
        // The id was made once and kept for the next start.
        EXPECT_TRUE(read_file(s->dir.filePath(QStringLiteral("Tarnwick.INI")))
                        .contains("station=" + s->topic().sliced(9).toLocal8Bit() + "\r\n"));
    }
    EXPECT_TRUE(
        sub.last(one.topic() + QStringLiteral("/state")).payload.contains("\"sensor1\":25"));
    EXPECT_TRUE(
        sub.last(two.topic() + QStringLiteral("/state")).payload.contains("\"sensor1\":26"));
}
