#include "notify/desktop_notifier.h"

#include "alerts/alarm_judge.h"
#include "alerts/link_watch.h"
#include "logging/logging.h"
#include "settings/inifile.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace notify {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString deg = QStringLiteral("\u00BAC");

QDBusMessage notify_call(quint32 replaces, const QString& summary, bool critical) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(critical ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kestrova"));
    call << QStringLiteral("KESTROVA") << replaces << QStringLiteral("kestrova") << summary
         << QString() << QStringList() << hints << -1;
    return call;
}

qint64 whole_seconds(std::chrono::milliseconds d) {
    return std::chrono::duration_cast<std::chrono::seconds>(d).count();
}

} // namespace

desktop_notifier::desktop_notifier(const alerts::alarm_judge& judge, const alerts::link_watch& link,
                                   QDBusConnection bus, clock now, QObject* parent)
    : QObject(parent)
    , judge_(judge)
    , link_(link)
    , bus_(std::move(bus))
    , now_(now ? std::move(now) : clock([] { return std::chrono::steady_clock::now(); })) {
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        sensor_watch& w = watches_[i];
        w.number = static_cast<int>(i) + 1;
        w.held_back.setSingleShot(true);
        connect(&w.held_back, &QTimer::timeout, this, [this, &w] {
            if (is_alarm(w.state) && w.state != w.shown)
                show_alarm(w);
        });
    }
    connect(&judge_, &alerts::alarm_judge::changed, this,
            [this](int sensor) { follow(watches_[sensor == 2 ? 1 : 0]); });
    connect(&link_, &alerts::link_watch::changed, this, &desktop_notifier::on_link);
    auto* owner =
        new QDBusServiceWatcher(service, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        ++generation_;
        for (slot* s : {&watches_[0].notice, &watches_[1].notice, &link_notice_})
            s->id = 0;
    });
    on_link();
}

desktop_notifier::~desktop_notifier() = default;

bool desktop_notifier::wanted(const settings::inifile& ini) {
    return ini.read_key(QStringLiteral("Notify"), QStringLiteral("desktop"), QStringLiteral("1")) !=
           QLatin1String("0");
}

void desktop_notifier::follow(sensor_watch& w) {
    const alerts::sensor_report& r = judge_.report(w.number);
    using rules::alarms::sensor_state;
    said state = said::unknown;
    if (r.state == sensor_state::off)
        state = said::off;
    else if (r.current)
        state = r.state == sensor_state::high         ? said::high
                : r.state == sensor_state::low        ? said::low
                : r.state == sensor_state::no_reading ? said::no_reading
                                                      : said::normal;
    else if (link_.silent(w.number) && link_.state() == rules::mqtt::link_state::open)
        // The other sensor goes on: this one alone has fallen silent.
        state = said::silent;
    // Otherwise the logger as a whole is closed or silent: its own notice
    // covers that, and what is shown stays.
    if (state == w.state)
        return;
    w.state = state;
    if (state == said::unknown)
        return;
    if (state == said::off || state == said::normal) {
        if (w.shown == said::unknown)
            return;
        w.shown = said::unknown;
        w.notice.stopped.clear();
        if (state == said::off)
            close(w.notice);
        else
            send(w.notice,
                 QStringLiteral("Sensor %1 back to normal: %2%3")
                     .arg(w.number)
                     .arg(r.reading.value_or(0))
                     .arg(deg),
                 false);
        return;
    }
    if (state == w.shown)
        return;
    // One alarm a minute per sensor, whichever its states.
    const auto due = w.last_alarm ? *w.last_alarm + alarm_spacing : now_();
    if (now_() < due) {
        w.held_back.start(std::chrono::ceil<std::chrono::milliseconds>(due - now_()));
        return;
    }
    show_alarm(w);
}

void desktop_notifier::show_alarm(sensor_watch& w) {
    w.held_back.stop();
    w.shown = w.state;
    w.last_alarm = now_();
    send(w.notice, alarm_text(w), true);
    const QString was = w.state == said::high  ? QStringLiteral("was in high alarm")
                        : w.state == said::low ? QStringLiteral("was in low alarm")
                                               : QStringLiteral("had no reading");
    w.notice.stopped = QStringLiteral("KESTROVA stopped; Sensor %1 %2").arg(w.number).arg(was);
}

