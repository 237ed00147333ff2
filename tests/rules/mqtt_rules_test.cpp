#include "rules/mqtt_rules.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <map>

namespace {

mqtt::settings settings_of(const std::map<QString, QString>& keys) {
    return mqtt::read_settings(
        [&](const QString& key) -> std::optional<QString> {
            const auto it = keys.find(key);
            return it == keys.end() ? std::nullopt : std::optional<QString>(it->second);
        },
        QStringLiteral("lab-pc"));
}

} // namespace

TEST(mqtt_rules, settings_take_their_defaults_from_the_host_name_and_tls) {
    const mqtt::settings plain = settings_of({{QStringLiteral("host"), QStringLiteral("broker")}});
    EXPECT_TRUE(plain.enabled());
    EXPECT_EQ(plain.port, 1883);
    EXPECT_EQ(plain.topic, QStringLiteral("kestrova/lab-pc"));
    EXPECT_EQ(plain.client_id, QStringLiteral("kestrova-lab-pc"));
    EXPECT_EQ(plain.discovery, QStringLiteral("homeassistant"));
    EXPECT_EQ(plain.url(), QStringLiteral("mqtt://broker:1883"));

    const mqtt::settings tls = settings_of({{QStringLiteral("host"), QStringLiteral("broker")},
                                            {QStringLiteral("cafile"), QStringLiteral("/ca.pem")},
                                            {QStringLiteral("discovery"), QString()}});
    EXPECT_EQ(tls.port, 8883);
    EXPECT_EQ(tls.url(), QStringLiteral("mqtts://broker:8883"));
    EXPECT_TRUE(mqtt::discovery_configs(tls, QStringLiteral("lab-pc")).empty())
        << "an empty discovery key turns discovery off";
    EXPECT_FALSE(settings_of({}).enabled());
    EXPECT_EQ(settings_of({{QStringLiteral("host"), QStringLiteral("b")},
                           {QStringLiteral("port"), QStringLiteral("99999")}})
                  .port,
              1883);

    for (const char* local : {"localhost", "127.0.0.1", "127.8.9.1", "::1"})
        EXPECT_TRUE(mqtt::is_local_host(QString::fromLatin1(local))) << local;
    for (const char* remote : {"broker.lab", "10.0.0.1", "1270.0.0.1"})
        EXPECT_FALSE(mqtt::is_local_host(QString::fromLatin1(remote))) << remote;
}

TEST(mqtt_rules, state_message_carries_numbers_nulls_alarms_and_local_time) {
    using alarms::lamp_state;
    EXPECT_EQ(mqtt::alarm_name(lamp_state::off, lamp_state::off), QStringLiteral("off"));
    EXPECT_EQ(mqtt::alarm_name(lamp_state::alarm, lamp_state::alarm), QStringLiteral("high"));
    EXPECT_EQ(mqtt::alarm_name(lamp_state::normal, lamp_state::alarm), QStringLiteral("low"));
    EXPECT_EQ(mqtt::alarm_name(lamp_state::normal, lamp_state::normal), QStringLiteral("normal"));

    mqtt::snapshot s;
    s.sensor1 = 25;
    s.alarm1 = QStringLiteral("normal");
    s.alarm2 = QStringLiteral("off");
    s.port = 1;
    s.time = QDateTime(QDate(2026, 12, 7), QTime(14, 5), QTimeZone(3600));
    const QJsonObject o = QJsonDocument::fromJson(mqtt::state_json(s)).object();
    EXPECT_EQ(o.value(QLatin1String("sensor1")), 25);
    EXPECT_TRUE(o.value(QLatin1String("sensor2")).isNull());
    EXPECT_EQ(o.value(QLatin1String("alarm2")), QStringLiteral("off"));
    EXPECT_EQ(o.value(QLatin1String("port")), 1);
    EXPECT_EQ(o.value(QLatin1String("time")), QStringLiteral("2026-12-07T14:05:00+01:00"));
}
