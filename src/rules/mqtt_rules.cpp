#include "rules/mqtt_rules.h"

#include "rules/mqtt_fields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace rules::mqtt {

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

// "topic=site/# holds a wildcard (+ or #)": the value is shown unless it is
// too long to read or holds a zero character.
QString said(const QString& name, const QString& value, const QString& reason) {
    if (reason.isEmpty())
        return {};
    const bool show = !value.isEmpty() && value.size() <= 200 && !value.contains(QChar(u'\0'));
    return show ? name + u'=' + value + u' ' + reason : name + u' ' + reason;
}

QJsonValue text_or_null(const QString& t) {
    return t.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(t);
}

} // namespace

QString node_of(const settings& s) {
    return node_id(s.station.isEmpty() ? s.client_id : QStringLiteral("kestrova-") + s.station);
}

QString settings::url() const {
    return QStringLiteral("%1://%2:%3")
        .arg(tls() ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), host)
        .arg(port);
}

settings read_settings(const std::function<std::optional<QString>(const QString& key)>& key,
                       const QString& default_station) {
    const auto text = [&](const char* name) {
        return key(QString::fromLatin1(name)).value_or(QString());
    };
    settings s;
    s.host = text("host");
    s.cafile = text("cafile");
    s.station = text("station");
    if (s.station.isEmpty())
        s.station = default_station;
    const QString port_text = text("port");
    s.port = s.tls() ? 8883 : 1883;
    s.problem = said(QStringLiteral("port"), port_text, port_problem(port_text));
    if (!port_text.isEmpty() && s.problem.isEmpty())
        s.port = port_text.toInt();
    s.topic = text("topic");
    if (s.topic.isEmpty())
        s.topic = QStringLiteral("kestrova/") + s.station;
    s.username = text("username");
    s.password = text("password");
    s.client_id = text("client_id");
    if (s.client_id.isEmpty())
        s.client_id = QStringLiteral("kestrova-") + s.station;
    // A missing key means the default; a key that is there but empty turns
    // discovery off.
    s.discovery = key(QStringLiteral("discovery")).value_or(QStringLiteral("homeassistant"));
    const qsizetype node = node_of(s).toUtf8().size();
    for (const QString& problem :
         {said(QStringLiteral("topic"), s.topic, topic_problem(s.topic, topic_suffix)),
          said(QStringLiteral("discovery"), s.discovery,
               topic_problem(s.discovery, discovery_suffix + node)),
          said(QStringLiteral("client_id"), s.client_id, text_problem(s.client_id)),
          said(QStringLiteral("username"), s.username, text_problem(s.username)),
          said(QStringLiteral("password"), {}, text_problem(s.password))}) {
        if (s.problem.isEmpty())
            s.problem = problem;
    }
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
    case link_state::stopped:
        return QStringLiteral("stopped");
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
    for (int n = 1; n <= 2; ++n) {
        const alarm_detail& d = s.detail[static_cast<std::size_t>(n - 1)];
        o.insert(QStringLiteral("phase%1").arg(n), d.phase);
        o.insert(QStringLiteral("reason%1").arg(n), text_or_null(d.reason));
        o.insert(QStringLiteral("acknowledged_by%1").arg(n), text_or_null(d.acknowledged_by));
    }
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

QString acknowledge_topic(const settings& s) {
    return s.topic + QStringLiteral("/acknowledge");
}

std::optional<acknowledgement> read_acknowledgement(const QByteArray& payload) {
    const QByteArray plain = payload.trimmed();
    if (plain == "1" || plain == "2")
        return acknowledgement{plain.toInt(), {}, {}};
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    const int sensor = o.value(QStringLiteral("sensor")).toInt();
    if (sensor != 1 && sensor != 2)
        return std::nullopt;
    return acknowledgement{sensor, o.value(QStringLiteral("by")).toString().left(64),
                           o.value(QStringLiteral("comment")).toString().left(1000)};
}

namespace {

// The station as Home Assistant shows it.
QJsonObject device_of(const settings& s, const QString& host_name, const QString& version) {
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{node_of(s)});
    device.insert(QStringLiteral("name"),
                  QStringLiteral("KESTROVA ") + (s.station.isEmpty() ? host_name : s.station));
    device.insert(QStringLiteral("manufacturer"), QStringLiteral("KESTROVA"));
    device.insert(QStringLiteral("model"), QStringLiteral("Two-channel temperature logger"));
    device.insert(QStringLiteral("sw_version"), version);
    return device;
}

// Only the station's own status: while it is online, what it publishes is
// current (a reading it lacks is null, its alarm says why).
QJsonArray availability_of(const settings& s) {
    return QJsonArray{
        QJsonObject{{QStringLiteral("topic"), status_topic(s)},
                    {QStringLiteral("payload_available"), QStringLiteral("online")},
                    {QStringLiteral("payload_not_available"), QStringLiteral("offline")}}};
}

// The objects of a station's entities: component and object id.
const std::array<std::pair<const char*, const char*>, 7> objects{{{"sensor", "sensor1"},
                                                                  {"sensor", "sensor2"},
                                                                  {"binary_sensor", "alarm1"},
                                                                  {"binary_sensor", "alarm2"},
                                                                  {"binary_sensor", "link"},
                                                                  {"button", "acknowledge1"},
                                                                  {"button", "acknowledge2"}}};

QString config_topic(const QString& prefix, const char* component, const QString& node,
                     const char* object) {
    return QStringLiteral("%1/%2/%3/%4/config")
        .arg(prefix, QLatin1String(component), node, QLatin1String(object));
}

} // namespace

