#pragma once

#include "alerts/alarm_state.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace notify {

// Runs the program of [Alarm] command= (no shell) for every event of the
// alarm state that a person is told of (raised, reminded, acknowledged,
// ended), with the event's facts in its environment: KESTROVA_EVENT,
// _SENSOR, _NAME, _KIND, _READING, _THRESHOLD, _STATION, _TIME, _COMMENT.
// One at a time, in order, on a thread of its own; one that runs longer
// than its limit is killed.
class event_command : public QObject {
    Q_OBJECT
public:
    event_command(const alerts::alarm_state& alarms, QString program, QString station,
                  std::chrono::milliseconds limit = std::chrono::seconds(30),
                  QObject* parent = nullptr);
    ~event_command() override;
    event_command(const event_command&) = delete;
    event_command& operator=(const event_command&) = delete;

    void set_program(const QString& program);
    // Runs what waits for `wait` at most, then stops (a run under way is killed).
    void finish(std::chrono::milliseconds wait);

    // The environment of a run for `e`.
    static QProcessEnvironment environment(const alerts::alarm_event& e, const QString& station);

Q_SIGNALS:
    // A run ended: its exit status (-1: it did not start, or was killed) and
    // the last line it wrote to standard error.
    void ran(int sensor, const QString& phase, bool ok, const QString& reason, int status,
             const QString& last_error);

private:
    struct run {
        QString program;
        QProcessEnvironment env;
        int sensor = 0;
        QString phase;
    };
    void on_alarm(const alerts::alarm_event& e);
    void work();
    void execute(const run& r);

    QString station_;
    std::chrono::milliseconds limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_changed_;
    std::deque<run> runs_;
    QString program_;
    bool finishing_ = false;
    bool idle_ = true;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

} // namespace notify
