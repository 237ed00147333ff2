#pragma once

#include "controls/roles.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>

class inifile;
class link_watch;

// Tells the desktop, with freedesktop notifications, about each sensor's
// alarm as it is judged from a current reading (one received since start-up
// or since the port last opened): an alarm (urgency critical: "Sensor 1 high
// alarm: 31ºC (threshold 30ºC)", "Sensor 1: no reading"), replaced by "back to
// normal" (urgency normal) when it ends. A sensor that flaps across a
// threshold raises at most one alarm per minute; an alarm held back for that
// reason is shown when the minute is over if the sensor still is in it, as
// it is then. And about the logger link: once when no reading has come for a
// minute (port closed or silent), once when readings are back. Without a
// session bus or a notification service nothing is shown, and that is said
// once on standard error.
class desktop_notifier : public QObject {
    Q_OBJECT
public:
    using clock = std::function<std::chrono::steady_clock::time_point()>;

    desktop_notifier(const sensor_roles& sensors, const link_watch& link, QDBusConnection bus,
                     clock now = {},
                     std::chrono::milliseconds link_notice_after = std::chrono::seconds(60),
                     QObject* parent = nullptr);

    // "[Notify] desktop=0" in the settings file turns notifications off.
    static bool wanted(const inifile& ini);
    // The desktop session's bus, never one started for us: without an
    // address in the environment and without $XDG_RUNTIME_DIR/bus, D-Bus
    // would launch a bus of its own that outlives the monitor. Nullopt then.
    static std::optional<QDBusConnection> session_bus();

    static constexpr std::chrono::seconds alarm_spacing{60};

private:
    // One notification on the desktop, replaced by each that follows it.
    struct slot {
        quint32 id = 0;         // as the desktop numbered it; 0 before the first
        bool in_flight = false; // asked for, its number not known yet
        // What is to replace it once the number is known.
        std::optional<std::pair<QString, bool>> next;
    };
    struct sensor_watch {
        const sensor_role* sensor = nullptr;
        QString state; // as last judged from a current reading; empty without one
        QString shown; // the alarm on the desktop; empty when none is
        slot notice;   // the notification this sensor replaces
        std::chrono::steady_clock::time_point last_alarm{};
        bool ever_alarmed = false;
        QTimer held_back;
    };

    void judge(sensor_watch& w);
    void show_alarm(sensor_watch& w, const QString& reading);
    void on_link();
    void send(slot& notice, const QString& summary, bool critical);
    void complain_once(const QString& why);

    sensor_roles sensors_;
    const link_watch& link_;
    QDBusConnection bus_;
    clock now_;
    std::array<sensor_watch, 2> watches_;
    QTimer link_lost_;
    bool link_lost_shown_ = false;
    slot link_notice_;
    bool complained_ = false;
};
