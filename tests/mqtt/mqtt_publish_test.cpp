#include "mqtt/mqtt_publisher.h"
#include "mqtt/station_fixture.h"

#include "alarm/install.h"
#include "alerts/alarm_judge.h"
#include "alerts/alarm_state.h"
#include "alerts/link_watch.h"
#include "app/frm_thermometer.h"
#include "app/kestrova_app.h"
#include "controls/properties.h"
#include "controls/timer.h"
#include "settings/inifile.h"
#include "support/broker.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/recording_prompts.h"
#include "support/typing.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A broker that accepts the connection with `connack` (0: accepted, 5: not
// authorised), in the protocol version the client speaks, and then
// acknowledges nothing; counts the CONNECT and PUBLISH packets it receives.
class unanswering_broker : public QObject {
public:
    explicit unanswering_broker(char connack) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this, connack] {
            QTcpSocket* c = server_.nextPendingConnection();
            c->setParent(this);
            connect(c, &QTcpSocket::readyRead, this, [this, c, connack] {
                in_ += c->readAll();
                for (;;) {
                    // Fixed header: type and flags, then the remaining length.
                    qsizetype at = 1, length = 0;
                    for (int shift = 0; at < in_.size(); shift += 7) {
                        const auto b = static_cast<unsigned char>(in_[at++]);
                        length |= qsizetype(b & 0x7F) << shift;
                        if (!(b & 0x80))
                            break;
                    }
                    if (in_.size() < 2 || at + length > in_.size())
                        return;
                    const int type = static_cast<unsigned char>(in_[0]) >> 4;
                    if (type == 1) {
                        ++connects;
                        // After "\0\4MQTT", the protocol level: 5 wants a
                        // reason code (not authorised is 0x87) and properties.
                        mqtt5 = in_.size() > at + 6 && in_[at + 6] == 5;
                        if (mqtt5 && v311_only) {
                            // "Unacceptable protocol version", as MQTT 3.1.1 says it.
                            c->write(QByteArray("\x20\x02\x00\x01", 4));
                            c->disconnectFromHost();
                        } else if (mqtt5) {
                            c->write(QByteArray("\x20\x03\x00", 3) +
                                     (connack == 5 ? '\x87' : connack) + QByteArray(1, '\0'));
                            // Another client takes the id a moment later:
                            // DISCONNECT, 0x8E.
                            if (take_over)
                                QTimer::singleShot(300, c, [c] {
                                    c->write(QByteArray("\xE0\x01\x8E", 3));
                                    c->disconnectFromHost();
                                });
                        } else
                            c->write(QByteArray("\x20\x02\x00", 3) + connack);
                    }
                    // Subscriptions are answered (granted QoS 1), so that
                    // the station gets as far as publishing.
                    if (type == 8 && length >= 2)
                        c->write((mqtt5 ? QByteArray("\x90\x04", 2) : QByteArray("\x90\x03", 2)) +
                                 in_.mid(at, 2) +
                                 (mqtt5 ? QByteArray("\0\1", 2) : QByteArray("\1", 1)));
                    // PUBACK, when wanted, after the topic's length and
                    // the topic: the packet id.
                    if (type == 3 && acknowledge && length >= 2) {
                        const int topic = (static_cast<unsigned char>(in_[at]) << 8) |
                                          static_cast<unsigned char>(in_[at + 1]);
                        c->write(QByteArray("\x40\x02", 2) + in_.mid(at + 2 + topic, 2));
                    }
                    publishes += type == 3;
                    in_.remove(0, at + length);
                }
            });
        });
    }
    int port() const { return server_.serverPort(); }
    int connects = 0;
    int publishes = 0;
    bool take_over = false;   // tells an MQTT 5 client its id was taken over
    bool v311_only = false;   // refuses MQTT 5 as a broker that predates it
    bool acknowledge = false; // answers each PUBLISH (QoS 1) with a PUBACK

private:
    QTcpServer server_;
    QByteArray in_;
    bool mqtt5 = false; // as the client's CONNECT said
};

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
    const QJsonArray availability = temp.value(QLatin1String("availability")).toArray();
    ASSERT_EQ(availability.size(), 1);
    EXPECT_EQ(availability[0].toObject().value(QLatin1String("topic")),
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
        read(ui.Text2, deg(r.reading1));
        read(ui.Text1, deg(r.reading2));
        EXPECT_TRUE(state_is(sub, "alarm1", QString::fromLatin1(r.alarm1)));
        EXPECT_TRUE(state_is(sub, "alarm2", QString::fromLatin1(r.alarm2)));
        EXPECT_TRUE(state_is(sub, "sensor1", QString::fromLatin1(r.reading1).toInt()));
    }
    read(ui.Text1, QStringLiteral(" - - "));
    EXPECT_TRUE(state_is(sub, "sensor2", QJsonValue::Null));
    EXPECT_TRUE(state_is(sub, "alarm2", QStringLiteral("no_reading")));
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
    read(ui.Text2, deg("26"));
    read(ui.Text1, deg("27"));
    read(ui.Text2, deg("28"));
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

