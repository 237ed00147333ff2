#include "mqtt/mqtt_link_shared.h"

// The link's side of a connection once the broker has accepted it: whose
// the topic is, what is announced, what comes from the broker.
namespace mqtt {

void mqtt_link::shared::on_connect(int rc) {
    answered = true;
    if (rc != 0) {
        // The broker's reason stays in the status line until the next
        // answer, whatever the library says of the closed link meanwhile.
        refused = true;
        quick_drops = 0;
        if (is_protocol_refusal(rc) && mqtt5) {
            // A broker that knows no MQTT 5: the next attempt, at once,
            // speaks 3.1.1.
            mqtt5 = false;
            again_at_once = true;
        } else {
            report(QStringLiteral("not connected: %1").arg(connack_verdict(rc).text));
        }
        mosquitto_disconnect(mosq);
        return;
    }
    connected = true;
    {
        const std::lock_guard lock(mutex);
        accepted_at = std::chrono::steady_clock::now();
        unacknowledged = 0;
        in_flight.clear();
        refusals.clear();
        settled = false;
        held_by.reset();
        held_status.reset();
        held_left.reset();
        birth_answer.reset();
        claim = me ? claim_state::asking : claim_state::ours;
    }
    if (me)
        subscribe_claim(true);
    if (!discovery.empty())
        mosquitto_subscribe(mosq, nullptr, birth_topic().constData(), 1);
    int mid = 0;
    mosquitto_subscribe(mosq, &mid, rules::mqtt::acknowledge_topic(settings).toUtf8().constData(),
                        1);
    const std::lock_guard lock(mutex);
    claim_mid = mid;
    if (!me)
        announce_locked();
}

// The topic's owner and status, and the owner of a topic left behind, whose
// state and status are taken back only while no other station holds it.
void mqtt_link::shared::subscribe_claim(bool on) {
    const QByteArray owner = rules::mqtt::owner_topic(settings).toUtf8();
    const QByteArray status = rules::mqtt::status_topic(settings).toUtf8();
    const QByteArray left = old_owner_topic().toUtf8();
    char* topics[] = {const_cast<char*>(owner.constData()), const_cast<char*>(status.constData()),
                      const_cast<char*>(left.constData())};
    const int count = left.isEmpty() ? 2 : 3;
    if (on)
        mosquitto_subscribe_multiple(mosq, nullptr, count, topics, 1, 0, nullptr);
    else
        mosquitto_unsubscribe_multiple(mosq, nullptr, count, topics, nullptr);
}

QString mqtt_link::shared::old_owner_topic() const {
    for (const rules::mqtt::message& m : take_back)
        if (m.topic.endsWith(QLatin1String("/owner")))
            return m.topic;
    return {};
}

// The retained owner and status have come, if there are any: the topic
// is ours unless another station holds it and is online. A station
// refused leaves with a goodbye, so that its last will does not say
// "offline" for the other.
void mqtt_link::shared::on_subscribed(int mid) {
    QString taken;
    {
        const std::lock_guard lock(mutex);
        if (mid != claim_mid || claim != claim_state::asking)
            return;
        taken = rules::mqtt::topic_taken(settings, *me, held_by, held_status);
        if (taken.isEmpty())
            announce_locked();
        else
            claim = claim_state::theirs;
    }
    subscribe_claim(false);
    if (taken.isEmpty())
        return;
    refused = true;
    report(QStringLiteral("not publishing: %1").arg(taken));
    mosquitto_disconnect(mosq);
}

// What goes out once the topic is ours: the claim, "online", what was
// announced before and is no more, the configs and the latest state.
void mqtt_link::shared::announce_locked() {
    claim = claim_state::ours;
    if (me)
        send_locked(rules::mqtt::owner_topic(settings), rules::mqtt::owner_json(*me));
    send_locked(rules::mqtt::status_topic(settings), QByteArrayLiteral("online"));
    const QString left = old_owner_topic();
    const std::optional<rules::mqtt::owner> holder =
        held_left ? rules::mqtt::read_owner(*held_left) : std::nullopt;
    const bool left_to_another = me && holder && !holder->same_place(*me);
    for (const rules::mqtt::message& m : take_back)
        if (!left_to_another || !m.topic.startsWith(left.chopped(5)))
            send_locked(m.topic, m.payload);
    send_discovery_locked();
    announced = true;
    if (mqtt_link* link = owner)
        QMetaObject::invokeMethod(
            link, [link] { Q_EMIT link->announcement_sent(); }, Qt::QueuedConnection);
}

QByteArray mqtt_link::shared::birth_topic() const {
    return (settings.discovery + QStringLiteral("/status")).toUtf8();
}

void mqtt_link::shared::send_discovery_locked() {
    for (const rules::mqtt::message& m : discovery)
        send_locked(m.topic, m.payload);
    latest_sent = false;
    send_latest_locked();
}

// Home Assistant says "online" when it (re)starts and has forgotten every
// entity: the configs and the latest state go out again, after a random
// moment of up to 3 s so that a thousand stations do not answer at once.
// A retained "online" is old news: the configs went out on connect.
void mqtt_link::shared::on_message(const mosquitto_message& m) {
    const QByteArray payload(static_cast<const char*>(m.payload), m.payloadlen);
    if (me) {
        const std::lock_guard lock(mutex);
        if (claim == claim_state::asking) {
            if (rules::mqtt::owner_topic(settings).toUtf8() == m.topic)
                held_by = payload;
            else if (rules::mqtt::status_topic(settings).toUtf8() == m.topic)
                held_status = payload;
            else if (old_owner_topic().toUtf8() == m.topic)
                held_left = payload;
        }
    }
    // A retained acknowledgement is an old one: it answers nothing now; nor
    // does one on a topic that is not ours (yet).
    if (!m.retain && rules::mqtt::acknowledge_topic(settings).toUtf8() == m.topic) {
        const std::lock_guard lock(mutex);
        if (mqtt_link* link = owner; link && claim == claim_state::ours)
            QMetaObject::invokeMethod(
                link, [link, payload] { Q_EMIT link->acknowledge_received(payload); },
                Qt::QueuedConnection);
        return;
    }
    if (m.retain || payload != "online" || birth_topic() != m.topic)
        return;
    const std::lock_guard lock(mutex);
    if (!birth_answer)
        birth_answer =
            std::chrono::steady_clock::now() +
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 3000)(random));
}

void mqtt_link::shared::answer_birth_when_due() {
    const std::lock_guard lock(mutex);
    if (birth_answer && std::chrono::steady_clock::now() >= *birth_answer) {
        birth_answer.reset();
        send_discovery_locked();
    }
}

} // namespace mqtt
