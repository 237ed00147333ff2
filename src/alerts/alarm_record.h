#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <array>
#include <chrono>

namespace alerts {

class alarm_state;
class journal;
struct alarm_event;

// Writes each sensor's alarm to the journal, and what came of telling it.
// A sensor that keeps crossing a threshold within one alarm would fill the
// journal with "clearing" and "resumed": those are written once a minute at
// most, the next one saying how many crossings went unwritten.
class alarm_record : public QObject {
    Q_OBJECT
public:
    alarm_record(const alarm_state& alarms, journal& out,
                 std::chrono::milliseconds pace = std::chrono::seconds(60),
                 QObject* parent = nullptr);

    // What came of telling a step of a sensor's alarm on `channel`.
    // `more`: what else the channel knows (a command's exit status).
    void told(int sensor, const QString& channel, const QString& phase, bool ok,
              const QString& reason, const QJsonObject& more = {});

private:
    void on_event(const alarm_event& e);

    journal& out_;
    std::chrono::milliseconds pace_;
    struct crossings {
        std::chrono::steady_clock::time_point last{};
        int unwritten = 0;
    };
    std::array<crossings, 2> crossings_{};
};

} // namespace alerts
