#include "settings/station_settings.h"

#include "rules/alarm_settings.h"
#include "rules/mail_settings.h"
#include "rules/mqtt_fields.h"
#include "settings/inifile.h"

#include <QDir>
#include <QFileInfo>

namespace settings {

namespace {

const QString ports_section = QStringLiteral("Ports");
const QString mqtt_section = QStringLiteral("MQTT");
const QString notify_section = QStringLiteral("Notify");
const QString alarm_section = QStringLiteral("Alarm");
const QString mail_section = QStringLiteral("Mail");

// The [MQTT] keys in the order they are written.
const QStringList mqtt_keys = {
    QStringLiteral("host"),      QStringLiteral("port"),      QStringLiteral("cafile"),
    QStringLiteral("username"),  QStringLiteral("password"),  QStringLiteral("topic"),
    QStringLiteral("client_id"), QStringLiteral("discovery"), QStringLiteral("station")};
const QStringList announced_keys = {QStringLiteral("announced_topic"),
                                    QStringLiteral("announced_discovery"),
                                    QStringLiteral("announced_node")};

QString whole(const inifile& ini, const QString& section, const QString& key) {
    return ini.read_whole(section, key).value_or(QString());
}

void put(inifile::entries& out, const QString& key, const QString& value) {
    if (!value.isEmpty())
        out.emplace_back(key, value);
}

} // namespace

station_settings read_station_settings(const inifile& ini, const QString& default_station) {
    station_settings s;
    for (int p = 1; p <= 4; ++p)
        s.ports[static_cast<std::size_t>(p - 1)] = whole(ini, ports_section, QString::number(p));
    station_settings::broker& b = s.mqtt;
    const auto key = [&](const char* name) {
        return whole(ini, mqtt_section, QString::fromLatin1(name));
    };
    b.host = key("host");
    b.port = key("port");
    b.cafile = key("cafile");
    b.username = key("username");
    b.password = key("password");
    b.topic = key("topic");
    b.client_id = key("client_id");
    b.discovery = ini.read_whole(mqtt_section, QStringLiteral("discovery"));
    b.station = key("station");
    if (b.station.isEmpty())
        b.station = default_station;
    s.desktop_notifications = whole(ini, notify_section, QStringLiteral("desktop")) != u'0';
    for (const QString& key : rules::alarms::alarm_keys())
        if (const auto v = ini.read_whole(alarm_section, key))
            s.alarm.insert(key, *v);
    for (const QString& key : rules::mail::mail_keys())
        if (const auto v = ini.read_whole(mail_section, key))
            s.mail.insert(key, *v);
    return s;
}

rules::result write_station_settings(inifile& ini, const station_settings& s) {
    inifile::section_values ports{ports_section, {}, {}};
    for (int p = 1; p <= 4; ++p) {
        ports.known << QString::number(p);
        put(ports.values, QString::number(p), s.ports[static_cast<std::size_t>(p - 1)]);
    }
    inifile::section_values mqtt{mqtt_section, mqtt_keys, {}};
    const station_settings::broker& b = s.mqtt;
    for (const auto& [key, value] : {std::pair{"host", b.host},
                                     {"port", b.port},
                                     {"cafile", b.cafile},
                                     {"username", b.username},
                                     {"password", b.password},
                                     {"topic", b.topic},
                                     {"client_id", b.client_id}})
        put(mqtt.values, QString::fromLatin1(key), value);
    // An empty prefix turns discovery off, so it is written as it is.
    if (b.discovery)
        mqtt.values.emplace_back(QStringLiteral("discovery"), *b.discovery);
    put(mqtt.values, QStringLiteral("station"), b.station);
    inifile::section_values notify{
        notify_section,
        {QStringLiteral("desktop")},
        {{QStringLiteral("desktop"),
          s.desktop_notifications ? QStringLiteral("1") : QStringLiteral("0")}}};
    inifile::section_values alarm{alarm_section, rules::alarms::alarm_keys(), {}};
    for (const QString& key : rules::alarms::alarm_keys())
        put(alarm.values, key, s.alarm.value(key));
    inifile::section_values mail{mail_section, rules::mail::mail_keys(), {}};
    for (const QString& key : rules::mail::mail_keys())
        put(mail.values, key, s.mail.value(key));
    return ini.write_sections({ports, mqtt, notify, alarm, mail});
}

QString keep_station_id(inifile& ini, const QString& host_name) {
    QString kept = whole(ini, mqtt_section, QStringLiteral("station"));
    if (!kept.isEmpty())
        return kept;
    QString made =
        rules::mqtt::make_station_id(host_name, QFileInfo(ini.path()).absoluteDir().absolutePath());
    // A file that cannot keep it is said on standard error; the id made
    // stays the same for the same folder.
    if (!whole(ini, mqtt_section, QStringLiteral("host")).isEmpty())
        static_cast<void>(ini.write_keys(mqtt_section, {{QStringLiteral("station"), made}}));
    return made;
}

rules::mqtt::announced read_announced(const inifile& ini) {
    return {whole(ini, mqtt_section, announced_keys[0]),
            whole(ini, mqtt_section, announced_keys[1]),
            whole(ini, mqtt_section, announced_keys[2])};
}

rules::result keep_announced(inifile& ini, const rules::mqtt::announced& a) {
    // The window's keys as they stand, in their order, then these.
    inifile::section_values mqtt{mqtt_section, mqtt_keys + announced_keys, {}};
    for (const QString& key : mqtt_keys)
        if (const std::optional<QString> v = ini.read_whole(mqtt_section, key))
            mqtt.values.emplace_back(key, *v);
    mqtt.values.emplace_back(announced_keys[0], a.topic);
    mqtt.values.emplace_back(announced_keys[1], a.discovery);
    mqtt.values.emplace_back(announced_keys[2], a.node);
    return ini.write_sections({mqtt});
}

} // namespace settings
