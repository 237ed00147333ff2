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
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A monitor in `folder` of a temporary directory (made with its parents),
// publishing to a broker on `broker_port`.
struct station {
    QTemporaryDir dir;
    QString folder;
    pty_pair logger;
    QProcess monitor;
    process_guard guard{monitor};

    explicit station(const QString& name)
        : folder(QDir(dir.path()).filePath(name)) {
        QDir().mkpath(folder);
    }
    QString topic() const {
        return QStringLiteral("kestrova/") +
               rules::mqtt::make_station_id(QSysInfo::machineHostName(),
                                            QDir(folder).absolutePath());
    }
    bool start(int broker_port, const QByteArray& more = {}) {
        if (!write_file(
                QDir(folder).filePath(QStringLiteral("Tarnwick.INI")),
                "[Ports]\r\n1=" + logger.slave_path().toLocal8Bit() +
                    "\r\n[MQTT]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(broker_port) +
                    "\r\n" + more + "[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        monitor.setProcessEnvironment(env);
        monitor.setWorkingDirectory(folder);
        monitor.start(QString::fromUtf8(build_paths::monitor), {});
        return monitor.waitForStarted(5000);
    }
};

} // namespace

// Folders whose last names are the same, or read alike once their letters
// are dropped, are still two stations: two topics, never dropped for each
// other; and a third station set to one's topic is refused, saying by whom.
TEST(station_id, two_monitors_in_two_folders_publish_on_two_topics_and_never_drop_each_other) {
    const char* const pairs[][2] = {{"fridge/kestrova", "freezer/kestrova"},
                                    {"холодильник", "морозильник"}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair[0]);
        test_broker broker;
        ASSERT_TRUE(broker.start());
        test_subscriber sub(broker.port());
        station one(QString::fromUtf8(pair[0])), two(QString::fromUtf8(pair[1]));
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
            EXPECT_TRUE(read_file(QDir(s->folder).filePath(QStringLiteral("Tarnwick.INI")))
                            .contains("station=" + s->topic().sliced(9).toLocal8Bit() + "\r\n"));
        }
        EXPECT_TRUE(
            sub.last(one.topic() + QStringLiteral("/state")).payload.contains("\"sensor1\":25"));
        EXPECT_TRUE(
            sub.last(two.topic() + QStringLiteral("/state")).payload.contains("\"sensor1\":26"));

        station third(QStringLiteral("third"));
        ASSERT_TRUE(third.start(broker.port(), "topic=" + one.topic().toUtf8() + "\r\n"));
        const QString refused =
            QStringLiteral("not publishing: %1 is in use by the station %2 on %3 (%4)")
                .arg(one.topic(), one.topic().sliced(9), QSysInfo::machineHostName(),
                     QDir(one.folder).absolutePath());
        QByteArray said;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                said += third.monitor.readAllStandardError();
                return QString::fromUtf8(said).contains(refused);
            },
            10000))
            << said.toStdString();
        EXPECT_EQ(count(one.topic() + QStringLiteral("/status"), "online"), 1);
        EXPECT_EQ(count(one.topic() + QStringLiteral("/owner"), {}), 1);
        // The journal keeps it too.
        const QString journal =
            QDir(third.folder).filePath(QStringLiteral("TARNWICK-journal.jsonl"));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return QString::fromUtf8(read_file(journal))
                    .contains(QStringLiteral("\"event\":\"broker\",\"status\":\"") + refused);
            },
            5000))
            << read_file(journal).toStdString();
    }
}
