#pragma once

#include "rules/mqtt_rules.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
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
// "offline".
class mqtt_link : public QObject {
    Q_OBJECT
public:
    // Turns the configured host into what to connect to; may take its time.
    using resolver = std::function<std::string(const std::string& host)>;

    mqtt_link(rules::mqtt::settings settings, std::vector<rules::mqtt::message> discovery,
              resolver resolve = {}, QObject* parent = nullptr);
    ~mqtt_link() override;
    mqtt_link(const mqtt_link&) = delete;
    mqtt_link& operator=(const mqtt_link&) = delete;

    // Retained, QoS 1. Sent at once while connected, else kept as the one
    // to send on connect.
    void publish_state(const QByteArray& json);
    // A clean end: "offline", then disconnect; waits a moment at most.
    void finish();

    static constexpr std::chrono::seconds answer_timeout{10};

    struct shared; // what the network thread works on

Q_SIGNALS:
    // "connected", or why not; raised only when it changes.
    void status_changed(const QString& status);
    // A message on <topic>/acknowledge, as it came.
    void acknowledge_received(const QByteArray& payload);

private:
    std::shared_ptr<shared> shared_;
    std::thread worker_;
};

} // namespace mqtt