TEST_F(station_fixture, a_reading_leaves_as_null_once_it_is_old_or_the_port_is_closed) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    lifetime = std::chrono::milliseconds(400);
    controls::set_check_value(ui.Check2, 1);
    auto publisher = publish(settings_for(broker.port()));
    ASSERT_TRUE(connected(*publisher));

    read(ui.Text2, deg("25"));
    ASSERT_TRUE(state_is(sub, "sensor1", 25));
    EXPECT_TRUE(state_is(sub, "link", QStringLiteral("open")));
    // The logger falls silent; the window still shows 25ºC.
    EXPECT_TRUE(state_is(sub, "link", QStringLiteral("silent")));
    EXPECT_TRUE(state_is(sub, "sensor1", QJsonValue::Null));
    EXPECT_TRUE(state_is(sub, "alarm1", QStringLiteral("no_reading")));
    EXPECT_EQ(ui.Text2->text(), deg("25"));

    read(ui.Text2, deg("26"));
    ASSERT_TRUE(state_is(sub, "sensor1", 26));
    link.port_changed(false);
    EXPECT_TRUE(state_is(sub, "link", QStringLiteral("closed")));
    EXPECT_TRUE(state_is(sub, "sensor1", QJsonValue::Null));
    // Reopened: nothing is current until the logger speaks again.
    link.port_changed(true);
    EXPECT_TRUE(state_is(sub, "link", QStringLiteral("open")));
    EXPECT_TRUE(state_is(sub, "sensor1", QJsonValue::Null));
}

TEST_F(station_fixture, a_broker_restart_costs_only_the_pause_and_the_latest_state_follows) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    auto publisher = publish(settings_for(broker.port()));
    QStringList lines;
    QObject::connect(publisher.get(), &mqtt::mqtt_publisher::status_line_changed, publisher.get(),
                     [&](const QString& line) { lines.push_back(line); });
    ASSERT_TRUE(connected(*publisher));

    broker.stop();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return publisher->status_line().contains(QLatin1String("not connected")); }, 10000));
    // Meanwhile only the latest state is kept.
    for (const char* r : {"40", "41", "42"})
        read(ui.Text2, deg(r));

    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    ASSERT_TRUE(connected(*publisher));
    EXPECT_TRUE(state_is(sub, "sensor1", 42));
    EXPECT_FALSE(lines.join(u'\n').contains(QLatin1String("another client")))
        << lines.join(u'\n').toStdString();
    EXPECT_EQ(sub.last(QStringLiteral("kestrova/test/status")).payload, "online");
}

TEST_F(station_fixture, after_a_stalled_broker_the_state_it_keeps_is_the_latest) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    rules::mqtt::settings s = settings_for(broker.port());
    s.keepalive = std::chrono::seconds(5);
    auto publisher = publish(s);
    ASSERT_TRUE(connected(*publisher));
    controls::set_check_value(ui.Check2, 1);
    // Readings change while the broker is stopped: the first few fill the
    // link unacknowledged, and the link is given up.
    ::kill(static_cast<pid_t>(broker.pid()), SIGSTOP);
    for (int r = 50; r <= 59; ++r) {
        read(ui.Text2, deg(QByteArray::number(r).constData()));
        QTest::qWait(20);
    }
    read(ui.Text2, deg("25"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return publisher->status_line().endsWith(
                QLatin1String("not connected: the broker stopped answering"));
        },
        20000))
        << publisher->status_line().toStdString();
    ::kill(static_cast<pid_t>(broker.pid()), SIGCONT);
    ASSERT_TRUE(connected(*publisher));
    test_subscriber sub(broker.port());
    EXPECT_TRUE(state_is(sub, "sensor1", 25));
    // Nothing older follows it, now or for whoever subscribes later.
    EXPECT_FALSE(sub.wait(
        [&](const auto&) {
            return json(sub.last(QStringLiteral("kestrova/test/state")).payload)
                       .value(QLatin1String("sensor1")) != 25;
        },
        1500));
    test_subscriber later(broker.port());
    EXPECT_TRUE(state_is(later, "alarm1", QStringLiteral("normal")));
}

