#pragma once

#include <QWidget>
#include <array>

class QLabel;
class QPushButton;

namespace alerts {

class alarm_state;

// "KESTROVA Alarms": each sensor's alarm as it stands (normal, pending,
// alarm, acknowledged, clearing), since when, its peak, and who acknowledged
// it with what corrective action. "Acknowledge…" asks for that action
// (optional) and answers the alarm.
class alarms_window : public QWidget {
    Q_OBJECT
public:
    explicit alarms_window(alarm_state& alarms, QWidget* parent = nullptr);

private:
    struct row {
        QLabel* name;
        QLabel* state;
        QLabel* since;
        QLabel* peak;
        QLabel* answer;
        QPushButton* acknowledge;
    };
    void show_sensor(int sensor);
    void ask_acknowledgement(int sensor);

    alarm_state& alarms_;
    std::array<row, 2> rows_{};
};

} // namespace alerts
