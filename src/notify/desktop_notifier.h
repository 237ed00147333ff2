#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>
#include <optional>

namespace settings {
class inifile;
} // namespace settings

namespace alerts {
class alarm_judge;
class link_watch;
} // namespace alerts

namespace notify {

// Tells the desktop, with freedesktop notifications, about each sensor's
// alarm as the alarm judge reports it (current readings, settled
// thresholds): an alarm (urgency critical: "Sensor 1 high alarm: 31ºC
// (threshold 30ºC)", "Sensor 1: no reading", "Sensor 2: no reading for 30 s"
// when one sensor falls silent while the other goes on), replaced by "back to
// normal" (urgency normal) when it ends. A sensor raises at most one alarm a
// minute, whatever its states (high, low, no reading) do meanwhile; one held
// back for that is shown when the minute is over if the sensor still is in
// an alarm, as it is then. And about the logger: once when no reading has
// come for a minute (from the last one, port closed or silent), once when
// readings are back. Each kind of failure to reach the desktop is said once
// on standard error.
class desktop_notifier : public QObject {
    Q_OBJECT
public:
    using clock = std::function<std::chrono::steady_clock::time_point()>;

    desktop_notifier(const alerts::alarm_judge& judge, const alerts::link_watch& link,
                     QDBusConnection bus, clock now = {}, QObject* parent = nullptr);
    ~desktop_notifier() override;

    // "[Notify] desktop=0" in the settings file turns notifications off.
    static bool wanted(const settings::inifile& ini);

    // A clean end: an alarm still on the desktop is no longer watched, so it
    // is replaced, at normal urgency, by what it was ("KESTROVA stopped;
    // Sensor 1 was in high alarm"). Waits a moment at most.
    void finish();

    static constexpr std::chrono::seconds alarm_spacing{60};
    // How long the desktop may take to number a notification; one that
    // follows waits for the number so that it can replace it.
    static constexpr std::chrono::seconds answer_wait{120};

private:
    // What a sensor is, as far as the desktop is told.
    enum class said { unknown, off, normal, high, low, no_reading, silent };
    static bool is_alarm(said s) { return s >= said::high; }
    // One notification on the desktop, replaced by each that follows it.
    struct slot {
        quint32 id = 0;         // as the desktop numbered it; 0 before the first
        bool in_flight = false; // asked for, its number not known yet
        // What is to follow it once the number is known: a summary and
        // whether it is critical, or an empty summary to close it.
        std::optional<std::pair<QString, bool>> next;
        QString stopped; // what to say of it at the end; empty when nothing
    };
    struct sensor_watch {
        int number = 0;
        said state = said::unknown;
        said shown = said::unknown; // the alarm on the desktop; unknown when none
        slot notice;
        std::optional<std::chrono::steady_clock::time_point> last_alarm;
        QTimer held_back;
    };

    void follow(sensor_watch& w);
    void show_alarm(sensor_watch& w);
    QString alarm_text(const sensor_watch& w) const;
    void on_link();
    void send(slot& notice, const QString& summary, bool critical);
    void close(slot& notice);
    void complain(const QDBusError& error);
    // Once per kind of failure.
    void complain(const QString& kind, const QString& why);

    const alerts::alarm_judge& judge_;
    const alerts::link_watch& link_;
    QDBusConnection bus_;
    clock now_;
    std::array<sensor_watch, 2> watches_;
    bool quiet_shown_ = false;
    slot link_notice_;
    // Numbers from a notification service that has since gone are not ours
    // to replace on the next one.
    int generation_ = 0;
    QSet<QString> complained_;
};

} // namespace notify