TEST_F(station_fixture, a_threshold_being_typed_publishes_no_alarm) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    auto publisher = publish(settings_for(broker.port()));
    ASSERT_TRUE(connected(*publisher));
    controls::set_check_value(ui.Check2, 1);
    read(ui.Text2, deg("25"));
    ASSERT_TRUE(state_is(sub, "alarm1", QStringLiteral("normal")));
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ui.Text3->setFocus();
    ui.Text3->selectAll();
    // "4" is below the reading: its lamp turns red, nothing leaves.
    type_keys(ui.Text3, QStringLiteral("40"));
    QTest::keyClick(ui.Text3, Qt::Key_Tab);
    const auto high = [&](const std::vector<test_subscriber::message>& messages) {
        return std::any_of(messages.begin(), messages.end(), [](const auto& m) {
            return json(m.payload).value(QLatin1String("alarm1")) == QStringLiteral("high");
        });
    };
    EXPECT_FALSE(sub.wait(high, 500));
    read(ui.Text2, deg("45"));
    EXPECT_TRUE(state_is(sub, "alarm1", QStringLiteral("high")));
}

TEST_F(station_fixture, tls_verifies_the_brokers_certificate) {
    QTemporaryDir certs;
    ASSERT_TRUE(make_test_certificates(certs.path()));
    test_broker broker({certs.filePath(QStringLiteral("ca.crt")),
                        certs.filePath(QStringLiteral("server.crt")),
                        certs.filePath(QStringLiteral("server.key"))});
    ASSERT_TRUE(broker.start());

    // By address: a minimal container may have no /etc/hosts to name localhost.
    rules::mqtt::settings s = settings_for(broker.port(), QStringLiteral("127.0.0.1"));
    s.cafile = certs.filePath(QStringLiteral("ca.crt"));
    auto trusted = publish(s);
    EXPECT_TRUE(connected(*trusted));
    EXPECT_TRUE(
        trusted->status_line().startsWith(QLatin1String("Publishing to mqtts://127.0.0.1:")));
    trusted.reset();

    s.cafile = certs.filePath(QStringLiteral("other_ca.crt"));
    auto refused = publish(s);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return refused->status_line().endsWith(QLatin1String(
                "not connected: the broker's certificate is not signed by the CA file's"));
        },
        10000))
        << refused->status_line().toStdString();
}

TEST_F(station_fixture, a_broker_that_never_acknowledges_holds_only_the_latest_state) {
    unanswering_broker broker(0);
    auto publisher = publish(settings_for(broker.port()));
    // The owner, the status and the configs have gone out.
    ASSERT_TRUE(QTest::qWaitFor([&] { return broker.publishes >= 9; }, 10000));
    for (int n = 0; n < 200; ++n)
        read(ui.Text2, deg(QByteArray::number(n % 100).constData()));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return publisher->status_line().endsWith(
                QLatin1String(": connected, but the broker does not acknowledge"));
        },
        15000))
        << publisher->status_line().toStdString();
    EXPECT_LE(broker.publishes, 10) << "owner, status, seven configs and at most a state";
}

TEST_F(station_fixture, a_refused_login_keeps_its_reason_between_retries) {
    unanswering_broker broker(5);
    auto publisher = publish(settings_for(broker.port()));
    QStringList lines;
    QObject::connect(publisher.get(), &mqtt::mqtt_publisher::status_line_changed, publisher.get(),
                     [&](const QString& line) { lines.push_back(line); });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return publisher->status_line().contains(QLatin1String("not authorised")); }, 10000));
    // Two retries (the first within 2.5 s, the next within 6.25 s more).
    ASSERT_TRUE(QTest::qWaitFor([&] { return broker.connects >= 3; }, 15000));
    for (const QString& line : lines)
        EXPECT_TRUE(line.contains(QLatin1String("not authorised"))) << line.toStdString();
}

TEST_F(station_fixture, a_broker_older_than_mqtt_5_is_spoken_to_in_3_1_1) {
    unanswering_broker broker(0);
    broker.v311_only = true;
    broker.acknowledge = true;
    auto publisher = publish(settings_for(broker.port()));
    EXPECT_TRUE(connected(*publisher)) << publisher->status_line().toStdString();
    EXPECT_EQ(broker.connects, 2);
}

TEST_F(station_fixture, a_broker_that_says_the_id_was_taken_over_is_quoted) {
    unanswering_broker broker(0);
    broker.take_over = true;
    auto publisher = publish(settings_for(broker.port()));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return publisher->status_line().endsWith(
                QLatin1String("not connected: the broker gave the connection to another client "
                              "with the client id kestrova-test"));
        },
        10000))
        << publisher->status_line().toStdString();
}

