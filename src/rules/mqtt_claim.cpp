#include "rules/mqtt_claim.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace rules::mqtt {

QString owner_topic(const settings& s) {
    return s.topic + QStringLiteral("/owner");
}

QByteArray owner_json(const owner& o) {
    const QJsonObject j{{QStringLiteral("station"), o.station},
                        {QStringLiteral("host"), o.host},
                        {QStringLiteral("folder"), o.folder}};
    return QJsonDocument(j).toJson(QJsonDocument::Compact);
}

std::optional<owner> read_owner(const QByteArray& payload) {
    const QJsonObject j = QJsonDocument::fromJson(payload).object();
    owner o{j.value(QStringLiteral("station")).toString(),
            j.value(QStringLiteral("host")).toString(),
            j.value(QStringLiteral("folder")).toString()};
    if (o.station.isEmpty() && o.host.isEmpty() && o.folder.isEmpty())
        return std::nullopt;
    return o;
}

QString topic_taken(const settings& s, const owner& me, const std::optional<QByteArray>& held_by,
                    const std::optional<QByteArray>& status) {
    if (!held_by || status != QByteArrayLiteral("online"))
        return {};
    const std::optional<owner> other = read_owner(*held_by);
    if (!other || other->same_place(me))
        return {};
    return QStringLiteral("%1 is in use by the station %2 on %3 (%4)")
        .arg(s.topic, other->station, other->host, other->folder);
}

announced announced_by(const settings& s) {
    return {s.topic, s.discovery, node_of(s)};
}

std::vector<message> take_back(const announced& before, const settings& now) {
    std::vector<message> out;
    const announced after = announced_by(now);
    if (!before.discovery.isEmpty() && !before.node.isEmpty() &&
        (before.discovery != after.discovery || before.node != after.node))
        for (const QString& topic : config_topics(before.discovery, before.node))
            out.push_back({topic, {}});
    if (!before.topic.isEmpty() && before.topic != after.topic)
        for (const char* leaf : {"/state", "/status", "/owner"})
            out.push_back({before.topic + QLatin1String(leaf), {}});
    return out;
}

} // namespace rules::mqtt
