#include "rules/mqtt_fields.h"
#include "rules/mqtt_rules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <map>

namespace {

rules::mqtt::settings settings_of(const std::map<QString, QString>& keys) {
    return rules::mqtt::read_settings(
        [&](const QString& key) -> std::optional<QString> {
            const auto it = keys.find(key);
            return it == keys.end() ? std::nullopt : std::optional<QString>(it->second);
        },
        QStringLiteral("lab-pc"));
}

} // namespace

TEST(mqtt_rules, settings_take_their_defaults_from_the_host_name_and_tls) {
    const rules::mqtt::settings plain =
        settings_of({{QStringLiteral("host"), QStringLiteral("broker")}});
    EXPECT_TRUE(plain.enabled());
    EXPECT_EQ(plain.port, 1883);
    EXPECT_EQ(plain.topic, QStringLiteral("kestrova/lab-pc"));
    EXPECT_EQ(plain.client_id, QStringLiteral("kestrova-lab-pc"));
    EXPECT_EQ(plain.discovery, QStringLiteral("homeassistant"));
    EXPECT_EQ(plain.url(), QStringLiteral("mqtt://broker:1883"));

    const rules::mqtt::settings tls =
        settings_of({{QStringLiteral("host"), QStringLiteral("broker")},
                     {QStringLiteral("cafile"), QStringLiteral("/ca.pem")},
                     {QStringLiteral("discovery"), QString()}});
    EXPECT_EQ(tls.port, 8883);
    EXPECT_EQ(tls.url(), QStringLiteral("mqtts://broker:8883"));
    EXPECT_TRUE(
        rules::mqtt::discovery_configs(tls, QStringLiteral("lab-pc"), QStringLiteral("1")).empty())
        << "an empty discovery key turns discovery off";
    EXPECT_FALSE(settings_of({}).enabled());
    const rules::mqtt::settings bad_port =
        settings_of({{QStringLiteral("host"), QStringLiteral("b")},
                     {QStringLiteral("port"), QStringLiteral("99999")}});
    EXPECT_EQ(bad_port.problem, QStringLiteral("port=99999 is not a port number (1 to 65535)"));
    EXPECT_TRUE(settings_of({{QStringLiteral("host"), QStringLiteral("b")}}).problem.isEmpty());

    for (const char* local : {"localhost", "127.0.0.1", "127.8.9.1", "::1"})
        EXPECT_TRUE(rules::mqtt::is_local_host(QString::fromLatin1(local))) << local;
    for (const char* remote :
         {"broker.lab", "10.0.0.1", "1270.0.0.1", "127.broker.example", "127.0.0.1.example.org"})
        EXPECT_FALSE(rules::mqtt::is_local_host(QString::fromLatin1(remote))) << remote;
}

TEST(mqtt_rules, the_station_id_names_the_station_unless_topic_or_client_id_are_given) {
    // The whole path counts: folders whose names read alike get ids of
    // their own, Cyrillic names read in Latin letters.
    const struct {
        const char* host;
        const char* path;
        const char* id;
    } ids[] = {
        {"lab-pc", "/srv/fridge/kestrova", "lab-pc-fridge-kestrova-79fe24"},
        {"lab-pc", "/srv/freezer/kestrova", "lab-pc-freezer-kestrova-0a5f75"},
        {"vm", "/home/ivan/холодильник", "vm-ivan-kholodilnik-67435e"},
        {"vm", "/home/ivan/морозильник", "vm-ivan-morozilnik-5a602b"},
        {"vm", "/home/zoë/Kühlraum", "vm-zoe-Kuhlraum-55d4b3"},
        {"lab.example.org", "/data/Cold room #2", "lab_example_org-data-Cold_room_2-e424b5"},
        {"", "/", "station-8a5eda"},
    };
    for (const auto& row : ids)
        EXPECT_EQ(
            rules::mqtt::make_station_id(QString::fromUtf8(row.host), QString::fromUtf8(row.path)),
            QString::fromUtf8(row.id))
            << row.path;

    const auto link_config = [](const rules::mqtt::settings& s) {
        for (const rules::mqtt::message& m :
             rules::mqtt::discovery_configs(s, QStringLiteral("lab-pc"), {}))
            if (m.topic.endsWith(QLatin1String("/link/config")))
                return std::make_pair(m.topic, QJsonDocument::fromJson(m.payload).object());
        return std::make_pair(QString(), QJsonObject());
    };
    struct row {
        std::map<QString, QString> keys;
        const char* topic;
        const char* client_id;
    };
    const QString host = QStringLiteral("host"), b = QStringLiteral("b");
    const row rows[] = {
        {{{host, b}, {QStringLiteral("station"), QStringLiteral("lab-pc-cold")}},
         "kestrova/lab-pc-cold",
         "kestrova-lab-pc-cold"},
        {{{host, b},
          {QStringLiteral("station"), QStringLiteral("lab-pc-cold")},
          {QStringLiteral("topic"), QStringLiteral("site/s7")},
          {QStringLiteral("client_id"), QStringLiteral("s7")}},
         "site/s7",
         "s7"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.topic);
        const rules::mqtt::settings s = settings_of(r.keys);
        EXPECT_EQ(s.topic, QString::fromLatin1(r.topic));
        EXPECT_EQ(s.client_id, QString::fromLatin1(r.client_id));
        // Whatever the topic and client id, the station's ids stay.
        const auto [topic, link] = link_config(s);
        EXPECT_EQ(topic,
                  QStringLiteral("homeassistant/binary_sensor/kestrova-lab-pc-cold/link/config"));
        EXPECT_EQ(link.value(QLatin1String("unique_id")),
                  QStringLiteral("kestrova-lab-pc-cold_link"));
        EXPECT_EQ(
            link.value(QLatin1String("device")).toObject().value(QLatin1String("identifiers")),
            QJsonArray{QStringLiteral("kestrova-lab-pc-cold")});
        EXPECT_EQ(link.value(QLatin1String("name")), QStringLiteral("Logger link"));
        EXPECT_EQ(link.value(QLatin1String("device_class")), QStringLiteral("connectivity"));
        EXPECT_EQ(link.value(QLatin1String("entity_category")), QStringLiteral("diagnostic"));
        EXPECT_EQ(link.value(QLatin1String("state_topic")),
                  QString::fromLatin1(r.topic) + QStringLiteral("/state"));
    }
}

