#pragma once

#include "alerts/alarm_state.h"

#include <QObject>
#include <QString>
#include <array>

namespace alerts {
class link_watch;
} // namespace alerts

namespace notify {

class mail_courier;

// The e-mail of each alarm: one message when it is raised, at each reminder,
// when it is acknowledged and when it ends, the later ones threaded under
// the first. Those that tell an alarm carry the chart of the last six hours.
class mail_notifier : public QObject {
    Q_OBJECT
public:
    // `topic`: the station's topic on a broker, where an alarm can be
    // acknowledged from anywhere; empty while it does not publish.
    mail_notifier(const alerts::alarm_state& alarms, const alerts::link_watch& link,
                  mail_courier& courier, QString station, QString topic, QObject* parent = nullptr);

    // The monitor stops: each standing alarm is told that nobody watches it now.
    void finish();

    // The subject and the text of a message telling `e`.
    QString subject(const alerts::alarm_event& e) const;
    QString body(const alerts::alarm_event& e) const;

private:
    void on_alarm(const alerts::alarm_event& e);
    void post(const alerts::alarm_event& e, const QString& subject, const QString& body, bool chart,
              const QString& phase = {});

    const alerts::alarm_state& alarms_;
    const alerts::link_watch& link_;
    mail_courier& courier_;
    QString station_;
    QString topic_;
    std::array<QString, 2> thread_; // each sensor's alarm's first message
    quint64 count_ = 0;
};

} // namespace notify
