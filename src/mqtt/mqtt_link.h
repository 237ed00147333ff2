#pragma once

#include "rules/mqtt_claim.h"
#include "rules/mqtt_rules.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace mqtt {

// The connection to the message broker. Everything that can wait on the
// network (name resolution, connecting, the broker's answer, reconnecting
// with a back-off from 1 s to 60 s, each wait drawn between half and the whole
// step) happens on a thread of its own, so the window never waits for it;
// while nothing can be sent, or the broker does not acknowledge, only the
// latest state is kept, and it goes out on the next connect with the status
// "online" and the discovery configs, which also answer Home Assistant's
// birth message. The broker's last will, and a clean end, set the status
// "offline". The broker's answer to every message is read: a refused one is
// said ("connected, but the broker refuses to publish on …").
//
// With an owner, the link first reads the topic's retained owner and status:
// while another station holds the topic and is online, it publishes nothing
// there, says by whom it is held, and tries again later. Else it claims the
// topic (retained <topic>/owner), takes back what was announced before, and
// announces.
class mqtt_link : public QObject {
    Q_OBJECT
public:
    // Turns the configured host into what to connect to; may take its time.
    using resolver = std::function<std::string(const std::string& host)>;

    struct announcement {
        std::vector<rules::mqtt::message> discovery;
        // Sent before the rest: empty retained messages (rules::mqtt::take_back).
        std::vector<rules::mqtt::message> take_back;
        // None: the topic is neither checked nor claimed.
        std::optional<rules::mqtt::owner> owner;
    };

    mqtt_link(rules::mqtt::settings settings, announcement what, resolver resolve = {},
              QObject* parent = nullptr);
    mqtt_link(rules::mqtt::settings settings, std::vector<rules::mqtt::message> discovery,
              resolver resolve = {}, QObject* parent = nullptr)
        : mqtt_link(std::move(settings), announcement{std::move(discovery), {}, {}},
                    std::move(resolve), parent) {}
    ~mqtt_link() override;
    mqtt_link(const mqtt_link&) = delete;
    mqtt_link& operator=(const mqtt_link&) = delete;

    // Retained, QoS 1. Sent at once while connected, else kept as the one
    // to send on connect.
    void publish_state(const QByteArray& json);
    // A clean end: the latest state if it has not gone out, "offline", then
    // disconnect; waits a moment at most.
    void finish();
    // The announcement has gone out on this link (the broker may not have
    // acknowledged it yet).
    bool announced() const;

    static constexpr std::chrono::seconds answer_timeout{10};

    struct shared; // what the network thread works on

Q_SIGNALS:
    // "connected", or why not; raised only when it changes.
    void status_changed(const QString& status);
    // A message on <topic>/acknowledge, as it came.
    void acknowledge_received(const QByteArray& payload);
    // The announcement went out (on each connect).
    void announcement_sent();

private:
    std::shared_ptr<shared> shared_;
    std::thread worker_;
};

} // namespace mqtt
