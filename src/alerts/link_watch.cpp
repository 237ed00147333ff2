#include "alerts/link_watch.h"

#include <algorithm>

namespace alerts {

using namespace std::chrono_literals;

link_watch::link_watch(lifetime limit, std::chrono::milliseconds quiet_after, QObject* parent)
    : QObject(parent)
    , limit_(std::move(limit))
    , quiet_after_(quiet_after)
    , heard_at_(std::chrono::steady_clock::now())
    , alive_at_(heard_at_) {
    expiry_.setSingleShot(true);
    connect(&expiry_, &QTimer::timeout, this, &link_watch::update);
    batch_.setSingleShot(true);
    batch_.setInterval(0);
    connect(&batch_, &QTimer::timeout, this, &link_watch::end_of_batch);
    // A beat that shows whether the window thread runs; one late by a whole
    // lifetime is a stall.
    alive_.setInterval(
        std::clamp(limit_() / 4, std::chrono::milliseconds(50), std::chrono::milliseconds(5s)));
    connect(&alive_, &QTimer::timeout, this, [this] {
        if (stalled(std::chrono::steady_clock::now()))
            update();
    });
    alive_.start();
    update();
}

void link_watch::port_changed(bool open) {
    if (open == open_)
        return;
    open_ = open;
    // Readings from before the port last opened are not current.
    last_ = {};
    heard_ = {};
    opened_at_ = std::chrono::steady_clock::now();
    update();
}

void link_watch::received(int sensor) {
    heard_[index(sensor)] = true;
    if (!batch_.isActive())
        batch_.start();
}

bool link_watch::stalled(time_point now) {
    const auto limit = limit_();
    const bool stall = now - alive_at_ > limit;
    alive_at_ = now;
    const auto beat =
        std::clamp(limit / 4, std::chrono::milliseconds(50), std::chrono::milliseconds(5s));
    if (alive_.intervalAsDuration() != beat)
        alive_.setInterval(beat);
    if (!stall)
        return false;
    // Whatever came before, and whatever waited in the port meanwhile, is old;
    // and the logger was not silent for the time nothing here ran.
    after_stall_ = true;
    last_ = {};
    opened_at_ = now;
    heard_at_ = now;
    return true;
}

void link_watch::end_of_batch() {
    const time_point now = std::chrono::steady_clock::now();
    stalled(now);
    const std::array<bool, 2> heard = std::exchange(heard_, {});
    if (after_stall_) {
        // This batch was read from what waited; the next one after the
        // backlog is news.
        if (!backlog_ || !backlog_())
            after_stall_ = false;
        update();
        return;
    }
    bool news = false;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        if (!heard[i])
            continue;
        last_[i] = now;
        heard_at_ = now;
        news = news || !view_.current[i];
    }
    // While a sensor is current and an expiry armed, a reading only moves
    // the times the expiry will look at.
    if (news || view_.quiet || !expiry_.isActive())
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
