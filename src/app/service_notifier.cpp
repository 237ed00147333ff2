#include "app/service_notifier.h"

#include <QRegularExpression>
#include <cstdint>

#ifdef KESTROVA_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace app {

namespace {

// The status goes out at least this often when it changes, watchdog or not.
constexpr std::chrono::milliseconds status_interval{1000};

QString reading(const QString& text, bool current) {
    static const QRegularExpression number(QStringLiteral("^\\d+\\x{BA}C$"));
    const QString t = text.trimmed();
    return current && number.match(t).hasMatch() ? t : QStringLiteral("no reading");
}

// "Publishing to mqtt://host:1883 as kestrova/lab: connected" -> "connected".
QString publishing_state(const QString& line) {
    if (line.isEmpty())
        return QStringLiteral("off");
    const qsizetype as = line.indexOf(QLatin1String(" as "));
    const qsizetype colon = as < 0 ? -1 : line.indexOf(QLatin1String(": "), as);
    return colon < 0 ? line : line.mid(colon + 2);
}

} // namespace

service_notifier::service_notifier(std::function<QString()> status, QObject* parent)
    : QObject(parent)
    , status_(std::move(status)) {
    connect(&timer_, &QTimer::timeout, this, &service_notifier::tick);
}

void service_notifier::ready() {
    if (qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"))
        return;
#ifdef KESTROVA_HAVE_SYSTEMD
    // Petted twice per period, as systemd advises, so one late turn of the
    // event loop is no restart.
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec >= 2000)
        pet_ = std::chrono::milliseconds(usec / 2000);
#endif
    sent_status_ = status_();
    send("READY=1\nSTATUS=" + sent_status_.toUtf8());
    since_pet_.start();
    timer_.start(pet_.count() > 0 ? std::min(pet_, status_interval) : status_interval);
}

void service_notifier::tick() {
    if (stopped_)
        return;
    // The status is looked at every second; the watchdog is petted only
    // once half its period (15 s of WatchdogSec=30) is nearly over.
    QByteArray assignments;
    if (pet_.count() > 0 && since_pet_.elapsed() + status_interval.count() / 2 >= pet_.count()) {
        assignments = "WATCHDOG=1";
        since_pet_.restart();
    }
    const QString now = status_();
    if (now != sent_status_) {
        sent_status_ = now;
        assignments += (assignments.isEmpty() ? "" : "\n") + ("STATUS=" + now.toUtf8());
    }
    if (!assignments.isEmpty())
        send(assignments);
}

void service_notifier::stopping() {
    if (stopped_ || !timer_.isActive())
        return;
    stopped_ = true;
    timer_.stop();
    send("STOPPING=1");
}

void service_notifier::send(const QByteArray& assignments) {
#ifdef KESTROVA_HAVE_SYSTEMD
    sd_notify(0, assignments.constData());
#else
    Q_UNUSED(assignments);
#endif
}

QString service_status_line(const serial::port_keeper::state& port, const QString& sensor1,
                            bool sensor1_current, const QString& sensor2, bool sensor2_current,
                            rules::mqtt::link_state link, const QString& publishing) {
    QString logger;
    if (port.port == 0)
        logger = QStringLiteral("No port chosen");
    else if (!port.open)
        logger = QStringLiteral("Port %1 (%2): not open: %3")
                     .arg(port.port)
                     .arg(port.device, port.reason);
    else if (link == rules::mqtt::link_state::silent)
        logger = QStringLiteral("Port %1: silent, nothing received lately").arg(port.port);
    else
        logger = QStringLiteral("Port %1: %2, %3")
                     .arg(port.port)
                     .arg(reading(sensor1, sensor1_current), reading(sensor2, sensor2_current));
    return logger + QStringLiteral("; publishing: ") + publishing_state(publishing);
}

} // namespace app
