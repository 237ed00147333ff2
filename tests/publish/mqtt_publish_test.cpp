#include "publish/mqtt_publisher.h"

#include "alarm/install.h"
#include "app/frm_thermometer.h"
#include "app/lifecycle.h"
#include "controls/properties.h"
#include "controls/timer.h"
#include "settings/inifile.h"
#include "support/broker.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/recording_prompts.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString deg(const char* n) {
    return QString::fromLatin1(n) + QStringLiteral("\u00BAC");
}

QJsonObject json(const QByteArray& payload) {
    return QJsonDocument::fromJson(payload).object();
}

// A window whose alarms are on with thresholds 30 and 10 for both sensors,
// publishing to `port`.
struct station_fixture : ::testing::Test {
    recording_prompts ask;
    frm_thermometer w{window_seams{ask}};
    const thermometer_controls& ui = w.ui();

    station_fixture() {
        // As at the end of start-up, but without sampling ticks, so that
        // every state message comes from a change.
        ui.Timer1->set_enabled(false);
        alarms::apply_alarm_switches(w.sensors());
        w.release_timers();
        for (QLineEdit* high : {ui.Text3, ui.Text6})
            high->setText(QStringLiteral("30"));
        for (QLineEdit* low : {ui.Text4, ui.Text5})
            low->setText(QStringLiteral("10"));
        ui.Text7->setText(QStringLiteral("2"));
    }

    mqtt::settings settings_for(int port, const QString& host = QStringLiteral("127.0.0.1")) {
        mqtt::settings s;
        s.host = host;
        s.port = port;
        s.topic = QStringLiteral("kestrova/test");
        s.client_id = QStringLiteral("kestrova-test");
        s.discovery = QStringLiteral("homeassistant");
        return s;
    }
    std::unique_ptr<mqtt_publisher> publish(const mqtt::settings& s) {
        return std::make_unique<mqtt_publisher>(w.sensors(), w.logging(), ui.Text7, s,
                                                QStringLiteral("lab-pc"));
    }
    bool connected(const mqtt_publisher& p) {
        return QTest::qWaitFor(
            [&] { return p.status_line().endsWith(QLatin1String(": connected")); }, 10000);
    }
};

bool state_is(const test_subscriber& sub, const char* key, const QJsonValue& want) {
    return sub.wait([&](const auto&) {
        return json(sub.last(QStringLiteral("kestrova/test/state")).payload)
                   .value(QLatin1String(key)) == want;
    });
}

} // namespace

TEST_F(station_fixture, status_discovery_and_state_for_every_lamp_and_missing_readings) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    auto publisher = publish(settings_for(broker.port()));
    ASSERT_TRUE(connected(*publisher));
    EXPECT_EQ(publisher->status_line(), QStringLiteral("Publishing to mqtt://127.0.0.1:%1 as "
                                                       "kestrova/test: connected")
                                            .arg(broker.port()));

    ASSERT_TRUE(sub.wait([](const auto& m) { return m.size() >= 6; }));
    const auto status = sub.last(QStringLiteral("kestrova/test/status"));
    EXPECT_EQ(status.payload, "online");
    const QJsonObject temp =
        json(sub.last(QStringLiteral("homeassistant/sensor/kestrova-test/sensor1/config")).payload);
    EXPECT_EQ(temp.value(QLatin1String("device_class")), QStringLiteral("temperature"));
    EXPECT_EQ(temp.value(QLatin1String("unit_of_measurement")), QString::fromUtf8("\u00B0C"));
    EXPECT_EQ(temp.value(QLatin1String("unique_id")), QStringLiteral("kestrova-test_sensor1"));
    EXPECT_EQ(temp.value(QLatin1String("availability_topic")),
              QStringLiteral("kestrova/test/status"));
    EXPECT_EQ(temp.value(QLatin1String("device")).toObject().value(QLatin1String("name")),
              QStringLiteral("KESTROVA lab-pc"));
    const QJsonObject problem =
        json(sub.last(QStringLiteral("homeassistant/binary_sensor/kestrova-test/alarm2/config"))
                 .payload);
    EXPECT_EQ(problem.value(QLatin1String("device_class")), QStringLiteral("problem"));

    // Missing readings are null; switches off read "off".
    EXPECT_TRUE(state_is(sub, "sensor1", QJsonValue::Null));
    EXPECT_TRUE(state_is(sub, "alarm1", QStringLiteral("off")));
    EXPECT_TRUE(state_is(sub, "port", 2));

    controls::set_check_value(ui.Check2, 1);
    controls::set_check_value(ui.Check3, 1);
    struct row {
        const char* reading1;
        const char* reading2;
        const char* alarm1;
        const char* alarm2;
    };
    const row rows[] = {{"25", "35", "normal", "high"}, {"5", "20", "low", "normal"}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.reading1);
        ui.Text2->setText(deg(r.reading1));
        ui.Text1->setText(deg(r.reading2));
        EXPECT_TRUE(state_is(sub, "alarm1", QString::fromLatin1(r.alarm1)));
        EXPECT_TRUE(state_is(sub, "alarm2", QString::fromLatin1(r.alarm2)));
        EXPECT_TRUE(state_is(sub, "sensor1", QString::fromLatin1(r.reading1).toInt()));
    }
    ui.Text1->setText(QStringLiteral(" - - "));
    EXPECT_TRUE(state_is(sub, "sensor2", QJsonValue::Null));
    // A subscriber that comes later finds status and state retained.
    test_subscriber late(broker.port());
    EXPECT_TRUE(late.wait([&](const auto&) {
        return late.last(QStringLiteral("kestrova/test/state")).retained &&
               late.last(QStringLiteral("kestrova/test/status")).retained;
    }));

    // Changes within one turn of the event loop go out as one message.
    controls::set_check_value(ui.Check2, 0);
    controls::set_check_value(ui.Check3, 0);
    ASSERT_TRUE(state_is(sub, "alarm2", QStringLiteral("off")));
    sub.clear();
    ui.Text2->setText(deg("26"));
    ui.Text1->setText(deg("27"));
    ui.Text2->setText(deg("28"));
    ASSERT_TRUE(state_is(sub, "sensor1", 28));
    EXPECT_FALSE(sub.wait(
        [](const auto& m) {
            int states = 0;
            for (const auto& msg : m)
                states += msg.topic == QLatin1String("kestrova/test/state");
            return states > 1;
        },
        300));
}