TEST_F(station_fixture, unusable_settings_are_refused_with_their_reason_and_nothing_sent) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString text = dir.filePath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(write_file(text, "not a certificate\n"));
    const QString garbled = dir.filePath(QStringLiteral("garbled.pem"));
    ASSERT_TRUE(write_file(garbled, "-----BEGIN CERTIFICATE-----\nbm90IGEgY2VydGlmaWNhdGU=\n"
                                    "-----END CERTIFICATE-----\n"));
    unanswering_broker broker(0);
    const QByteArray to_broker =
        "[MQTT]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(broker.port()) + "\r\n";
    struct row {
        QByteArray mqtt;
        const char* said;
    };
    const row rows[] = {
        {to_broker + "cafile=" + dir.filePath(QStringLiteral("missing.crt")).toLocal8Bit(),
         "it does not exist"},
        {to_broker + "cafile=" + dir.path().toLocal8Bit(), "it is a folder"},
        // Opening a FIFO would wait for a writer: it is never opened.
        {to_broker + "cafile=" + fifo.toLocal8Bit(), "it is not a regular file"},
        {to_broker + "cafile=" + text.toLocal8Bit(), "it holds no PEM certificate"},
        {to_broker + "cafile=" + garbled.toLocal8Bit(), "it holds no readable certificate"},
        {to_broker + "topic=site/#", "not publishing: topic=site/# holds a wildcard"},
        {to_broker + "topic=site/+/x", "not publishing: topic=site/+/x holds a wildcard"},
        {to_broker + QByteArray("topic=site\0x", 11), "not publishing: topic holds a zero"},
        {to_broker + "topic=" + QByteArray(70000, 'a'), "not publishing: topic is longer"},
        {to_broker + "discovery=ha/#", "not publishing: discovery=ha/# holds a wildcard"},
        {"[MQTT]\r\nhost=127.0.0.1\r\nport=abc", "not publishing: port=abc is not a port"},
        {"[MQTT]\r\nhost=127.0.0.1\r\nport=70000", "not publishing: port=70000 is not a port"},
        {"[MQTT]\r\nhost=127.0.0.1\r\nport=0", "not publishing: port=0 is not a port"},
    };
    settings::inifile ini;
    ini.set_ini_dir(dir.path());
    for (const row& r : rows) {
        SCOPED_TRACE(r.said);
        ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("Tarnwick.INI")), r.mqtt + "\r\n"));
        auto publisher =
            publish(mqtt::mqtt_publisher::read_settings(ini, QStringLiteral("lab-pc")));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return publisher->status_line().contains(QLatin1String(r.said)); }, 5000))
            << publisher->status_line().toStdString();
    }
    EXPECT_EQ(broker.publishes, 0);
}

TEST(mqtt_settings, a_password_in_clear_or_readable_by_others_is_warned_about_once) {
    QTemporaryDir dir;
    settings::inifile ini;
    ini.set_ini_dir(dir.path());
    const QString path = dir.filePath(QStringLiteral("Tarnwick.INI"));
    struct row {
        const char* mqtt;
        QFile::Permissions mode;
        int warnings;
    };
    const QFile::Permissions private_mode = QFile::ReadOwner | QFile::WriteOwner;
    const row rows[] = {
        {"host=broker.lab\r\nusername=u\r\npassword=s3cret\r\n", private_mode | QFile::ReadGroup,
         2},
        {"host=broker.lab\r\nusername=u\r\npassword=s3cret\r\ncafile=/ca.pem\r\n", private_mode, 0},
        {"host=localhost\r\nusername=u\r\npassword=s3cret\r\n", private_mode | QFile::ReadOther, 1},
        // A name is judged as a name, whatever it begins with.
        {"host=127.broker.example\r\nusername=u\r\npassword=s3cret\r\n", private_mode, 1},
        // Without a username the password is not sent: said, not dropped silently.
        {"host=broker.lab\r\npassword=s3cret\r\n", private_mode, 1},
        {"host=broker.lab\r\n", private_mode | QFile::ReadOther, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.mqtt);
        ASSERT_TRUE(write_file(path, QByteArray("[MQTT]\r\n") + r.mqtt));
        ASSERT_TRUE(QFile::setPermissions(path, r.mode));
        testing::internal::CaptureStderr();
        const rules::mqtt::settings s =
            mqtt::mqtt_publisher::read_settings(ini, QStringLiteral("lab-pc"));
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
    app::kestrova_app app{app::window_seams{.ask = ask, .work_dir = dir.path()}};
    ASSERT_TRUE(app.load());
    const QLabel* label8 = app.window().ui().Label8;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return label8->toolTip().endsWith(
                QStringLiteral("\nPublishing to mqtt://127.0.0.1:%1 as site/s1: not connected: "
                               "nothing answers on port %1 of 127.0.0.1")
                    .arg(port));
        },
        10000))
        << label8->toolTip().toStdString();
    EXPECT_TRUE(label8->toolTip().startsWith(QLatin1String("Port 1 (")));
}

