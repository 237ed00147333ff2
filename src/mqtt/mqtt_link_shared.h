#pragma once

// What the broker link's network thread works on; only the link's own
// sources include it.
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_outcome.h"
#include "mqtt/mqtt_wait.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <map>
#include <mosquitto.h>
#include <mutex>
#include <optional>
#include <random>

namespace mqtt {

// At most this many messages wait for the broker's acknowledgement; beyond
// that only the latest state is kept, so a broker that never acknowledges
// costs no memory.
inline constexpr int most_unacknowledged = 8;

// Shared by the window's thread and the network thread, and kept alive by
// the latter when the program ends while it is still caught in a lookup.
struct mqtt_link::shared {
    rules::mqtt::settings settings;
    std::vector<rules::mqtt::message> discovery;
    std::vector<rules::mqtt::message> take_back;
    std::optional<rules::mqtt::owner> me;
    resolver resolve;
    mosquitto* mosq = nullptr;

    std::mutex mutex;
    std::condition_variable wake;
    mqtt_link* owner = nullptr; // null once the link object is gone
    std::optional<QByteArray> latest;
    bool latest_sent = true; // false while the latest state waits for room
    int unacknowledged = 0;
    std::chrono::steady_clock::time_point last_acknowledged{};
    std::map<int, QString> in_flight; // message id: topic
    std::map<QString, int> refusals;  // topic: the reason the broker refused it
    // The topic's retained owner and status, read before anything is
    // published; the decision comes with the answer to the subscription
    // after theirs, when the retained messages have arrived.
    enum class claim_state { asking, ours, theirs } claim = claim_state::asking;
    int claim_mid = -1;
    std::optional<QByteArray> held_by, held_status, held_left;
    std::atomic<bool> announced{false};
    bool settled = false; // the broker has answered the announcement
    QString reported;
    std::atomic<bool> stop{false};
    std::atomic<bool> connected{false};
    std::atomic<bool> answered{false};
    std::atomic<bool> refused{false};
    std::atomic<int> lost_reason{0}; // as the library said when the link went
    // MQTT 5 where the broker speaks it: its DISCONNECT then says why it
    // dropped the link (another client took the id over, it shuts down).
    bool mqtt5 = true;
    bool again_at_once = false;
    // A broker that says nothing of it (MQTT 3.1.1, mosquitto before
    // 2.0.15) still drops a client when another connects with its id: links
    // dropped soon after they were accepted, in a row, with nothing failing
    // in between.
    std::chrono::steady_clock::time_point accepted_at{};
    int quick_drops = 0;
    QString logged; // the library's errors during the present connection
    // When to answer Home Assistant's birth message; none while not asked.
    std::optional<std::chrono::steady_clock::time_point> birth_answer;
    std::mt19937 random{std::random_device{}()};
    std::promise<void> done;

    mqtt_wait wait; // wakes the network thread when a message is queued for it

    shared() = default;
    ~shared() {
        if (mosq)
            mosquitto_destroy(mosq);
    }
    shared(const shared&) = delete;
    shared& operator=(const shared&) = delete;

    void poke() { wait.poke(); }
    int loop_once(int timeout_ms) { return wait.loop_once(mosq, timeout_ms); }

