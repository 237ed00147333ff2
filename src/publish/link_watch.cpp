#include "publish/link_watch.h"

link_watch::link_watch(lifetime limit, QObject* parent)
    : QObject(parent)
    , limit_(std::move(limit)) {
    expiry_.setSingleShot(true);
    connect(&expiry_, &QTimer::timeout, this, &link_watch::update);
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
    last_[i] = std::chrono::steady_clock::now();
    // While the sensor is current and its expiry armed, a byte only moves
    // the time the expiry will look at.
    if (!view_.current[i] || !expiry_.isActive())
        update();
}

void link_watch::update() {
    const time_point now = std::chrono::steady_clock::now();
    const auto limit = limit_();
    view next;
    std::optional<time_point> next_expiry;
    const auto alive = [&](time_point since) {
        if (now - since >= limit)
            return false;
        if (!next_expiry || since + limit < *next_expiry)
            next_expiry = since + limit;
        return true;
    };
    if (open_) {
        for (std::size_t i = 0; i < last_.size(); ++i)
            next.current[i] = last_[i] && alive(*last_[i]);
        const bool heard = next.current[0] || next.current[1];
        next.link = heard || alive(opened_at_) ? mqtt::link_state::open : mqtt::link_state::silent;
    }
    if (next_expiry)
        expiry_.start(std::chrono::ceil<std::chrono::milliseconds>(*next_expiry - now));
    else
        expiry_.stop();
    if (next == view_)
        return;
    view_ = next;
    Q_EMIT changed();
}
