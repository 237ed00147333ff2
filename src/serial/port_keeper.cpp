#include "serial/port_keeper.h"

#include "logging/logging.h"
#include "serial/comm_control.h"

#include <QDir>

namespace serial {

port_keeper::port_keeper(comm_control& comm, std::chrono::milliseconds retry_interval,
                         QObject* parent)
    : QObject(parent)
    , comm_(comm) {
    retry_timer_.setInterval(retry_interval);
    connect(&retry_timer_, &QTimer::timeout, this, &port_keeper::retry);
    connect(&comm_, &comm_control::open_changed, this, &port_keeper::follow);
    connect(&comm_, &comm_control::port_lost, this, &port_keeper::follow);
}

void port_keeper::choose(int port) {
    wanted_ = port;
    if (comm_.port_open() && comm_.comm_port() == port)
        return;
    comm_.set_port_open(false);
    comm_.set_comm_port(port);
    qCDebug(logging::log_serial).noquote() << QStringLiteral("opening port %1").arg(port);
    comm_.set_port_open(true);
    follow();
}

void port_keeper::stop() {
    wanted_ = 0;
    retry_timer_.stop();
    if (comm_.port_open())
        comm_.set_port_open(false);
}

port_keeper::state port_keeper::current() const {
    if (wanted_ == 0)
        return {};
    const bool open = comm_.port_open();
    QString reason;
    if (!open)
        reason = comm_.last_error().isEmpty() ? QStringLiteral("closed") : comm_.last_error();
    return {wanted_, QDir::toNativeSeparators(comm_.ports().device(wanted_)), open, reason};
}

void port_keeper::retry() {
    if (wanted_ == 0 || comm_.port_open())
        return;
    comm_.set_comm_port(wanted_);
    qCDebug(logging::log_serial).noquote()
        << QStringLiteral("port %1 is not open: trying again").arg(wanted_);
    comm_.set_port_open(true);
    follow();
}

void port_keeper::follow() {
    if (wanted_ == 0)
        return;
    const state now = current();
    if (now.open)
        retry_timer_.stop();
    else if (!retry_timer_.isActive())
        retry_timer_.start();
    if (now != shown_) {
        shown_ = now;
        Q_EMIT state_changed(now);
    }
}

} // namespace serial
