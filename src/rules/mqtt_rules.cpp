#include "rules/mqtt_rules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace mqtt {

namespace {

// Node ids and unique ids keep to the letters Home Assistant accepts.
QString node_id(const QString& client_id) {
    QString id;
    for (QChar c : client_id)
        id += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'_' || c == u'-' ? c : u'_';
    return id;
}

QJsonValue number_or_null(const std::optional<int>& n) {
    return n ? QJsonValue(*n) : QJsonValue(QJsonValue::Null);
}

// MQTT's longest topic, in bytes of UTF-8.
constexpr qsizetype longest_topic = 65535;

// Why `topic` (with the longest suffix this program adds) cannot be
// published to; empty when it can.
QString topic_problem(const QString& name, const QString& topic, qsizetype suffix) {
    if (topic.contains(QChar(u'\0')))
        return QStringLiteral("%1 holds a zero character").arg(name);
    if (topic.contains(u'+') || topic.contains(u'#'))
        return QStringLiteral("%1=%2 holds a wildcard (+ or #)").arg(name, topic);
    if (topic.toUtf8().size() + suffix > longest_topic)
        return QStringLiteral("%1 is longer than MQTT allows (%2 bytes)")
            .arg(name)
            .arg(longest_topic - suffix);
    return {};
}

} // namespace

QString settings::url() const {
    return QStringLiteral("%1://%2:%3")
        .arg(tls() ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), host)
        .arg(port);
}

settings read_settings(const std::function<std::optional<QString>(const QString& key)>& key,
                       const QString& host_name) {
    const auto text = [&](const char* name) {
        return key(QString::fromLatin1(name)).value_or(QString());
    };
    settings s;
    s.host = text("host");
    s.cafile = text("cafile");
    const QString port_text = text("port");
    bool ok = false;
    const int port = port_text.toInt(&ok);
    s.port = s.tls() ? 8883 : 1883;
    if (ok && port > 0 && port < 65536)
        s.port = port;
    else if (!port_text.isEmpty())
        s.problem = QStringLiteral("port=%1 is not a port number (1 to 65535)").arg(port_text);
    s.topic = text("topic");
    if (s.topic.isEmpty())
        s.topic = QStringLiteral("kestrova/") + host_name;
    s.username = text("username");
    s.password = text("password");
    s.client_id = text("client_id");
    if (s.client_id.isEmpty())
        s.client_id = QStringLiteral("kestrova-") + host_name;
    // A missing key means the default; a key that is there but empty turns
    // discovery off.
    s.discovery = key(QStringLiteral("discovery")).value_or(QStringLiteral("homeassistant"));
    // The longest topics this program adds: "/status" to the topic, and
    // "/binary_sensor/<node>/alarm1/config" to the discovery prefix.
    for (const QString& problem : {topic_problem(QStringLiteral("topic"), s.topic, 7),
                                   topic_problem(QStringLiteral("discovery"), s.discovery,
                                                 32 + s.client_id.toUtf8().size())}) {
        if (s.problem.isEmpty())
            s.problem = problem;
    }
    if (s.client_id.contains(QChar(u'\0')) && s.problem.isEmpty())
        s.problem = QStringLiteral("client_id holds a zero character");
    return s;
}

bool is_local_host(const QString& host) {
    const QString h = host.toLower();
    if (h == QLatin1String("localhost") || h == QLatin1String("::1"))
        return true;
    // Four decimal numbers 0 to 255, the first 127.
    const QStringList parts = h.split(u'.');
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        bool ok = false;
        const int n = part.toInt(&ok);
        if (!ok || n < 0 || n > 255 || part.isEmpty() || part.size() > 3 || !part[0].isDigit())
            return false;
    }
    return parts[0].toInt() == 127;
}

QString alarm_name(alarms::sensor_state s) {
    using alarms::sensor_state;
    switch (s) {
    case sensor_state::off:
        return QStringLiteral("off");
    case sensor_state::no_reading:
        return QStringLiteral("no_reading");
    case sensor_state::high:
        return QStringLiteral("high");
    case sensor_state::low:
        return QStringLiteral("low");
    case sensor_state::normal:
        break;
    }
    return QStringLiteral("normal");
}

QString link_name(link_state s) {
    switch (s) {
    case link_state::open:
        return QStringLiteral("open");
    case link_state::closed:
        return QStringLiteral("closed");
    case link_state::silent:
        break;
    }
    return QStringLiteral("silent");
}

std::chrono::milliseconds reading_lifetime(int sample_ms, std::chrono::milliseconds floor) {
    return std::max(floor, std::chrono::milliseconds(3LL * std::max(sample_ms, 0)));
}

