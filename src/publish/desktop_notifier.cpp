#include "publish/desktop_notifier.h"

#include "controls/display_box.h"
#include "controls/lamp_colors.h"
#include "controls/shape.h"
#include "settings/inifile.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLineEdit>
#include <cstdio>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString deg = QStringLiteral("\u00BAC");

QString shown_reading(const QString& text) {
    const auto v = alarms::reading_value(text);
    return v ? text : QStringLiteral("no reading");
}

} // namespace

desktop_notifier::desktop_notifier(const sensor_roles& sensors, QDBusConnection bus, clock now,
                                   QObject* parent)
    : QObject(parent)
    , sensors_(sensors)
    , bus_(std::move(bus))
    , now_(now ? std::move(now) : clock([] { return std::chrono::steady_clock::now(); })) {
    std::size_t i = 0;
    for (const sensor_role& s : sensors_) {
        for (const alarms::lamp_row row : {alarms::lamp_row::high, alarms::lamp_row::low}) {
            lamp_watch& w = lamps_[i++];
            w.sensor = &s;
            w.row = row;
            shape* lamp = row == alarms::lamp_row::high ? s.high_lamp : s.low_lamp;
            w.state = alarms::lamp_state_of(lamp->fill_color());
            w.held_back.setSingleShot(true);
            connect(&w.held_back, &QTimer::timeout, this, [this, &w] {
                if (w.state == alarms::lamp_state::alarm && !w.alarm_shown)
                    show_alarm(w);
            });
            connect(lamp, &shape::fill_changed, this,
                    [this, &w](QColor fill) { on_lamp(w, alarms::lamp_state_of(fill)); });
        }
    }
}

bool desktop_notifier::wanted(const inifile& ini) {
    return ini.read_key(QStringLiteral("Notify"), QStringLiteral("desktop"), QStringLiteral("1")) !=
           QLatin1String("0");
}

void desktop_notifier::on_lamp(lamp_watch& w, alarms::lamp_state now) {
    const alarms::lamp_state before = w.state;
    w.state = now;
    if (before == alarms::lamp_state::normal && now == alarms::lamp_state::alarm) {
        const auto since = now_() - w.last_alarm;
        if (!w.ever_alarmed || since >= alarm_spacing)
            show_alarm(w);
        else
            w.held_back.start(
                std::chrono::duration_cast<std::chrono::milliseconds>(alarm_spacing - since));
    } else if (before == alarms::lamp_state::alarm && now == alarms::lamp_state::normal &&
               w.alarm_shown) {
        w.alarm_shown = false;
        send(w,
             QStringLiteral("Sensor %1 back to normal: %2")
                 .arg(w.sensor->number)
                 .arg(shown_reading(w.sensor->reading->text())),
             false);
    }
}

void desktop_notifier::show_alarm(lamp_watch& w) {
    const bool high = w.row == alarms::lamp_row::high;
    const QString threshold = (high ? w.sensor->high_text : w.sensor->low_text)->text().trimmed();
    w.alarm_shown = true;
    w.ever_alarmed = true;
    w.last_alarm = now_();
    send(w,
         QStringLiteral("Sensor %1 %2 alarm: %3 (threshold %4)")
             .arg(w.sensor->number)
             .arg(high ? QStringLiteral("high") : QStringLiteral("low"),
                  shown_reading(w.sensor->reading->text()),
                  threshold.isEmpty() ? QStringLiteral("none") : threshold + deg),
         true);
}

void desktop_notifier::send(lamp_watch& w, const QString& summary, bool critical) {
    if (!bus_.isConnected()) {
        complain_once(QStringLiteral("no session bus"));
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(critical ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kestrova"));
    call << QStringLiteral("KESTROVA") << w.id << QStringLiteral("kestrova") << summary << QString()
         << QStringList() << hints << -1;
    // Never waits: the window goes on while the desktop answers.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, &w](QDBusPendingCallWatcher* done) {
                const QDBusPendingReply<quint32> reply = *done;
                if (reply.isError())
                    complain_once(reply.error().message());
                else
                    w.id = reply.value();
                done->deleteLater();
            });
}

void desktop_notifier::complain_once(const QString& why) {
    if (complained_)
        return;
    complained_ = true;
    std::fprintf(stderr, "kestrova: desktop notifications are not shown: %s\n", qPrintable(why));
}
