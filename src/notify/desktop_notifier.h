#pragma once

#include "alerts/alarm_state.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QSet>
#include <QString>
#include <array>
#include <chrono>
#include <optional>

namespace settings {
class inifile;
} // namespace settings

namespace alerts {
class link_watch;
} // namespace alerts

namespace notify {

// Tells the desktop, with freedesktop notifications, each sensor's alarm as
// the alarm state tells it: raised (urgency critical, with an "Acknowledge"
// action), reminded, a change of kind, acknowledged (urgency normal), and its
// end ("back to normal", urgency normal) in the same notification, replaced
// each time; an alarm switched off is taken off the desktop. And the logger:
// once when no reading has come for a minute (from the last one, port closed
// or silent), once when readings are back. Each kind of failure to reach the
// desktop is said once on standard error.
class desktop_notifier : public QObject {
    Q_OBJECT
public:
    desktop_notifier(alerts::alarm_state& alarms, const alerts::link_watch& link,
                     QDBusConnection bus, QObject* parent = nullptr);
    ~desktop_notifier() override;

    // "[Notify] desktop=0" in the settings file turns notifications off.
    static bool wanted(const settings::inifile& ini);

    // A clean end: what is still on its way is sent, and an alarm still on
    // the desktop, no longer watched, is replaced at normal urgency by what
    // it was ("KESTROVA stopped; Sensor 1 was in high alarm"). Holds the end
    // up for a second at most.
    void finish();

    // How long the desktop may take to number a notification; one that
    // follows waits for the number so that it can replace it.
    static constexpr std::chrono::seconds answer_wait{120};

Q_SIGNALS:
    // What came of telling the desktop a step of a sensor's alarm.
    void told(int sensor, const QString& phase, bool ok, const QString& reason);

private Q_SLOTS:
    // The desktop's "ActionInvoked" signal: QtDBus connects bus signals to
    // slots by name only.
    void on_action(uint id, const QString& action);

private:
    struct note {
        QString summary; // empty: close the notification
        QString body;
        bool critical = false;
        bool answerable = false; // offers "Acknowledge"
        int sensor = 0;          // 0: not a sensor's alarm
        QString phase;
    };
    // One notification on the desktop, replaced by each that follows it.
    struct slot {
        quint32 id = 0;           // as the desktop numbered it; 0 before the first
        bool in_flight = false;   // asked for, its number not known yet
        std::optional<note> next; // waits for the number, the latest only
        QString stopped;          // what to say of it at the end; empty when nothing
    };

    void on_alarm(const alerts::alarm_event& e);
    void on_link();
    void send(slot& s, const note& n);
    void close(slot& s);
    void complain(const QDBusError& error);
    // Once per kind of failure.
    void complain(const QString& kind, const QString& why);

    alerts::alarm_state& alarms_;
    const alerts::link_watch& link_;
    QDBusConnection bus_;
    std::array<slot, 2> sensors_;
    bool quiet_shown_ = false;
    slot link_notice_;
    // Numbers from a notification service that has since gone are not ours
    // to replace on the next one.
    int generation_ = 0;
    QSet<QString> complained_;
};

} // namespace notify
