#include "publish/desktop_notifier.h"

#include "controls/display_box.h"
#include "controls/shape.h"
#include "publish/link_watch.h"
#include "publish/sensor_report.h"
#include "settings/inifile.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QLineEdit>
#include <cstdio>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString deg = QStringLiteral("\u00BAC");

bool is_alarm(const QString& state) {
    return state == QLatin1String("high") || state == QLatin1String("low") ||
           state == QLatin1String("no_reading");
}

} // namespace

desktop_notifier::desktop_notifier(const sensor_roles& sensors, const link_watch& link,
                                   QDBusConnection bus, clock now,
                                   std::chrono::milliseconds link_notice_after, QObject* parent)
    : QObject(parent)
    , sensors_(sensors)
    , link_(link)
    , bus_(std::move(bus))
    , now_(now ? std::move(now) : clock([] { return std::chrono::steady_clock::now(); })) {
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        sensor_watch& w = watches_[i];
        const sensor_role& s = sensors_[i];
        w.sensor = &s;
        w.held_back.setSingleShot(true);
        connect(&w.held_back, &QTimer::timeout, this, [this, &w] {
            if (is_alarm(w.state) && w.shown != w.state)
                show_alarm(w, w.state);
        });
        const auto judge_this = [this, &w] { judge(w); };
        connect(s.reading, &display_box::textChanged, this, judge_this);
        connect(s.high_text, &QLineEdit::textChanged, this, judge_this);
        connect(s.low_text, &QLineEdit::textChanged, this, judge_this);
        connect(s.high_lamp, &shape::fill_changed, this, judge_this);
        connect(s.low_lamp, &shape::fill_changed, this, judge_this);
    }
    link_lost_.setSingleShot(true);
    link_lost_.setInterval(link_notice_after);
    connect(&link_lost_, &QTimer::timeout, this, [this] {
        if (link_.state() == mqtt::link_state::open)
            return;
        link_lost_shown_ = true;
        const qint64 s = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::milliseconds(link_lost_.interval()))
                             .count();
        send(link_notice_,
             QStringLiteral("No readings from the logger for %1 s: its port is %2")
                 .arg(s)
                 .arg(link_.state() == mqtt::link_state::closed ? QStringLiteral("closed")
                                                                : QStringLiteral("silent")),
             true);
    });
    connect(&link_, &link_watch::changed, this, &desktop_notifier::on_link);
    on_link();
}

bool desktop_notifier::wanted(const inifile& ini) {
    return ini.read_key(QStringLiteral("Notify"), QStringLiteral("desktop"), QStringLiteral("1")) !=
           QLatin1String("0");
}

std::optional<QDBusConnection> desktop_notifier::session_bus() {
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return QDBusConnection::sessionBus();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = runtime + QStringLiteral("/bus");
    if (runtime.isEmpty() || !QFileInfo(socket).exists())
        return std::nullopt;
    return QDBusConnection::connectToBus(QStringLiteral("unix:path=") + socket,
                                         QStringLiteral("kestrova-session"));
}

void desktop_notifier::judge(sensor_watch& w) {
    const sensor_report r = report_sensor(*w.sensor, link_);
    // Nothing is said of a sensor without a current reading: the link's own
    // notification covers that. An alarm switched off says nothing either.
    const QString state = !r.current ? QString() : r.alarm;
    if (state == w.state)
        return;
    w.state = state;
    if (state == QLatin1String("normal")) {
        if (!w.shown.isEmpty()) {
            w.shown.clear();
            send(w.notice,
                 QStringLiteral("Sensor %1 back to normal: %2%3")
                     .arg(w.sensor->number)
                     .arg(r.reading.value_or(0))
                     .arg(deg),
                 false);
        }
        return;
    }
    if (!is_alarm(state) || w.shown == state)
        return;
    // Only an alarm that ended within the minute (a flapping reading) waits.
    const auto since = now_() - w.last_alarm;
    if (w.ever_alarmed && w.shown.isEmpty() && since < alarm_spacing)
        w.held_back.start(
            std::chrono::duration_cast<std::chrono::milliseconds>(alarm_spacing - since));
    else
        show_alarm(w, state);
}

void desktop_notifier::show_alarm(sensor_watch& w, const QString& state) {
    const sensor_report r = report_sensor(*w.sensor, link_);
    if (!r.current || r.alarm != state)
        return;
    w.shown = state;
    w.ever_alarmed = true;
    w.last_alarm = now_();
    if (state == QLatin1String("no_reading")) {
        send(w.notice, QStringLiteral("Sensor %1: no reading").arg(w.sensor->number), true);
        return;
    }
    const bool high = state == QLatin1String("high");
    const QString threshold = (high ? w.sensor->high_text : w.sensor->low_text)->text().trimmed();
    send(w.notice,
         QStringLiteral("Sensor %1 %2 alarm: %3%4 (threshold %5)")
             .arg(w.sensor->number)
             .arg(high ? QStringLiteral("high") : QStringLiteral("low"))
             .arg(r.reading.value_or(0))
             .arg(deg, threshold.isEmpty() ? QStringLiteral("none") : threshold + deg),
         true);
}

void desktop_notifier::on_link() {
    for (sensor_watch& w : watches_)
        judge(w);
    if (link_.state() != mqtt::link_state::open) {
        if (!link_lost_.isActive() && !link_lost_shown_)
            link_lost_.start();
        return;
    }
    link_lost_.stop();
    if (link_lost_shown_ && (link_.current(1) || link_.current(2))) {
        link_lost_shown_ = false;
        send(link_notice_, QStringLiteral("Readings from the logger are back"), false);
    }
}

void desktop_notifier::send(slot& notice, const QString& summary, bool critical) {
    if (!bus_.isConnected()) {
        complain_once(QStringLiteral("no session bus"));
        return;
    }
    // Until the desktop has numbered the last one, a new notification
    // could not replace it: it waits (the latest only) for the number.
    if (notice.in_flight) {
        notice.next.emplace(summary, critical);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(critical ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kestrova"));
    call << QStringLiteral("KESTROVA") << notice.id << QStringLiteral("kestrova") << summary
         << QString() << QStringList() << hints << -1;
    // Never waits: the window goes on while the desktop answers.
    notice.in_flight = true;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, &notice](QDBusPendingCallWatcher* done) {
                const QDBusPendingReply<quint32> reply = *done;
                if (reply.isError())
                    complain_once(reply.error().message());
                else
                    notice.id = reply.value();
                notice.in_flight = false;
                if (notice.next) {
                    const auto [summary, critical] = *std::exchange(notice.next, std::nullopt);
                    send(notice, summary, critical);
                }
                done->deleteLater();
            });
}

void desktop_notifier::complain_once(const QString& why) {
    if (complained_)
        return;
    complained_ = true;
    std::fprintf(stderr, "kestrova: desktop notifications are not shown: %s\n", qPrintable(why));
}
