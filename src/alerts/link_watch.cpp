#include "alerts/link_watch.h"

namespace alerts {

link_watch::link_watch(lifetime limit, std::chrono::milliseconds quiet_after, QObject* parent)
    : QObject(parent)
    , limit_(std::move(limit))
    , quiet_after_(quiet_after)
    , heard_at_(std::chrono::steady_clock::now()) {
    expiry_.setSingleShot(true);
    connect(&expiry_, &QTimer::timeout, this, &link_watch::update);
    update();
}

void link_watch::port_changed(bool open) {
    if (open == open_)
        return;
    open_ = open;
    // Readings from before the port last opened are not current.
    last_ = {};
    opened_at_ = std::chrono::steady_clock::now();
    update();
}

void link_watch::received(int sensor) {
    const std::size_t i = index(sensor);
    const time_point now = std::chrono::steady_clock::now();
    last_[i] = now;
    heard_at_ = now;
    // While the sensor is current and an expiry armed, a byte only moves
    // the times the expiry will look at.
    if (!view_.current[i] || view_.quiet || !expiry_.isActive())
        update();
}

void link_watch::update() {
    const time_point now = std::chrono::steady_clock::now();
    const auto limit = limit_();
    view next;
    std::optional<time_point> due; // when the view can next change by itself
    const auto within = [&](time_point since, std::chrono::milliseconds span) {
        if (now - since >= span)
            return false;
        if (!due || since + span < *due)
            due = since + span;
        return true;
    };
    if (open_) {
        for (std::size_t i = 0; i < last_.size(); ++i) {
            // A sensor never heard since the port opened counts from then.
            next.silent[i] = !within(last_[i].value_or(opened_at_), limit);
            next.current[i] = last_[i] && !next.silent[i];
        }
        const bool heard = next.current[0] || next.current[1];
        next.link = heard || within(opened_at_, limit) ? rules::mqtt::link_state::open
                                                       : rules::mqtt::link_state::silent;
    }
    next.quiet = !within(heard_at_, quiet_after_);
    if (due)
        expiry_.start(std::chrono::ceil<std::chrono::milliseconds>(*due - now));
    else
        expiry_.stop();
    if (next == view_)
        return;
    view_ = next;
    Q_EMIT changed();
}

} // namespace alerts
