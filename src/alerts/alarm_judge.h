#pragma once

#include "alarm/sensor_role.h"
#include "alerts/settled_text.h"
#include "rules/alarm_episode.h"
#include "rules/alarm_rules.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <chrono>
#include <memory>
#include <optional>

namespace alerts {

class link_watch;

// One sensor as it leaves the machine, for the broker and the desktop alike.
struct sensor_report {
    std::optional<int> reading; // while current
    bool current = false;
    // The alarm rule on the current reading and the settled thresholds.
    rules::alarms::sensor_state state = rules::alarms::sensor_state::off;
    // The same as a fact for the alarm state; unknown while nothing can be
    // known yet (the port opened a moment ago).
    rules::alarms::sensor_fact fact;
    bool silent = false; // the port is open and the sensor has sent nothing for a lifetime
    QString high;        // the settled threshold texts
    QString low;
    friend bool operator==(const sensor_report& a, const sensor_report& b) {
        return a.reading == b.reading && a.current == b.current && a.state == b.state &&
               a.fact.state == b.fact.state && a.fact.reading == b.fact.reading &&
               a.fact.threshold == b.fact.threshold && a.silent == b.silent && a.high == b.high &&
               a.low == b.low;
    }
};

// What leaves the machine about each sensor, judged on settled facts: its
// reading only while current, its alarm from that reading, the alarm switch
// and the settled thresholds by the same rule as the lamps. The lamps
// themselves keep following the texts as they are typed. A batch of bytes
// from the logger is judged once, after its last byte.
class alarm_judge : public QObject {
    Q_OBJECT
public:
    alarm_judge(const alarms::sensor_roles& sensors, const link_watch& link,
                std::chrono::milliseconds settle_pause = std::chrono::seconds(2),
                QObject* parent = nullptr);
    ~alarm_judge() override;

    const sensor_report& report(int sensor) const { return watches_[index(sensor)].last; }
    // The threshold fields as they count (settled).
    const settled_text& high(int sensor) const { return *watches_[index(sensor)].high; }
    const settled_text& low(int sensor) const { return *watches_[index(sensor)].low; }

Q_SIGNALS:
    // The sensor's report changed.
    void changed(int sensor);

private:
    struct watch {
        const alarms::sensor_role* role = nullptr;
        std::unique_ptr<settled_text> high;
        std::unique_ptr<settled_text> low;
        bool reading_changed = false;
        sensor_report last;
    };
    static std::size_t index(int sensor) { return sensor == 2 ? 1 : 0; }
    void judge(watch& w);
    void judge_readings();

    alarms::sensor_roles sensors_;
    const link_watch& link_;
    std::array<watch, 2> watches_;
    QTimer batch_;
};

} // namespace alerts
