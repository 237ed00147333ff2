#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

namespace notify {

// The desktop session's bus, reached off the window thread: a bus that does
// not answer (a stopped dbus-daemon) never holds up start-up, the data log or
// publishing. Tried again every `retry` until it answers.
class session_bus : public QObject {
    Q_OBJECT
public:
    explicit session_bus(std::chrono::milliseconds retry = std::chrono::seconds(30),
                         QObject* parent = nullptr);
    ~session_bus() override;
    session_bus(const session_bus&) = delete;
    session_bus& operator=(const session_bus&) = delete;

    // Starts the first attempt; connected() follows, or unavailable() once
    // while it is not reached.
    void connect_to_bus();

    // The desktop session's bus address, never one started for us: without
    // an address in the environment and without $XDG_RUNTIME_DIR/bus, D-Bus
    // would launch a bus of its own that outlives the monitor. Nullopt then.
    static std::optional<QString> address();

    // Whether a bus daemon answers at `address` within `wait`: the first
    // step of its log-in dialogue, nothing more. Transports other than a
    // local socket are left to D-Bus itself (true).
    static bool answers(const QString& address, std::chrono::milliseconds wait);

    struct shared; // what the attempt's thread works on

Q_SIGNALS:
    void connected(const QDBusConnection& bus);
    // Why there is no bus yet ("no session bus (…)", "the session bus does
    // not answer (tried again every 30 s)"); said once.
    void unavailable(const QString& why);

private:
    void attempt();
    void on_result(bool answered);

    std::shared_ptr<shared> shared_;
    QTimer retry_;
    bool complained_ = false;
};

} // namespace notify