    // Sends at QoS 1, retained; false when the message did not go out (it
    // counts as not delivered). Called with the mutex held.
    bool send_locked(const QString& topic, const QByteArray& payload) {
        int mid = 0;
        const int rc =
            mosquitto_publish(mosq, &mid, topic.toUtf8().constData(),
                              static_cast<int>(payload.size()), payload.constData(), 1, true);
        if (rc != MOSQ_ERR_SUCCESS)
            return false;
        in_flight[mid] = topic;
        poke();
        if (unacknowledged++ == 0)
            last_acknowledged = std::chrono::steady_clock::now();
        return true;
    }
    // The latest state goes out when connected and the broker keeps up.
    void send_latest_locked() {
        if (connected && claim == claim_state::ours && latest && !latest_sent &&
            unacknowledged < most_unacknowledged)
            latest_sent = send_locked(rules::mqtt::state_topic(settings), *latest);
    }
    // The broker's answer: MQTT 5 says why it refused a message (3.1.1 acknowledges
    // or closes the link).
    void on_acknowledged(int mid, int reason) {
        const std::lock_guard lock(mutex);
        unacknowledged = std::max(unacknowledged - 1, 0);
        last_acknowledged = std::chrono::steady_clock::now();
        if (const auto sent = in_flight.find(mid); sent != in_flight.end()) {
            if (reason >= 0x80)
                refusals[sent->second] = reason;
            else
                refusals.erase(sent->second);
            in_flight.erase(sent);
        }
        send_latest_locked();
    }
    // "connected", or what is wrong with a link that is; nothing while the
    // broker has not yet answered every message of the announcement, so
    // that a refusal is said at once and "connected" only of what it took.
    QString connected_status() {
        {
            const std::lock_guard lock(mutex);
            if (!settled && !in_flight.empty() &&
                std::chrono::steady_clock::now() - last_acknowledged <= answer_timeout)
                return {};
            settled = true;
            if (!refusals.empty()) {
                // The state says most; else the first refused topic by name.
                const auto state = refusals.find(rules::mqtt::state_topic(settings));
                const auto& [topic, reason] = state != refusals.end() ? *state : *refusals.begin();
                return publish_verdict(topic, reason).text;
            }
        }
        return unacknowledged_too_long()
                   ? QStringLiteral("connected, but the broker does not acknowledge")
                   : QStringLiteral("connected");
    }
    // Something has waited for its acknowledgement longer than the broker's
    // answer may take.
    bool unacknowledged_too_long() {
        const std::lock_guard lock(mutex);
        return unacknowledged > 0 &&
               std::chrono::steady_clock::now() - last_acknowledged > answer_timeout;
    }

    void report(const QString& status) {
        const std::lock_guard lock(mutex);
        if (status == reported || !owner)
            return;
        reported = status;
        mqtt_link* link = owner;
        QMetaObject::invokeMethod(
            link, [link, status] { Q_EMIT link->status_changed(status); }, Qt::QueuedConnection);
    }

    bool wait_or_stop(std::chrono::milliseconds d) {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, d, [this] { return stop.load(); });
    }

    void on_connect(int rc);
    void subscribe_claim(bool on);
    QString old_owner_topic() const;
    // The retained owner and status have come, if there are any: the topic
    // is ours unless another station holds it and is online. A station
    // refused leaves with a goodbye, so that its last will does not say
    // "offline" for the other.
    void on_subscribed(int mid);
    // What goes out once the topic is ours: the claim, "online", what was
    // announced before and is no more, the configs and the latest state.
    void announce_locked();
    QByteArray birth_topic() const;
    void send_discovery_locked();
    // Home Assistant says "online" when it (re)starts and has forgotten every
    // entity: the configs and the latest state go out again, after a random
    // moment of up to 3 s so that a thousand stations do not answer at once.
    // A retained "online" is old news: the configs went out on connect.
    void on_message(const mosquitto_message& m);
    void answer_birth_when_due();

    // The library's client, made afresh for every connection: a client that
    // lost its link keeps what the broker had not acknowledged and sends it
    // again after the next connect, after the latest state, and the broker
    // would keep an old reading. Why it cannot be made; empty when it is.
    QString make_client();
    // One connection, from connect to its loss or the end.
    void converse(const std::string& address);
    // Why mosquitto_connect() failed, in the operator's words.
    QString failure(int rc, int saved_errno, const std::string& address);
    // Why a connection ended: before the broker's answer as a failure to
    // connect; after it, as the broker or the library said.
    QString lost(int rc, int saved_errno, const std::string& address);
    bool announced_now();
    // MQTT 3.1.1 has no word for a refused message: a broker may close the
    // link on it instead.
    QString closed_on_publish();
    QString dropped_hint();
    // Seconds from a lost link to its next attempt. The attempts after a
    // loss are due at u, g u, g^2 u, ... with u drawn once per loss between
    // 1 s and g s, evenly on a log scale, and at most a minute apart.
    // Stations that lost a broker together for D seconds then come back over
    // the (g - 1) D seconds after its return, thickest at first: about
    // 1 / (D ln g) of them in the first second (a fifth for D = 5 s).
    double next_due(double last);
    void run();
};

} // namespace mqtt