QString desktop_notifier::alarm_text(const sensor_watch& w) const {
    const alerts::sensor_report& r = judge_.report(w.number);
    if (w.state == said::no_reading)
        return QStringLiteral("Sensor %1: no reading").arg(w.number);
    if (w.state == said::silent)
        return QStringLiteral("Sensor %1: no reading for %2 s")
            .arg(w.number)
            .arg(whole_seconds(link_.limit()));
    const bool high = w.state == said::high;
    const QString threshold = (high ? r.high : r.low).trimmed();
    return QStringLiteral("Sensor %1 %2 alarm: %3%4 (threshold %5)")
        .arg(w.number)
        .arg(high ? QStringLiteral("high") : QStringLiteral("low"))
        .arg(r.reading.value_or(0))
        .arg(deg, threshold.isEmpty() ? QStringLiteral("none") : threshold + deg);
}

void desktop_notifier::on_link() {
    for (sensor_watch& w : watches_)
        follow(w);
    if (link_.quiet() == quiet_shown_)
        return;
    quiet_shown_ = link_.quiet();
    if (!quiet_shown_) {
        link_notice_.stopped.clear();
        send(link_notice_, QStringLiteral("Readings from the logger are back"), false);
        return;
    }
    const qint64 s = whole_seconds(link_.quiet_after());
    send(link_notice_,
         QStringLiteral("No readings from the logger for %1 s: its port is %2")
             .arg(s)
             .arg(link_.state() == rules::mqtt::link_state::closed ? QStringLiteral("closed")
                                                                   : QStringLiteral("silent")),
         true);
    link_notice_.stopped =
        QStringLiteral("KESTROVA stopped; no readings had come from the logger for %1 s").arg(s);
}

void desktop_notifier::send(slot& notice, const QString& summary, bool critical) {
    if (!bus_.isConnected()) {
        complain(QStringLiteral("bus"), QStringLiteral("the session bus is gone"));
        return;
    }
    // Until the desktop has numbered the last one, a new notification
    // could not replace it: it waits (the latest only) for the number.
    if (notice.in_flight) {
        notice.next.emplace(summary, critical);
        return;
    }
    const QDBusMessage call = notify_call(notice.id, summary, critical);
    // Never waits: the window goes on while the desktop answers.
    notice.in_flight = true;
    const int generation = generation_;
    auto* watcher = new QDBusPendingCallWatcher(
        bus_.asyncCall(call, static_cast<int>(answer_wait.count() * 1000)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, &notice, generation](QDBusPendingCallWatcher* done) {
                const QDBusPendingReply<quint32> reply = *done;
                // A service that has gone since it was asked: its successor
                // numbers afresh, and its failure is no failure of the desktop.
                if (reply.isError()) {
                    if (generation == generation_)
                        complain(reply.error());
                } else if (generation == generation_) {
                    notice.id = reply.value();
                }
                notice.in_flight = false;
                if (notice.next) {
                    const auto [summary, critical] = *std::exchange(notice.next, std::nullopt);
                    if (summary.isEmpty())
                        close(notice);
                    else
                        send(notice, summary, critical);
                }
                done->deleteLater();
            });
}

void desktop_notifier::close(slot& notice) {
    if (notice.in_flight) {
        notice.next.emplace(QString(), false); // closed once it is numbered
        return;
    }
    if (notice.id == 0 || !bus_.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("CloseNotification"));
    call << notice.id;
    bus_.asyncCall(call);
}

void desktop_notifier::finish() {
    for (slot* s : {&watches_[0].notice, &watches_[1].notice, &link_notice_}) {
        if (s->stopped.isEmpty() || s->id == 0 || !bus_.isConnected())
            continue;
        // The process ends next: the call must be out, but a desktop that
        // does not answer holds the end up only briefly.
        bus_.call(notify_call(s->id, s->stopped, false), QDBus::Block, 500);
        s->stopped.clear();
    }
}

void desktop_notifier::complain(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
        complain(QStringLiteral("service"),
                 QStringLiteral("there is no notification service on the session bus"));
        break;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
        complain(QStringLiteral("late"), QStringLiteral("the notification service gave no answer"));
        break;
    default:
        complain(error.name(), error.message());
    }
}

void desktop_notifier::complain(const QString& kind, const QString& why) {
    if (complained_.contains(kind))
        return;
    complained_.insert(kind);
    qCWarning(logging::log_notify).noquote()
        << QStringLiteral("desktop notifications are not shown: %1").arg(why);
}

} // namespace notify
