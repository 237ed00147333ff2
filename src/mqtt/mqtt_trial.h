#pragma once

#include "mqtt/mqtt_outcome.h"
#include "rules/mqtt_rules.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace mqtt {

// "Test connection": one connection to the broker with the given settings,
// on a thread of its own, closed again as soon as the broker has answered
// it and one test message (QoS 1, not retained, on <topic>/test), whose
// refusal it names. It leaves no last will, and its client id is the
// settings' own with "-test" after it, so that the running link is never
// dropped for it. Its verdict comes within `limit`, whatever the network
// does. An attempt whose verdict is no longer wanted (a new start, cancel,
// the end of the trial) stops at once and closes its connection; its thread
// is joined, at the latest when the trial ends. Only a thread caught in a
// name lookup or a connect, which nothing of ours can cut short, is left to
// finish on its own then, and that is said.
class mqtt_trial : public QObject {
    Q_OBJECT
public:
    explicit mqtt_trial(std::chrono::milliseconds limit = std::chrono::seconds(8),
                        QObject* parent = nullptr);
    ~mqtt_trial() override;
    mqtt_trial(const mqtt_trial&) = delete;
    mqtt_trial& operator=(const mqtt_trial&) = delete;

    // A new attempt; the verdict of one still running is dropped.
    void start(const rules::mqtt::settings& settings);
    bool running() const { return current_ != nullptr; }
    // Drops the verdict of the attempt that runs, if one does.
    void cancel() { drop_current(); }

    struct attempt; // what the attempt's thread works on

Q_SIGNALS:
    void finished(const verdict& v);

private:
    void conclude(const std::shared_ptr<attempt>& a, const verdict& v);
    void drop_current();
    void join_ended();

    struct worker {
        std::shared_ptr<attempt> a;
        std::thread thread;
    };

    std::chrono::milliseconds limit_;
    std::shared_ptr<attempt> current_;
    std::vector<worker> workers_;
    QTimer guard_;
};

} // namespace mqtt
