#include "controls/timer.h"

namespace controls {

timer::timer(int interval, bool enabled, QObject* parent)
    : QObject(parent)
    , enabled_(enabled) {
    clock_.setInterval(interval);
    connect(&clock_, &QTimer::timeout, this, &timer::tick);
}

void timer::set_enabled(bool on) {
    if (on && !enabled_)
        resting_ = false;
    enabled_ = on;
    follow();
}

void timer::set_interval(int ms) {
    const bool changed = ms != clock_.interval();
    clock_.setInterval(ms);
    if (changed)
        Q_EMIT interval_changed(ms);
}

void timer::release() {
    released_ = true;
    follow();
}

void timer::rest() {
    resting_ = true;
    follow();
}

void timer::wake() {
    if (!resting_)
        return;
    resting_ = false;
    follow();
}

void timer::follow() {
    const bool run = enabled_ && released_ && !resting_;
    if (run && !clock_.isActive())
        clock_.start();
    else if (!run && clock_.isActive())
        clock_.stop();
}

} // namespace controls