TEST(mqtt_rules, state_message_carries_numbers_nulls_alarms_and_local_time) {
    using rules::alarms::sensor_state;
    const auto name = [](sensor_state s) { return rules::mqtt::alarm_name(s).toStdString(); };
    EXPECT_EQ(name(sensor_state::off), "off");
    EXPECT_EQ(name(sensor_state::no_reading), "no_reading");
    EXPECT_EQ(name(sensor_state::high), "high");
    EXPECT_EQ(name(sensor_state::low), "low");
    EXPECT_EQ(name(sensor_state::normal), "normal");
    using std::chrono::milliseconds;
    EXPECT_EQ(rules::mqtt::reading_lifetime(5000), milliseconds(30000));
    EXPECT_EQ(rules::mqtt::reading_lifetime(60000), milliseconds(180000));

    rules::mqtt::snapshot s;
    s.sensor1 = 25;
    s.alarm1 = QStringLiteral("normal");
    s.alarm2 = QStringLiteral("off");
    s.port = 1;
    s.link = rules::mqtt::link_state::silent;
    s.time = QDateTime(QDate(2026, 12, 7), QTime(14, 5), QTimeZone(3600));
    const QJsonObject o = QJsonDocument::fromJson(rules::mqtt::state_json(s)).object();
    EXPECT_EQ(o.value(QLatin1String("sensor1")), 25);
    EXPECT_TRUE(o.value(QLatin1String("sensor2")).isNull());
    EXPECT_EQ(o.value(QLatin1String("alarm2")), QStringLiteral("off"));
    EXPECT_EQ(o.value(QLatin1String("port")), 1);
    EXPECT_EQ(o.value(QLatin1String("link")), QStringLiteral("silent"));
    EXPECT_EQ(o.value(QLatin1String("time")), QStringLiteral("2026-12-07T14:05:00+01:00"));
}

TEST(mqtt_rules, discovery_configs_use_only_what_home_assistant_documents_today) {
    rules::mqtt::settings s;
    s.host = QStringLiteral("broker");
    s.topic = QStringLiteral("kestrova/lab");
    s.client_id = QStringLiteral("kestrova-lab");
    s.discovery = QStringLiteral("homeassistant");
    const auto configs =
        rules::mqtt::discovery_configs(s, QStringLiteral("lab"), QStringLiteral("0.1.0"));
    ASSERT_EQ(configs.size(), 7u);
    // The sensor, binary sensor and button keys this program may send;
    // object_id has been replaced by default_entity_id.
    const QStringList documented = {QStringLiteral("name"),
                                    QStringLiteral("unique_id"),
                                    QStringLiteral("default_entity_id"),
                                    QStringLiteral("state_topic"),
                                    QStringLiteral("availability"),
                                    QStringLiteral("json_attributes_topic"),
                                    QStringLiteral("json_attributes_template"),
                                    QStringLiteral("command_topic"),
                                    QStringLiteral("payload_press"),
                                    QStringLiteral("device"),
                                    QStringLiteral("origin"),
                                    QStringLiteral("device_class"),
                                    QStringLiteral("entity_category"),
                                    QStringLiteral("state_class"),
                                    QStringLiteral("unit_of_measurement"),
                                    QStringLiteral("value_template")};
    for (const rules::mqtt::message& m : configs) {
        SCOPED_TRACE(m.topic.toStdString());
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        for (const QString& key : o.keys())
            EXPECT_TRUE(documented.contains(key)) << key.toStdString();
        const QString domain = m.topic.section(u'/', 1, 1);
        EXPECT_EQ(o.value(QLatin1String("default_entity_id")).toString(),
                  domain + u'.' + o.value(QLatin1String("unique_id")).toString());
        // Every entity is available while the station is online; a button
        // has no state.
        EXPECT_EQ(o.value(QLatin1String("availability")).toArray().size(), 1);
        EXPECT_EQ(o.contains(QLatin1String("state_topic")), domain != QLatin1String("button"));
        const QJsonObject origin = o.value(QLatin1String("origin")).toObject();
        for (const char* key : {"name", "sw_version"})
            EXPECT_FALSE(origin.value(QLatin1String(key)).toString().isEmpty()) << key;
        EXPECT_FALSE(origin.contains(QLatin1String("support_url"))) << "no page to point to";
        EXPECT_EQ(o.value(QLatin1String("device")).toObject().value(QLatin1String("sw_version")),
                  QStringLiteral("0.1.0"));
    }
}
