// What the broker and Home Assistant are told matches what is so: a broker
// that refuses to publish is named, a stopped station leaves no live
// reading behind, nothing announced before is left on the broker, a topic
// held by another live station is left to it, and Home Assistant renders a
// silent logger as a problem and acknowledges from its button.
#include "mqtt/mqtt_trial.h"
#include "mqtt/station_fixture.h"
#include "settings/inifile.h"
#include "support/files.h"

#include <QDir>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <map>

namespace {

// A broker that keeps retained messages on disk, as a site's broker does;
// `acl`: the lines of its ACL file, none when empty.
void set_up(test_broker& broker, const QByteArray& acl = {}) {
    QByteArray conf = "persistence true\npersistence_location " +
                      QDir(broker.path(QStringLiteral("."))).absolutePath().toLocal8Bit() + "/\n";
    if (!acl.isEmpty()) {
        const QString file = broker.path(QStringLiteral("acl"));
        write_file(file, acl);
        conf += "acl_file " + file.toLocal8Bit() + '\n';
    }
    broker.add_config(conf);
}

// What the broker holds retained now: a newcomer's view. The broker hands a
// subscriber its retained messages before it takes the subscriber's own
// next message, so once that has come back, they are all there.
std::map<QString, QByteArray> retained(int port) {
    test_subscriber late(port);
    // Its subscription goes out once it is connected: the probe is sent
    // again until one comes back.
    for (int i = 0; i < 50; ++i) {
        late.publish(QStringLiteral("probe/end"), "end");
        if (late.wait(
                [&](const auto&) {
                    return !late.last(QStringLiteral("probe/end")).topic.isEmpty();
                },
                200))
            break;
    }
    std::map<QString, QByteArray> out;
    for (const test_subscriber::message& m : late.messages())
        if (m.retained)
            out[m.topic] = m.payload;
    return out;
}

int count_under(const std::map<QString, QByteArray>& held, const QString& prefix) {
    int n = 0;
    for (const auto& [topic, payload] : held)
        n += topic.startsWith(prefix);
    return n;
}

// Renders every template of the configs with `state` as Home Assistant
// does (value_json, value; its sandbox), with python3-jinja2:
// {"alarm1": {"value_template": "ON", "json_attributes_template": "{…}"}, …}
QJsonObject render(const std::map<QString, QByteArray>& held, const QByteArray& state) {
    QJsonObject configs;
    for (const auto& [topic, payload] : held)
        if (topic.startsWith(QLatin1String("homeassistant/")))
            configs.insert(topic.section(u'/', -2, -2), json(payload));
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("input.json"));
    write_file(input,
               QJsonDocument(QJsonObject{{QStringLiteral("configs"), configs},
                                         {QStringLiteral("state"), QString::fromUtf8(state)}})
                   .toJson());
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import json, sys
from jinja2.sandbox import ImmutableSandboxedEnvironment
env = ImmutableSandboxedEnvironment()
data = json.load(open(sys.argv[1]))
out = {}
for name, config in data["configs"].items():
    out[name] = {key: env.from_string(config[key]).render(
                     value=data["state"], value_json=json.loads(data["state"]))
                 for key in ("value_template", "json_attributes_template") if key in config}
print(json.dumps(out))
)"),
                                                      input});
    if (!python.waitForFinished(20000) || python.exitCode() != 0)
        ADD_FAILURE() << python.readAllStandardError().toStdString();
    return json(python.readAllStandardOutput());
}

} // namespace

TEST_F(station_fixture, a_broker_that_refuses_to_publish_is_named_and_so_is_it_by_the_test) {
    test_broker broker;
    set_up(broker, "topic read #\ntopic readwrite probe/#\n");
    ASSERT_TRUE(broker.start());
    auto publisher = publish(settings_for(broker.port()));
    const QString refused =
        QStringLiteral("connected, but the broker refuses to publish on `kestrova/test/%1` "
                       "(not authorised)");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return publisher->status_line().endsWith(refused.arg(QLatin1String("state"))); },
        10000))
        << publisher->status_line().toStdString();

    mqtt::mqtt_trial trial;
    std::optional<mqtt::verdict> said;
    QObject::connect(&trial, &mqtt::mqtt_trial::finished, &trial,
                     [&](const mqtt::verdict& v) { said = v; });
    trial.start(settings_for(broker.port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return said.has_value(); }, 10000));
    EXPECT_EQ(said->kind, mqtt::outcome::publish_refused);
    EXPECT_EQ(said->text, refused.arg(QLatin1String("test")));
    EXPECT_EQ(count_under(retained(broker.port()), QStringLiteral("kestrova/")), 0);
}

