#include "rules/mqtt_rules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
    bool ok = false;
    const int port = text("port").toInt(&ok);
    s.port = ok && port > 0 && port < 65536 ? port : s.tls() ? 8883 : 1883;
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
    return s;
}

bool is_local_host(const QString& host) {
    const QString h = host.toLower();
    return h == QLatin1String("localhost") || h == QLatin1String("::1") ||
           h.startsWith(QLatin1String("127."));
}

QString alarm_name(alarms::lamp_state high, alarms::lamp_state low) {
    using alarms::lamp_state;
    if (high == lamp_state::off && low == lamp_state::off)
        return QStringLiteral("off");
    if (high == lamp_state::alarm)
        return QStringLiteral("high");
    if (low == lamp_state::alarm)
        return QStringLiteral("low");
    return QStringLiteral("normal");
}

QByteArray state_json(const snapshot& s) {
    QJsonObject o;
    o.insert(QStringLiteral("sensor1"), number_or_null(s.sensor1));
    o.insert(QStringLiteral("sensor2"), number_or_null(s.sensor2));
    o.insert(QStringLiteral("alarm1"), s.alarm1);
    o.insert(QStringLiteral("alarm2"), s.alarm2);
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

std::vector<message> discovery_configs(const settings& s, const QString& host_name) {
    if (s.discovery.isEmpty())
        return {};
    const QString node = node_id(s.client_id);
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{node});
    device.insert(QStringLiteral("name"), QStringLiteral("KESTROVA ") + host_name);
    device.insert(QStringLiteral("manufacturer"), QStringLiteral("KESTROVA"));
    device.insert(QStringLiteral("model"), QStringLiteral("Two-channel temperature logger"));

    const auto common = [&](const QString& object, const QString& name) {
        QJsonObject o;
        o.insert(QStringLiteral("name"), name);
        o.insert(QStringLiteral("unique_id"), node + u'_' + object);
        o.insert(QStringLiteral("object_id"), node + u'_' + object);
        o.insert(QStringLiteral("state_topic"), state_topic(s));
        o.insert(QStringLiteral("availability_topic"), status_topic(s));
        o.insert(QStringLiteral("payload_available"), QStringLiteral("online"));
        o.insert(QStringLiteral("payload_not_available"), QStringLiteral("offline"));
        o.insert(QStringLiteral("device"), device);
        return o;
    };
    std::vector<message> out;
    for (int n = 1; n <= 2; ++n) {
        const QString sensor = QStringLiteral("sensor%1").arg(n);
        QJsonObject t = common(sensor, QStringLiteral("Sensor %1").arg(n));
        t.insert(QStringLiteral("device_class"), QStringLiteral("temperature"));
        t.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        t.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("\u00B0C"));
        t.insert(QStringLiteral("value_template"),
                 QStringLiteral("{{ value_json.%1 }}").arg(sensor));
        out.push_back({QStringLiteral("%1/sensor/%2/%3/config").arg(s.discovery, node, sensor),
                       QJsonDocument(t).toJson(QJsonDocument::Compact)});

        const QString alarm = QStringLiteral("alarm%1").arg(n);
        QJsonObject a = common(alarm, QStringLiteral("Sensor %1 alarm").arg(n));
        a.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
        a.insert(
            QStringLiteral("value_template"),
            QStringLiteral("{{ 'ON' if value_json.%1 in ['high', 'low'] else 'OFF' }}").arg(alarm));
        out.push_back(
            {QStringLiteral("%1/binary_sensor/%2/%3/config").arg(s.discovery, node, alarm),
             QJsonDocument(a).toJson(QJsonDocument::Compact)});
    }
    return out;
}

} // namespace mqtt
