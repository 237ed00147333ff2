#pragma once

#include "controls/roles.h"
#include "rules/alarm_rules.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <chrono>
#include <memory>
#include <optional>

class QLineEdit;
class link_watch;

// One sensor as it leaves the machine, for the broker and the desktop alike.
struct sensor_report {
    std::optional<int> reading; // while current
    bool current = false;
    alarms::sensor_state state = alarms::sensor_state::off;
    QString high; // the settled threshold texts
    QString low;
    friend bool operator==(const sensor_report&, const sensor_report&) = default;
};

// A threshold field as it counts for what leaves the machine: its text once
// the operator has finished with it (the field is left, Return is pressed,
// the spin button is used, or the text has not changed for `pause`). A text
// changed while the field has no focus (a restore, a spin button) counts at
// once; a text above the limit, about to be put back to it, never does.
class settled_text : public QObject {
    Q_OBJECT
public:
    settled_text(QLineEdit* field, std::chrono::milliseconds pause, QObject* parent = nullptr);

    const QString& value() const { return value_; }

Q_SIGNALS:
    void settled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void on_text_changed();
    void settle();

    QLineEdit* field_;
    QString value_;
    QTimer pause_;
};

// What leaves the machine about each sensor, judged on settled facts: its
// reading only while current, its alarm from that reading, the alarm switch
// and the settled thresholds by the same rule as the lamps. The lamps
// themselves keep following the texts as they are typed.
class alarm_judge : public QObject {
    Q_OBJECT
public:
    alarm_judge(const sensor_roles& sensors, const link_watch& link,
                std::chrono::milliseconds settle_pause = std::chrono::seconds(2),
                QObject* parent = nullptr);
    ~alarm_judge() override;

    const sensor_report& report(int sensor) const { return watches_[index(sensor)].last; }

Q_SIGNALS:
    // The sensor's report changed.
    void changed(int sensor);

private:
    struct watch {
        const sensor_role* role = nullptr;
        std::unique_ptr<settled_text> high;
        std::unique_ptr<settled_text> low;
        sensor_report last;
    };
    static std::size_t index(int sensor) { return sensor == 2 ? 1 : 0; }
    void judge(watch& w);

    sensor_roles sensors_;
    const link_watch& link_;
    std::array<watch, 2> watches_;
};
