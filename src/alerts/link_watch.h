#pragma once

#include "rules/mqtt_rules.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>
#include <optional>

namespace alerts {

// What the station knows of its logger link, for what leaves the machine:
// whether the port is open; for each sensor whether its reading is current
// (received since the port last opened and not older than the reading
// lifetime) or the sensor has been silent for a whole lifetime; and whether
// the logger as a whole has been quiet, no reading of either sensor for
// `quiet_after` since the last one, whatever the port did meanwhile. The
// window keeps showing what it always showed.
//
// A window thread that did not run for a whole lifetime (a suspended
// machine, SIGSTOP, a swap storm) finds old bytes waiting in the port: what
// was read before and what waited are not current, until a batch arrives
// after the backlog that waited has been read.
class link_watch : public QObject {
    Q_OBJECT
public:
    using lifetime = std::function<std::chrono::milliseconds()>;
    // Whether bytes that arrived earlier are still waiting to be delivered.
    using backlog = std::function<bool()>;

    explicit link_watch(lifetime limit,
                        std::chrono::milliseconds quiet_after = std::chrono::seconds(60),
                        QObject* parent = nullptr);

    void set_backlog(backlog waiting) { backlog_ = std::move(waiting); }
    void port_changed(bool open);
    // A byte for sensor 1 or 2 arrived (a reading or "no reading"). Runs for
    // every byte, so it only takes note; the batch is judged as a whole.
    void received(int sensor);
    // The reading lifetime may have changed (a new sampling period): every
    // expiry is judged again with it.
    void refresh() { update(); }

    bool current(int sensor) const { return view_.current[index(sensor)]; }
    // The port is open and the sensor has sent nothing for a whole lifetime.
    bool silent(int sensor) const { return view_.silent[index(sensor)]; }
    rules::mqtt::link_state state() const { return view_.link; }
    bool quiet() const { return view_.quiet; }
    std::chrono::milliseconds quiet_after() const { return quiet_after_; }
    std::chrono::milliseconds limit() const { return limit_(); }

Q_SIGNALS:
    // The link state, a sensor's currentness or silence, or the quiet changed.
    void changed();

private:
    using time_point = std::chrono::steady_clock::time_point;
    struct view {
        rules::mqtt::link_state link = rules::mqtt::link_state::closed;
        std::array<bool, 2> current{};
        std::array<bool, 2> silent{};
        bool quiet = false;
        friend bool operator==(const view&, const view&) = default;
    };
    static std::size_t index(int sensor) { return sensor == 2 ? 1 : 0; }
    void end_of_batch();
    // True when the window thread has not run for a whole lifetime; what came
    // before is then forgotten.
    bool stalled(time_point now);
    void update();

    lifetime limit_;
    std::chrono::milliseconds quiet_after_;
    backlog backlog_;
    bool open_ = false;
    time_point opened_at_{};
    std::array<std::optional<time_point>, 2> last_{};
    std::array<bool, 2> heard_{}; // in the batch being delivered
    time_point heard_at_;         // the last reading of either sensor, or the start
    time_point alive_at_;         // the window thread last ran
    bool after_stall_ = false;    // old bytes may still be waiting
    view view_;
    QTimer expiry_;
    QTimer batch_;
    QTimer alive_;
};

} // namespace alerts