TEST_F(station_fixture, a_broker_restart_costs_only_the_pause_and_the_latest_state_follows) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    auto publisher = publish(settings_for(broker.port()));
    ASSERT_TRUE(connected(*publisher));

    broker.stop();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return publisher->status_line().contains(QLatin1String("not connected")); }, 10000));
    // Meanwhile only the latest state is kept.
    for (const char* r : {"40", "41", "42"})
        ui.Text2->setText(deg(r));

    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    ASSERT_TRUE(connected(*publisher));
    EXPECT_TRUE(state_is(sub, "sensor1", 42));
    EXPECT_EQ(sub.last(QStringLiteral("kestrova/test/status")).payload, "online");
}

TEST_F(station_fixture, tls_verifies_the_brokers_certificate) {
    QTemporaryDir certs;
    ASSERT_TRUE(make_test_certificates(certs.path()));
    test_broker broker({certs.filePath(QStringLiteral("ca.crt")),
                        certs.filePath(QStringLiteral("server.crt")),
                        certs.filePath(QStringLiteral("server.key"))});
    ASSERT_TRUE(broker.start());

    mqtt::settings s = settings_for(broker.port(), QStringLiteral("localhost"));
    s.cafile = certs.filePath(QStringLiteral("ca.crt"));
    auto trusted = publish(s);
    EXPECT_TRUE(connected(*trusted));
    EXPECT_TRUE(
        trusted->status_line().startsWith(QLatin1String("Publishing to mqtts://localhost:")));
    trusted.reset();

    s.cafile = certs.filePath(QStringLiteral("other_ca.crt"));
    auto refused = publish(s);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return refused->status_line().contains(QLatin1String("not connected: ")); }, 10000))
        << refused->status_line().toStdString();
    EXPECT_FALSE(refused->status_line().endsWith(QLatin1String(": connected")));
}

TEST(mqtt_settings, a_password_in_clear_or_readable_by_others_is_warned_about_once) {
    QTemporaryDir dir;
    inifile ini;
    ini.set_ini_dir(dir.path());
    const QString path = dir.filePath(QStringLiteral("Tarnwick.INI"));
    struct row {
        const char* mqtt;
        QFile::Permissions mode;
        int warnings;
    };
    const QFile::Permissions private_mode = QFile::ReadOwner | QFile::WriteOwner;
    const row rows[] = {
        {"host=broker.lab\r\npassword=s3cret\r\n", private_mode | QFile::ReadGroup, 2},
        {"host=broker.lab\r\npassword=s3cret\r\ncafile=/ca.pem\r\n", private_mode, 0},
        {"host=localhost\r\npassword=s3cret\r\n", private_mode | QFile::ReadOther, 1},
        {"host=broker.lab\r\n", private_mode | QFile::ReadOther, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.mqtt);
        ASSERT_TRUE(write_file(path, QByteArray("[MQTT]\r\n") + r.mqtt));
        ASSERT_TRUE(QFile::setPermissions(path, r.mode));
        testing::internal::CaptureStderr();
        const mqtt::settings s = mqtt_publisher::read_settings(ini, QStringLiteral("lab-pc"));
        const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_TRUE(s.enabled());
        EXPECT_EQ(err.count(QLatin1String("warning")), r.warnings) << err.toStdString();
    }
}

TEST(mqtt_station, label8_tells_how_publishing_goes_beside_the_port) {
    QTemporaryDir dir;
    pty_pair pty;
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")),
                           "[Ports]\r\n1=" + pty.slave_path().toLocal8Bit() +
                               "\r\n[MQTT]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(port) +
                               "\r\ntopic=site/s1\r\n[VEZ]\r\nfrm_thermometer.Text7.text=1\r\n"));
    recording_prompts ask;
    kestrova_app app{window_seams{.ask = ask, .work_dir = dir.path()}};
    ASSERT_TRUE(app.load());
    const QLabel* label8 = app.window().ui().Label8;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return label8->toolTip().endsWith(
                QStringLiteral("\nPublishing to mqtt://127.0.0.1:%1 as site/s1: not connected: "
                               "Connection refused")
                    .arg(port));
        },
        10000))
        << label8->toolTip().toStdString();
    EXPECT_TRUE(label8->toolTip().startsWith(QLatin1String("Port 1 (")));
}