std::vector<message> discovery_configs(const settings& s, const QString& host_name,
                                       const QString& version) {
    if (s.discovery.isEmpty())
        return {};
    const QString node = node_of(s);
    const QJsonObject device = device_of(s, host_name, version);
    // No support_url: the program has no web page to send a user to.
    const QJsonObject origin{{QStringLiteral("name"), QStringLiteral("KESTROVA")},
                             {QStringLiteral("sw_version"), version}};
    const QJsonArray availability = availability_of(s);

    // Unique ids follow the station id alone: a new client id or topic keeps
    // the station's entities and their history in Home Assistant.
    const auto common = [&](const QString& domain, const QString& object, const QString& name) {
        QJsonObject o;
        o.insert(QStringLiteral("name"), name);
        o.insert(QStringLiteral("unique_id"), node + u'_' + object);
        o.insert(QStringLiteral("default_entity_id"), domain + u'.' + node + u'_' + object);
        o.insert(QStringLiteral("state_topic"), state_topic(s));
        o.insert(QStringLiteral("availability"), availability);
        o.insert(QStringLiteral("device"), device);
        o.insert(QStringLiteral("origin"), origin);
        return o;
    };
    std::vector<message> out;
    const auto add = [&](const char* component, const char* object, const QJsonObject& config) {
        out.push_back({config_topic(s.discovery, component, node, object),
                       QJsonDocument(config).toJson(QJsonDocument::Compact)});
    };
    for (int n = 1; n <= 2; ++n) {
        const QString name = s.names[static_cast<std::size_t>(n - 1)];
        const QString sensor = QStringLiteral("sensor%1").arg(n);
        QJsonObject t = common(QStringLiteral("sensor"), sensor, name);
        t.insert(QStringLiteral("device_class"), QStringLiteral("temperature"));
        t.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        t.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("\u00B0C"));
        t.insert(QStringLiteral("value_template"),
                 QStringLiteral("{{ value_json.%1 }}").arg(sensor));
        add("sensor", n == 1 ? "sensor1" : "sensor2", t);

        const QString alarm = QStringLiteral("alarm%1").arg(n);
        QJsonObject a =
            common(QStringLiteral("binary_sensor"), alarm, name + QStringLiteral(" alarm"));
        a.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
        // An alarm switched off is unknown ("None"), never "OFF": that would
        // read as "OK". A sensor without a reading is a problem.
        a.insert(QStringLiteral("value_template"),
                 QStringLiteral("{{ {'high': 'ON', 'low': 'ON', 'no_reading': 'ON', "
                                "'normal': 'OFF'}.get(value_json.%1) }}")
                     .arg(alarm));
        a.insert(QStringLiteral("json_attributes_topic"), state_topic(s));
        a.insert(QStringLiteral("json_attributes_template"),
                 QStringLiteral("{{ {'phase': value_json.phase%1, 'reason': value_json.reason%1, "
                                "'acknowledged_by': value_json.acknowledged_by%1} | tojson }}")
                     .arg(n));
        add("binary_sensor", n == 1 ? "alarm1" : "alarm2", a);

        const QString ack = QStringLiteral("acknowledge%1").arg(n);
        QJsonObject b =
            common(QStringLiteral("button"), ack, QStringLiteral("Acknowledge %1 alarm").arg(name));
        b.remove(QStringLiteral("state_topic"));
        b.insert(QStringLiteral("command_topic"), acknowledge_topic(s));
        b.insert(QStringLiteral("payload_press"),
                 QStringLiteral("{\"sensor\":%1,\"by\":\"Home Assistant\"}").arg(n));
        add("button", n == 1 ? "acknowledge1" : "acknowledge2", b);
    }
    // The logger link: it says why the temperatures are unknown.
    QJsonObject link = common(QStringLiteral("binary_sensor"), QStringLiteral("link"),
                              QStringLiteral("Logger link"));
    link.insert(QStringLiteral("device_class"), QStringLiteral("connectivity"));
    link.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    link.insert(QStringLiteral("value_template"),
                QStringLiteral("{{ 'ON' if value_json.link == 'open' else 'OFF' }}"));
    add("binary_sensor", "link", link);
    return out;
}

QStringList config_topics(const QString& prefix, const QString& node) {
    QStringList out;
    for (const auto& [component, object] : objects)
        out << config_topic(prefix, component, node, object);
    return out;
}

} // namespace rules::mqtt
