#pragma once

#include "rules/mqtt_rules.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>
#include <optional>

// What the station knows of its logger link, for what leaves the machine:
// whether the port is open, and for each sensor whether its reading is
// current, that is received since the port last opened and not older than
// the reading lifetime. The window keeps showing what it always showed.
class link_watch : public QObject {
    Q_OBJECT
public:
    using lifetime = std::function<std::chrono::milliseconds()>;

    explicit link_watch(lifetime limit, QObject* parent = nullptr);

    void port_changed(bool open);
    // A byte for sensor 1 or 2 arrived (a reading or "no reading"). Costs a
    // clock read: it runs for every byte.
    void received(int sensor);

    bool current(int sensor) const { return view_.current[index(sensor)]; }
    mqtt::link_state state() const { return view_.link; }

Q_SIGNALS:
    // The link state or a sensor's currentness changed.
    void changed();

private:
    using time_point = std::chrono::steady_clock::time_point;
    struct view {
        mqtt::link_state link = mqtt::link_state::closed;
        std::array<bool, 2> current{};
        friend bool operator==(const view&, const view&) = default;
    };
    static std::size_t index(int sensor) { return sensor == 2 ? 1 : 0; }
    void update();

    lifetime limit_;
    bool open_ = false;
    time_point opened_at_{};
    std::array<std::optional<time_point>, 2> last_{};
    view view_;
    QTimer expiry_;
};
