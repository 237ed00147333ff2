#pragma once

#include <QObject>
#include <QTimer>

namespace controls {

// Timer1 to Timer3 as the window knows them: Enabled and Interval belong to
// the control. The clock underneath runs only while the timer is enabled,
// the window's start-up has finished (release) and the timer is not resting.
// A timer whose handler has nothing new to look at rests until wake(), so an
// idle window costs no wake-ups.
class timer : public QObject {
    Q_OBJECT
public:
    timer(int interval, bool enabled, QObject* parent);

    bool enabled() const { return enabled_; }
    // Enabling a timer that is enabled already keeps its next tick where it is.
    void set_enabled(bool on);
    int interval() const { return clock_.interval(); }
    void set_interval(int ms);

    // Start-up is over: from now on an enabled timer ticks.
    void release();
    // No tick until wake(); the timer stays enabled.
    void rest();
    void wake();
    // Whether ticks are coming.
    bool ticking() const { return clock_.isActive(); }

Q_SIGNALS:
    void tick();
    // The period changed: what is timed by it may be due at another moment.
    void interval_changed(int ms);

private:
    void follow();

    QTimer clock_;
    bool enabled_;
    bool released_ = false;
    bool resting_ = false;
};

} // namespace controls
