#include "notify/desktop_notifier.h"

#include "alerts/alarm_texts.h"
#include "alerts/link_watch.h"
#include "logging/logging.h"
#include "settings/inifile.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>

namespace notify {

using what = rules::alarms::episode_event::what;

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString acknowledge_key = QStringLiteral("acknowledge");

QDBusMessage notify_call(quint32 replaces, const QString& summary, const QString& body,
                         bool critical, bool answerable) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(critical ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kestrova"));
    const QStringList actions =
        answerable ? QStringList{acknowledge_key, QStringLiteral("Acknowledge")} : QStringList();
    call << QStringLiteral("KESTROVA") << replaces << QStringLiteral("kestrova") << summary << body
         << actions << hints << -1;
    return call;
}

QString clock_text(const QDateTime& t) {
    return t.toString(QStringLiteral("HH:mm"));
}

} // namespace

desktop_notifier::desktop_notifier(alerts::alarm_state& alarms, const alerts::link_watch& link,
                                   QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , alarms_(alarms)
    , link_(link)
    , bus_(std::move(bus)) {
    connect(&alarms_, &alerts::alarm_state::happened, this, &desktop_notifier::on_alarm);
    connect(&link_, &alerts::link_watch::changed, this, &desktop_notifier::on_link);
    auto* owner =
        new QDBusServiceWatcher(service, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        ++generation_;
        for (slot* s : {&sensors_[0], &sensors_[1], &link_notice_})
            s->id = 0;
    });
    bus_.connect(QString(), path, service, QStringLiteral("ActionInvoked"), this,
                 SLOT(on_action(uint, QString)));
    // Alarms raised before the desktop was reached are shown now.
    for (int sensor : {1, 2})
        if (const auto e = alarms_.standing(sensor))
            on_alarm(*e);
    on_link();
}

desktop_notifier::~desktop_notifier() = default;

bool desktop_notifier::wanted(const settings::inifile& ini) {
    return ini.read_key(QStringLiteral("Notify"), QStringLiteral("desktop"), QStringLiteral("1")) !=
           QLatin1String("0");
}

void desktop_notifier::on_alarm(const alerts::alarm_event& e) {
    slot& s = sensors_[e.sensor == 2 ? 1 : 0];
    note n;
    n.sensor = e.sensor;
    n.phase = alerts::phase_name(e.step.event);
    const QString alarm = alerts::alarm_text(e, link_.limit());
    const bool answered =
        alarms_.status(e.sensor).phase == rules::alarms::alarm_phase::acknowledged ||
        !alarms_.status(e.sensor).acknowledged_by.isEmpty();
    QString since = QStringLiteral("Since %1").arg(clock_text(e.since));
    if (e.step.peak)
        since += QStringLiteral(", peak %1\u00BAC").arg(*e.step.peak);
    switch (e.step.event) {
    case what::raised:
    case what::changed:
    case what::reminded:
        n.summary = e.step.event == what::reminded ? QStringLiteral("Reminder: ") + alarm : alarm;
        if (answered)
            n.summary += QStringLiteral(", acknowledged by %1")
                             .arg(alarms_.status(e.sensor).acknowledged_by);
        n.critical = !answered;
        n.answerable = !answered;
        n.body = answered ? since + u'.'
                          : since + QStringLiteral(". Acknowledge it here, or in the Alarms "
                                                   "window of KESTROVA (Ctrl+L).");
        break;
    case what::acknowledged:
        n.summary = alarm + QStringLiteral(", acknowledged by %1").arg(e.by);
        n.body = e.comment.isEmpty() ? since + u'.' : since + QStringLiteral(". ") + e.comment;
        break;
    case what::ended:
        s.stopped.clear();
        if (e.step.switched_off) {
            close(s);
            return;
        }
        n.summary = alerts::normal_text(e);
        n.body = since + u'.';
        send(s, n);
        return;
    case what::pending:
    case what::cancelled:
    case what::clearing:
    case what::resumed:
        // Nothing new to tell: what the desktop shows still holds.
        return;
    }
    s.stopped = alerts::stopped_text(e);
    send(s, n);
}