TEST_F(station_fixture, a_clean_stop_leaves_no_reading_and_a_stopped_link_retained) {
    test_broker broker;
    set_up(broker);
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    auto publisher = publish(settings_for(broker.port()));
    ASSERT_TRUE(connected(*publisher));
    read(ui.Text2, deg("25"));
    read(ui.Text1, deg("3"));
    ASSERT_TRUE(state_is(sub, "sensor2", 3));
    publisher->finish();
    publisher.reset();
    const std::map<QString, QByteArray> held = retained(broker.port());
    const QJsonObject last = json(held.at(QStringLiteral("kestrova/test/state")));
    EXPECT_EQ(last.value(QLatin1String("sensor1")), QJsonValue::Null);
    EXPECT_EQ(last.value(QLatin1String("sensor2")), QJsonValue::Null);
    EXPECT_EQ(last.value(QLatin1String("link")), QStringLiteral("stopped"));
    EXPECT_EQ(held.at(QStringLiteral("kestrova/test/status")), "offline");
    // The last state came before "offline".
    const auto messages = sub.messages();
    const auto offline = std::find_if(messages.begin(), messages.end(),
                                      [](const auto& m) { return m.payload == "offline"; });
    ASSERT_NE(offline, messages.end());
    EXPECT_TRUE(std::any_of(messages.begin(), offline,
                            [](const auto& m) { return m.payload.contains("\"stopped\""); }));
}

TEST_F(station_fixture, what_was_announced_before_is_taken_back_from_the_broker) {
    struct row {
        const char* change;
        std::function<void(rules::mqtt::settings&)> apply;
        const char* prefix; // where the configs are now; none when empty
        const char* node;
        const char* topic; // the state's topic now
    };
    const row rows[] = {
        {"discovery off", [](auto& s) { s.discovery.clear(); }, "", "", "kestrova/test"},
        {"another prefix", [](auto& s) { s.discovery = QStringLiteral("ha2"); }, "ha2/",
         "kestrova-test", "kestrova/test"},
        {"another topic", [](auto& s) { s.topic = QStringLiteral("kestrova/moved"); },
         "homeassistant/", "kestrova-test", "kestrova/moved"},
        {"another station",
         [](auto& s) {
             s.station = QStringLiteral("lab-pc-b");
             s.topic = QStringLiteral("kestrova/lab-pc-b");
             s.client_id = QStringLiteral("kestrova-lab-pc-b");
         },
         "homeassistant/", "kestrova-lab-pc-b", "kestrova/lab-pc-b"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.change);
        test_broker broker;
        set_up(broker);
        ASSERT_TRUE(broker.start());
        QTemporaryDir dir;
        settings::inifile ini;
        ini.set_ini_dir(dir.path());
        // The first run, then a second with the change, as after an edit of
        // the file between two runs or in the settings window.
        rules::mqtt::settings s = settings_for(broker.port());
        for (int run = 0; run < 2; ++run) {
            if (run == 1)
                r.apply(s);
            auto publisher = publish(s, &ini);
            ASSERT_TRUE(connected(*publisher));
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    return ini.read_whole(QStringLiteral("MQTT"),
                                          QStringLiteral("announced_topic")) == s.topic;
                },
                5000));
            publisher->finish();
        }
        const std::map<QString, QByteArray> held = retained(broker.port());
        // Seven configs (two temperatures, two alarms, the link, two
        // buttons) under the prefix and node of now, and none elsewhere.
        const QString prefix = QString::fromLatin1(r.prefix);
        const QString node = u'/' + QString::fromLatin1(r.node) + u'/';
        int configs = 0, current = 0;
        for (const auto& [topic, payload] : held) {
            if (!topic.endsWith(QLatin1String("/config")))
                continue;
            ++configs;
            current += !prefix.isEmpty() && topic.startsWith(prefix) && topic.contains(node);
        }
        EXPECT_EQ(configs, prefix.isEmpty() ? 0 : 7);
        EXPECT_EQ(current, configs);
        const QString topic = QString::fromLatin1(r.topic);
        EXPECT_EQ(count_under(held, QStringLiteral("kestrova/")), 3); // state, status, owner
        EXPECT_EQ(count_under(held, topic + u'/'), 3);
    }
}