TEST_F(station_fixture, home_assistants_birth_message_brings_the_configs_and_state_again) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    auto publisher = publish(settings_for(broker.port()));
    ASSERT_TRUE(connected(*publisher));
    read(ui.Text2, deg("25"));
    ASSERT_TRUE(state_is(sub, "sensor1", 25));
    sub.clear();
    sub.publish(QStringLiteral("homeassistant/status"), "online");
    EXPECT_TRUE(sub.wait([](const auto& messages) {
        int configs = 0, states = 0;
        for (const auto& m : messages) {
            configs += m.topic.endsWith(QLatin1String("/config"));
            states += m.topic == QLatin1String("kestrova/test/state");
        }
        return configs == 7 && states >= 1;
    }));
}

TEST_F(station_fixture, a_program_with_over_a_thousand_open_files_still_publishes) {
    // select() takes no descriptor numbered 1024 or more: the link's socket
    // comes after 1,100 others here.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max < 1300)
        GTEST_SKIP() << "no more than " << limit.rlim_max << " open files allowed";
    limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 1300);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    // The broker and the test's subscriber first, below 1024.
    test_broker broker;
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    std::vector<int> held(1100);
    for (int& fd : held)
        fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held.back(), 1024);
    auto publisher = publish(settings_for(broker.port()));
    EXPECT_TRUE(connected(*publisher)) << publisher->status_line().toStdString();
    read(ui.Text2, deg("25"));
    EXPECT_TRUE(state_is(sub, "sensor1", 25));
    for (const int fd : held)
        ::close(fd);
}

TEST_F(station_fixture, a_clean_end_says_offline_once_and_sets_off_no_last_will) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    auto publisher = publish(settings_for(broker.port()));
    ASSERT_TRUE(connected(*publisher));
    publisher.reset();
    const auto offline = [](const std::vector<test_subscriber::message>& messages) {
        return std::count_if(messages.begin(), messages.end(), [](const auto& m) {
            return m.topic == QLatin1String("kestrova/test/status") && m.payload == "offline";
        });
    };
    ASSERT_TRUE(sub.wait([&](const auto& messages) { return offline(messages) > 0; }));
    QTest::qWait(500);
    EXPECT_EQ(offline(sub.messages()), 1);
}

TEST_F(station_fixture, two_stations_with_one_client_id_are_told_so) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    auto first = publish(settings_for(broker.port()));
    ASSERT_TRUE(connected(*first));
    auto second = publish(settings_for(broker.port()));
    // mosquitto 2.0.11 says nothing of it: the hint comes from the pattern.
    const QString hint = QStringLiteral("another client may be using the client id kestrova-test");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return first->status_line().contains(hint) || second->status_line().contains(hint); },
        20000))
        << first->status_line().toStdString() << '\n'
        << second->status_line().toStdString();
}

TEST_F(station_fixture, an_alarm_is_acknowledged_from_the_broker_and_stays_an_alarm) {
    test_broker broker;
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    const auto publisher = publish(settings_for(broker.port()));
    ASSERT_TRUE(connected(*publisher));
    controls::set_check_value(ui.Check2, 1);
    read(ui.Text2, deg("35"));
    ASSERT_TRUE(state_is(sub, "alarm1", QStringLiteral("high")));
    const QString topic = QStringLiteral("kestrova/test/acknowledge");
    // Sensor 2 has no alarm to answer, and a payload that is no
    // acknowledgement answers nothing.
    sub.publish(topic, "2");
    sub.publish(topic, "yes");
    sub.publish(topic, R"({"sensor":1,"by":"Ann","comment":"door closed"})");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return alarms.status(1).phase == rules::alarms::alarm_phase::acknowledged; }, 10000));
    EXPECT_EQ(alarms.status(1).acknowledged_by, QStringLiteral("Ann"));
    EXPECT_EQ(alarms.status(1).acknowledged_via, alerts::answer_via::mqtt);
    EXPECT_EQ(alarms.status(1).comment, QStringLiteral("door closed"));
    EXPECT_EQ(alarms.status(2).phase, rules::alarms::alarm_phase::normal);
    EXPECT_TRUE(state_is(sub, "alarm1", QStringLiteral("high")));
}
