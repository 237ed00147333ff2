#pragma once

#include "alarm/sensor_role.h"
#include "alerts/settled_text.h"
#include "rules/alarm_rules.h"

#include <QObject>
#include <QString>
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
    rules::alarms::sensor_state state = rules::alarms::sensor_state::off;
    QString high; // the settled threshold texts
    QString low;
    friend bool operator==(const sensor_report&, const sensor_report&) = default;
};

// What leaves the machine about each sensor, judged on settled facts: its
// reading only while current, its alarm from that reading, the alarm switch
// and the settled thresholds by the same rule as the lamps. The lamps
// themselves keep following the texts as they are typed.
class alarm_judge : public QObject {
    Q_OBJECT
public:
    alarm_judge(const alarms::sensor_roles& sensors, const link_watch& link,
                std::chrono::milliseconds settle_pause = std::chrono::seconds(2),
                QObject* parent = nullptr);
    ~alarm_judge() override;

    const sensor_report& report(int sensor) const { return watches_[index(sensor)].last; }

Q_SIGNALS:
    // The sensor's report changed.
    void changed(int sensor);

private:
    struct watch {
        const alarms::sensor_role* role = nullptr;
        std::unique_ptr<settled_text> high;
        std::unique_ptr<settled_text> low;
        sensor_report last;
    };
    static std::size_t index(int sensor) { return sensor == 2 ? 1 : 0; }
    void judge(watch& w);

    alarms::sensor_roles sensors_;
    const link_watch& link_;
    std::array<watch, 2> watches_;
};

} // namespace alerts
