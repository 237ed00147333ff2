#pragma once

#include "controls/roles.h"
#include "rules/alarm_rules.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>

class inifile;

// Tells the desktop when a lamp turns to its alarm colour from normal, with
// one freedesktop notification (urgency critical), and replaces it with a
// "back to normal" one (urgency normal) when the lamp is normal again. A
// reading that flaps across a threshold raises at most one alarm
// notification per lamp per minute; an alarm held back for that reason is
// shown when the minute is over, if the lamp still shows it. Without a
// session bus or a notification service nothing is shown, and that is said
// once on standard error.
class desktop_notifier : public QObject {
    Q_OBJECT
public:
    using clock = std::function<std::chrono::steady_clock::time_point()>;

    desktop_notifier(const sensor_roles& sensors, QDBusConnection bus, clock now = {},
                     QObject* parent = nullptr);

    // "[Notify] desktop=0" in the settings file turns notifications off.
    static bool wanted(const inifile& ini);

    static constexpr std::chrono::seconds alarm_spacing{60};

private:
    struct lamp_watch {
        const sensor_role* sensor = nullptr;
        alarms::lamp_row row = alarms::lamp_row::high;
        alarms::lamp_state state = alarms::lamp_state::normal;
        bool alarm_shown = false;
        quint32 id = 0; // the notification this lamp replaces
        std::chrono::steady_clock::time_point last_alarm{};
        bool ever_alarmed = false;
        QTimer held_back;
    };

    void on_lamp(lamp_watch& w, alarms::lamp_state now);
    void show_alarm(lamp_watch& w);
    void send(lamp_watch& w, const QString& summary, bool critical);
    void complain_once(const QString& why);

    sensor_roles sensors_;
    QDBusConnection bus_;
    clock now_;
    std::array<lamp_watch, 4> lamps_;
    bool complained_ = false;
};