TEST_F(station_fixture, a_topic_held_by_a_live_station_is_left_to_it_until_it_stops) {
    test_broker broker;
    set_up(broker);
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    QTemporaryDir here, there;
    settings::inifile ini_here, ini_there;
    ini_here.set_ini_dir(here.path());
    ini_there.set_ini_dir(there.path());
    auto first = publish(settings_for(broker.port()), &ini_here);
    ASSERT_TRUE(connected(*first));
    rules::mqtt::settings other = settings_for(broker.port());
    other.client_id = QStringLiteral("kestrova-other");
    auto second = publish(other, &ini_there);
    const QString refused = QStringLiteral("not publishing: kestrova/test is in use by the station "
                                           "kestrova-test on lab-pc (%1)")
                                .arg(QDir(here.path()).absolutePath());
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->status_line().endsWith(refused); }, 10000))
        << second->status_line().toStdString();
    const auto from = [&](const QString& folder) {
        const auto m = sub.messages();
        return std::count_if(m.begin(), m.end(), [&](const auto& msg) {
            return msg.topic == QLatin1String("kestrova/test/owner") &&
                   rules::mqtt::read_owner(msg.payload).value_or(rules::mqtt::owner{}).folder ==
                       QDir(folder).absolutePath();
        });
    };
    EXPECT_EQ(from(there.path()), 0);
    const auto m = sub.messages();
    EXPECT_EQ(
        std::count_if(m.begin(), m.end(), [](const auto& msg) { return msg.payload == "online"; }),
        1);
    // Once the first has stopped, the topic is free.
    first->finish();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return second->status_line().endsWith(QLatin1String(": connected")); }, 30000))
        << second->status_line().toStdString();
    EXPECT_TRUE(sub.wait([&](const auto&) { return from(there.path()) == 1; }));
    // The first, moved to another topic, takes back its configs but leaves
    // the old topic to the station that holds it now.
    first.reset();
    rules::mqtt::settings moved = settings_for(broker.port());
    moved.topic = QStringLiteral("kestrova/moved");
    first = publish(moved, &ini_here);
    ASSERT_TRUE(connected(*first));
    const std::map<QString, QByteArray> held = retained(broker.port());
    EXPECT_EQ(rules::mqtt::read_owner(held.at(QStringLiteral("kestrova/test/owner")))
                  .value_or(rules::mqtt::owner{})
                  .folder,
              QDir(there.path()).absolutePath());
    EXPECT_EQ(held.at(QStringLiteral("kestrova/test/status")), "online");
    EXPECT_TRUE(held.contains(QStringLiteral("kestrova/test/state")));
}

TEST_F(station_fixture, home_assistant_shows_a_silent_logger_as_a_problem_and_acknowledges_it) {
    test_broker broker;
    set_up(broker);
    ASSERT_TRUE(broker.start());
    test_subscriber sub(broker.port());
    rules::mqtt::settings s = settings_for(broker.port());
    s.names = {QStringLiteral("Freezer A"), QStringLiteral("Fridge B")};
    auto publisher = publish(s);
    ASSERT_TRUE(connected(*publisher));
    controls::set_check_value(ui.Check2, 1);
    read(ui.Text2, deg("20"));
    ASSERT_TRUE(state_is(sub, "alarm1", QStringLiteral("normal")));
    // The cable pulled: no reading, the port closed.
    link.port_changed(false);
    ASSERT_TRUE(state_is(sub, "alarm1", QStringLiteral("no_reading")));

    std::map<QString, QByteArray> held = retained(broker.port());
    QJsonObject shown = render(held, held.at(QStringLiteral("kestrova/test/state")));
    const auto value = [&](const char* object, const char* key) {
        return shown.value(QLatin1String(object)).toObject().value(QLatin1String(key)).toString();
    };
    EXPECT_EQ(value("alarm1", "value_template"), QStringLiteral("ON"));
    EXPECT_EQ(value("sensor1", "value_template"), QStringLiteral("None")); // unknown
    EXPECT_EQ(value("link", "value_template"), QStringLiteral("OFF"));
    const QJsonObject why = json(value("alarm1", "json_attributes_template").toUtf8());
    EXPECT_EQ(why.value(QLatin1String("phase")), QStringLiteral("alarm"));
    EXPECT_TRUE(
        why.value(QLatin1String("reason")).toString().contains(QLatin1String("port is closed")))
        << value("alarm1", "json_attributes_template").toStdString();
    // Every entity is available while the station is online, and only then.
    for (const auto& [topic, payload] : held) {
        if (!topic.startsWith(QLatin1String("homeassistant/")))
            continue;
        const QJsonArray availability =
            json(payload).value(QLatin1String("availability")).toArray();
        ASSERT_EQ(availability.size(), 1) << topic.toStdString();
        EXPECT_EQ(availability[0].toObject().value(QLatin1String("topic")),
                  QStringLiteral("kestrova/test/status"));
    }

    // The button, named after the sensor, acknowledges the alarm.
    const QJsonObject button =
        json(held.at(QStringLiteral("homeassistant/button/kestrova-test/acknowledge1/config")));
    EXPECT_EQ(button.value(QLatin1String("name")), QStringLiteral("Acknowledge Freezer A alarm"));
    EXPECT_EQ(json(held.at(QStringLiteral("homeassistant/sensor/kestrova-test/sensor2/config")))
                  .value(QLatin1String("name")),
              QStringLiteral("Fridge B"));
    sub.publish(button.value(QLatin1String("command_topic")).toString(),
                button.value(QLatin1String("payload_press")).toString().toUtf8());
    ASSERT_TRUE(state_is(sub, "phase1", QStringLiteral("acknowledged")));
    EXPECT_TRUE(state_is(sub, "acknowledged_by1", QStringLiteral("Home Assistant")));
    held = retained(broker.port());
    shown = render(held, held.at(QStringLiteral("kestrova/test/state")));
    EXPECT_EQ(value("alarm1", "value_template"), QStringLiteral("ON"));
    EXPECT_EQ(json(value("alarm1", "json_attributes_template").toUtf8())
                  .value(QLatin1String("acknowledged_by")),
              QStringLiteral("Home Assistant"));
}
