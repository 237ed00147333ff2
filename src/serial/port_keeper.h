#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

namespace serial {

class comm_control;

// Keeps the port the operator chose open: a new choice takes over at once
// (the port in use already is left as it is), and while the chosen port is
// not open it is tried again at every retry interval, quietly, so a logger
// that is plugged in late or replugged comes back by itself.
class port_keeper : public QObject {
    Q_OBJECT
public:
    struct state {
        int port = 0; // 0 while none is chosen
        QString device;
        bool open = false;
        QString reason; // why it is not open; empty while it is
        friend bool operator==(const state&, const state&) = default;
    };

    port_keeper(comm_control& comm, std::chrono::milliseconds retry_interval,
                QObject* parent = nullptr);

    void choose(int port);
    // The end: no more retries; the port is closed.
    void stop();

    state current() const;

Q_SIGNALS:
    // The port opened, closed or failed for another reason.
    void state_changed(const port_keeper::state& s);

private:
    void retry();
    void follow();

    comm_control& comm_;
    QTimer retry_timer_;
    int wanted_ = 0;
    state shown_;
};

} // namespace serial
