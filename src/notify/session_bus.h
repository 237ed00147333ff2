#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace notify {

// The desktop session's bus, reached off the window thread: a bus that does
// not answer (a stopped dbus-daemon) never holds up start-up, the data log or
// publishing. Tried again every `retry` until it answers.
//
// Connecting goes through QtDBus's own thread, which no time-out of ours
// reaches; it is tried only once the daemon has answered a whole log-in
// (answers()). An attempt still inside QtDBus when the program ends is left
// behind, and so is QtDBus's thread: the program then ends without running
// QtDBus's exit, which would wait for it (left_behind()).
class session_bus : public QObject {
    Q_OBJECT
public:
    explicit session_bus(std::chrono::milliseconds retry = std::chrono::seconds(30),
                         QObject* parent = nullptr);
    ~session_bus() override;
    session_bus(const session_bus&) = delete;
    session_bus& operator=(const session_bus&) = delete;

    // Starts the first attempt; connected() follows, or unavailable() once
    // while it is not reached. Silent when the bus was kept off at start-up.
    void connect_to_bus();

    // The desktop session's bus address, never one started for us: without
    // an address in the environment and without $XDG_RUNTIME_DIR/bus, D-Bus
    // would launch a bus of its own that outlives the monitor. Nullopt then,
    // and when the bus was kept off.
    static std::optional<QString> address();

    // Whether a bus daemon answers at `address` within `wait`: the log-in
    // (EXTERNAL) and the bus's Hello, as far as QtDBus's own connect goes,
    // so that QtDBus is never handed a bus that stalls half-way. A bus that
    // refuses the log-in answers too (QtDBus fails at once on it). A write to
    // `cancel_fd` ends the wait early (false). Transports other than a local
    // socket are left to D-Bus itself (true).
    static bool answers(const QString& address, std::chrono::milliseconds wait, int cancel_fd = -1);

    // Before the QApplication exists: when the session's bus does not answer
    // within `wait`, points this process (and what it starts) at no bus, so
    // that nothing of Qt's (the screen reader bridge, the platform theme)
    // waits for it on the window thread. The address that did not answer;
    // nullopt when the bus answers or there is none.
    static std::optional<QString> keep_off_when_silent(std::chrono::milliseconds wait);

    // Whether an attempt was left inside QtDBus when its session_bus ended.
    static bool left_behind();

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
    std::thread worker_;
    QTimer retry_;
    bool complained_ = false;
};

} // namespace notify
