#pragma once

#include "rules/mqtt_rules.h"
#include "serial/port_keeper.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>

namespace app {

// What a service manager (systemd, for a unit of Type=notify) is told of the
// monitor: ready once start-up is over; a status line with the port, both
// readings and the publishing state; alive, from the window thread's event
// loop while the manager's watchdog is on, so that a stuck window thread
// stops the petting and the manager restarts the service; stopping at the
// end. Without a manager (no NOTIFY_SOCKET), or in a build without libsystemd,
// it does nothing.
class service_notifier : public QObject {
    Q_OBJECT
public:
    // `status` gives the status line whenever it is asked.
    explicit service_notifier(std::function<QString()> status, QObject* parent = nullptr);

    // Start-up is over: READY=1 with the status, then the watchdog and any
    // change of the status on the window thread's timer.
    void ready();
    // STOPPING=1; nothing more is sent.
    void stopping();

    // How often the watchdog is petted; zero while the manager wants none.
    std::chrono::milliseconds pet_interval() const { return pet_; }

private:
    void tick();
    static void send(const QByteArray& assignments);

    std::function<QString()> status_;
    QTimer timer_;
    std::chrono::milliseconds pet_{0};
    QElapsedTimer since_pet_;
    QString sent_status_;
    bool stopped_ = false;
};

// "Port 1: 25ºC, 31ºC; publishing: connected". A sensor without a current
// reading says "no reading"; a port that is not open says why. `publishing`
// is the publisher's status line, empty while publishing is off.
QString service_status_line(const serial::port_keeper::state& port, const QString& sensor1,
                            bool sensor1_current, const QString& sensor2, bool sensor2_current,
                            rules::mqtt::link_state link, const QString& publishing);

} // namespace app
