#pragma once

struct mosquitto;

namespace mqtt {

// How the network thread waits for the broker or for a message to send.
// The library's own loop waits with select(), which takes no socket
// numbered 1024 or more; where there are pipes and poll(), the wait is on
// the socket and a pipe that poke() writes to instead. Elsewhere it is the
// library's loop, which a queued message does not wake before its timeout.
class mqtt_wait {
public:
    mqtt_wait();
    ~mqtt_wait();
    mqtt_wait(const mqtt_wait&) = delete;
    mqtt_wait& operator=(const mqtt_wait&) = delete;

    // Wakes the wait, from any thread.
    void poke();
    // One turn of the network loop: waits up to `timeout_ms` for the broker
    // or for poke(), then reads, writes and keeps the link alive. The
    // library's result.
    int loop_once(mosquitto* mosq, int timeout_ms);

private:
    int wake_read_ = -1;
    int wake_write_ = -1;
};

} // namespace mqtt