void desktop_notifier::on_action(uint id, const QString& action) {
    if (action != acknowledge_key || id == 0)
        return;
    for (std::size_t i = 0; i < sensors_.size(); ++i)
        if (sensors_[i].id == id)
            alarms_.acknowledge(int(i) + 1, alerts::answer_via::desktop, alerts::local_user());
}

void desktop_notifier::on_link() {
    if (link_.quiet() == quiet_shown_)
        return;
    quiet_shown_ = link_.quiet();
    if (!quiet_shown_) {
        link_notice_.stopped.clear();
        note back;
        back.summary = QStringLiteral("Readings from the logger are back");
        send(link_notice_, back);
        return;
    }
    const qint64 s = std::chrono::duration_cast<std::chrono::seconds>(link_.quiet_after()).count();
    note n;
    n.summary =
        QStringLiteral("No readings from the logger for %1 s: its port is %2")
            .arg(s)
            .arg(link_.state() == rules::mqtt::link_state::closed ? QStringLiteral("closed")
                                                                  : QStringLiteral("silent"));
    n.critical = true;
    send(link_notice_, n);
    link_notice_.stopped =
        QStringLiteral("KESTROVA stopped; no readings had come from the logger for %1 s").arg(s);
}

void desktop_notifier::send(slot& s, const note& n) {
    if (!bus_.isConnected()) {
        complain(QStringLiteral("bus"), QStringLiteral("the session bus is gone"));
        if (n.sensor != 0)
            Q_EMIT told(n.sensor, n.phase, false, QStringLiteral("the session bus is gone"));
        return;
    }
    // Until the desktop has numbered the last one, a new notification
    // could not replace it: it waits (the latest only) for the number.
    if (s.in_flight) {
        s.next = n;
        return;
    }
    if (n.summary.isEmpty()) {
        close(s);
        return;
    }
    const QDBusMessage call = notify_call(s.id, n.summary, n.body, n.critical, n.answerable);
    // Never waits: the window goes on while the desktop answers.
    s.in_flight = true;
    const int generation = generation_;
    auto* watcher = new QDBusPendingCallWatcher(
        bus_.asyncCall(call, static_cast<int>(answer_wait.count() * 1000)), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, &s, generation, sensor = n.sensor, phase = n.phase](QDBusPendingCallWatcher* done) {
            const QDBusPendingReply<quint32> reply = *done;
            // A service that has gone since it was asked: its successor
            // numbers afresh, and its failure is no failure of the desktop.
            if (reply.isError()) {
                if (generation == generation_)
                    complain(reply.error());
            } else if (generation == generation_) {
                s.id = reply.value();
            }
            if (sensor != 0)
                Q_EMIT told(sensor, phase, !reply.isError(),
                            reply.isError() ? reply.error().message() : QString());
            s.in_flight = false;
            if (s.next)
                send(s, *std::exchange(s.next, std::nullopt));
            done->deleteLater();
        });
}

void desktop_notifier::close(slot& s) {
    if (s.in_flight) {
        s.next = note{}; // closed once it is numbered
        return;
    }
    if (s.id == 0 || !bus_.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("CloseNotification"));
    call << s.id;
    bus_.asyncCall(call);
}

void desktop_notifier::finish() {
    if (!bus_.isConnected())
        return;
    // The process ends next: what is on its way must be out, but a desktop
    // that does not answer holds the end up only briefly.
    const QDeadlineTimer deadline(1000);
    for (slot* s : {&sensors_[0], &sensors_[1], &link_notice_}) {
        // A notification not yet numbered, and what waits behind it ("back
        // to normal"), go out first.
        while (s->in_flight && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
        const int left = int(std::max<qint64>(0, deadline.remainingTime()));
        if (s->in_flight || s->id == 0 || s->stopped.isEmpty() || left == 0)
            continue;
        bus_.call(notify_call(s->id, s->stopped, QString(), false, false), QDBus::Block,
                  std::min(left, 500));
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
