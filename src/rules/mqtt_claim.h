#pragma once

#include "rules/mqtt_rules.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// Whose a topic is, and what a station announced before: a station publishes
// only on a topic no other live station holds, and takes back what it
// announced under a topic, prefix or id it no longer uses.
namespace rules::mqtt {

// The station that holds a topic, retained on <topic>/owner:
// {"station":"lab-pc-fridge-kestrova-79fe24","host":"lab-pc","folder":"/srv/fridge/kestrova"}
struct owner {
    QString station;
    QString host;
    QString folder;
    // One station is one folder on one host, whatever its id is now.
    bool same_place(const owner& o) const { return host == o.host && folder == o.folder; }
};
QString owner_topic(const settings& s);
QByteArray owner_json(const owner& o);
std::optional<owner> read_owner(const QByteArray& payload);

// Why the station must not publish on its topic: the retained owner is
// another station and the retained status says it is online. Empty when it
// may.
QString topic_taken(const settings& s, const owner& me, const std::optional<QByteArray>& held_by,
                    const std::optional<QByteArray>& status);

// What a station announced when it last published: its topic, the
// discovery prefix (empty: none) and Home Assistant's node id.
struct announced {
    QString topic;
    QString discovery;
    QString node;
    friend bool operator==(const announced&, const announced&) = default;
};
announced announced_by(const settings& s);

// Empty retained messages that take back what `before` announced and `now`
// does not: the configs under an old prefix or node (all of them when
// discovery is off now), the state, status and owner of an old topic.
std::vector<message> take_back(const announced& before, const settings& now);

} // namespace rules::mqtt
