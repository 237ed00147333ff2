#pragma once

#include "rules/alarm_episode.h"
#include "rules/alarm_rules.h"
#include "rules/alarm_settings.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>

namespace alerts {

class alarm_judge;

// Where an acknowledgement came from.
enum class answer_via { desktop, window, mqtt };
QString via_name(answer_via via);

// Why a sensor has no reading, for the words that tell it.
enum class absence { none, no_reading, silent, port_closed };

// One step of a sensor's alarm, as every channel tells it.
struct alarm_event {
    int sensor = 1;
    QString name; // "Sensor 1", or the name given in [Alarm]
    rules::alarms::episode_event step;
    QString threshold; // the settled text of the threshold reached; empty: none
    absence why = absence::none;
    QDateTime since; // when the sensor first went beyond in this episode
    QDateTime at;
    // An acknowledgement: where, by whom, the corrective action.
    answer_via via = answer_via::window;
    QString by;
    QString comment;
};

// A sensor's alarm as the windows show it.
struct alarm_status {
    rules::alarms::alarm_phase phase = rules::alarms::alarm_phase::normal;
    rules::alarms::alarm_kind kind = rules::alarms::alarm_kind::high;
    bool off = false;
    std::optional<int> reading;
    std::optional<int> peak;
    QDateTime since;
    QString acknowledged_by; // with the time, place and comment below
    QDateTime acknowledged_at;
    answer_via acknowledged_via = answer_via::window;
    QString comment;
};

// The alarm of each sensor, the one source of every channel (the desktop,
// the broker, the journal; e-mail and commands alike): the judge's settled
// facts through the episode rules, on the steady clock. A timer per sensor
// wakes it only when something is due (the end of a raise delay or a clear
// hold, a reminder).
class alarm_state : public QObject {
    Q_OBJECT
public:
    using wall_clock = std::function<QDateTime()>;

    alarm_state(const alarm_judge& judge, rules::alarms::alarm_settings settings,
                wall_clock now = {}, QObject* parent = nullptr);

    void set_settings(const rules::alarms::alarm_settings& settings);
    const rules::alarms::alarm_settings& settings() const { return settings_; }
    const QString& name(int sensor) const { return settings_.name[index(sensor)]; }
    const alarm_status& status(int sensor) const { return sensors_[index(sensor)].status; }
    const alarm_judge& judge() const { return judge_; }

    // Answers the sensor's alarm; false when it has none to answer (or it
    // was answered already).
    bool acknowledge(int sensor, answer_via via, const QString& by, const QString& comment = {});

    // The sensor's alarm as it stands, told as if it were raised now (or
    // acknowledged, when it was), for a channel that comes late: nothing
    // while there is no alarm.
    std::optional<alarm_event> standing(int sensor) const;

    // The alarm as the broker is told it: off, normal (also while a raise
    // delay runs), or the kind of the alarm until "back to normal". Before
    // anything is known of a sensor, its judged state (no reading).
    rules::alarms::sensor_state published(int sensor) const;

Q_SIGNALS:
    void happened(const alerts::alarm_event& e);
    // What status() shows of the sensor changed.
    void changed(int sensor);

private:
    struct sensor {
        int number = 1;
        rules::alarms::episode episode;
        alarm_status status;
        QTimer due;
    };
    static std::size_t index(int sensor) { return sensor == 2 ? 1 : 0; }
    void follow(sensor& s);
    void tick(sensor& s);
    void tell(sensor& s, const rules::alarms::episode_events& events, const alarm_event& base = {});
    alarm_event event_of(const sensor& s, const rules::alarms::episode_event& step) const;
    void arm(sensor& s);
    absence why(int sensor) const;

    const alarm_judge& judge_;
    rules::alarms::alarm_settings settings_;
    wall_clock now_;
    std::array<sensor, 2> sensors_;
};

} // namespace alerts