QByteArray state_json(const snapshot& s) {
    QJsonObject o;
    o.insert(QStringLiteral("sensor1"), number_or_null(s.sensor1));
    o.insert(QStringLiteral("sensor2"), number_or_null(s.sensor2));
    o.insert(QStringLiteral("alarm1"), s.alarm1);
    o.insert(QStringLiteral("alarm2"), s.alarm2);
    o.insert(QStringLiteral("link"), link_name(s.link));
    o.insert(QStringLiteral("port"), number_or_null(s.port));
    // Local time with its offset from UTC.
    const QDateTime t = s.time.toOffsetFromUtc(s.time.offsetFromUtc());
    o.insert(QStringLiteral("time"), t.toString(Qt::ISODate));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString status_topic(const settings& s) {
    return s.topic + QStringLiteral("/status");
}

QString state_topic(const settings& s) {
    return s.topic + QStringLiteral("/state");
}

std::vector<message> discovery_configs(const settings& s, const QString& host_name,
                                       const QString& version) {
    if (s.discovery.isEmpty())
        return {};
    const QString node = node_id(s.client_id);
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{node});
    device.insert(QStringLiteral("name"), QStringLiteral("KESTROVA ") + host_name);
    device.insert(QStringLiteral("manufacturer"), QStringLiteral("KESTROVA"));
    device.insert(QStringLiteral("model"), QStringLiteral("Two-channel temperature logger"));
    device.insert(QStringLiteral("sw_version"), version);
    const QJsonObject origin{{QStringLiteral("name"), QStringLiteral("KESTROVA")},
                             {QStringLiteral("sw_version"), version},
                             {QStringLiteral("support_url"), support_url}};
    // Both must hold: the station is online (its last will says otherwise)
    // and its logger link is open, so that no old reading shows as live.
    const QJsonArray availability{
        QJsonObject{{QStringLiteral("topic"), status_topic(s)},
                    {QStringLiteral("payload_available"), QStringLiteral("online")},
                    {QStringLiteral("payload_not_available"), QStringLiteral("offline")}},
        QJsonObject{{QStringLiteral("topic"), state_topic(s)},
                    {QStringLiteral("value_template"),
                     QStringLiteral("{{ 'online' if value_json.link == 'open' else 'offline' }}")},
                    {QStringLiteral("payload_available"), QStringLiteral("online")},
                    {QStringLiteral("payload_not_available"), QStringLiteral("offline")}}};

    // Topics and unique ids stay as they were, so existing installations keep
    // their entities and history.
    const auto common = [&](const QString& domain, const QString& object, const QString& name) {
        QJsonObject o;
        o.insert(QStringLiteral("name"), name);
        o.insert(QStringLiteral("unique_id"), node + u'_' + object);
        o.insert(QStringLiteral("default_entity_id"), domain + u'.' + node + u'_' + object);
        o.insert(QStringLiteral("state_topic"), state_topic(s));
        o.insert(QStringLiteral("availability"), availability);
        o.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
        o.insert(QStringLiteral("device"), device);
        o.insert(QStringLiteral("origin"), origin);
        return o;
    };
    std::vector<message> out;
    for (int n = 1; n <= 2; ++n) {
        const QString sensor = QStringLiteral("sensor%1").arg(n);
        QJsonObject t =
            common(QStringLiteral("sensor"), sensor, QStringLiteral("Sensor %1").arg(n));
        t.insert(QStringLiteral("device_class"), QStringLiteral("temperature"));
        t.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        t.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("\u00B0C"));
        t.insert(QStringLiteral("value_template"),
                 QStringLiteral("{{ value_json.%1 }}").arg(sensor));
        out.push_back({QStringLiteral("%1/sensor/%2/%3/config").arg(s.discovery, node, sensor),
                       QJsonDocument(t).toJson(QJsonDocument::Compact)});

        const QString alarm = QStringLiteral("alarm%1").arg(n);
        QJsonObject a = common(QStringLiteral("binary_sensor"), alarm,
                               QStringLiteral("Sensor %1 alarm").arg(n));
        a.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
        // An alarm switched off is unknown ("None"), never "OFF": that would
        // read as "OK".
        a.insert(QStringLiteral("value_template"),
                 QStringLiteral("{{ {'high': 'ON', 'low': 'ON', 'no_reading': 'ON', "
                                "'normal': 'OFF'}.get(value_json.%1) }}")
                     .arg(alarm));
        out.push_back(
            {QStringLiteral("%1/binary_sensor/%2/%3/config").arg(s.discovery, node, alarm),
             QJsonDocument(a).toJson(QJsonDocument::Compact)});
    }
    return out;
}

} // namespace mqtt
